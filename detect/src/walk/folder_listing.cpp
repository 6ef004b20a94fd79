#include "walk/folder_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "detect/io.h"

namespace detect {

Result<FolderListing> FolderListing::read(int folder, bool (*keep)(std::string_view name)) {
  // fdopendir takes over the descriptor it is given and closedir closes it; the folder's own
  // descriptor is still needed afterwards, so the listing gets a copy.
  const int copy = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return Error(io_error_text(errno));
  // Closed however reading ends: the names are copied into a growing text, which may throw.
  const std::unique_ptr<DIR, int (*)(DIR*)> listing(::fdopendir(copy), ::closedir);
  if (listing == nullptr) {
    const int error = errno;
    ::close(copy);
    return Error(io_error_text(error));
  }
  FolderListing out;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(listing.get());
    if (entry == nullptr) {
      out.failure_ = errno;
      break;
    }
    const std::string_view name = entry->d_name;
    if (name == "." || name == ".." || !keep(name)) continue;
    out.entries_.push_back(static_cast<char>(entry->d_type));
    out.entries_.append(name);
    out.entries_.push_back('\0');
  }
  return out;
}

std::optional<FolderListing::Entry> FolderListing::next() {
  if (next_ == entries_.size()) return std::nullopt;
  const auto type = static_cast<unsigned char>(entries_[next_]);
  const char* name = entries_.data() + next_ + 1;
  const std::size_t length = std::strlen(name);
  next_ += length + 2;
  return Entry{std::string_view(name, length), type};
}

}  // namespace detect
