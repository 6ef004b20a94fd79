#include "walk/folder_listing.h"

#include <dirent.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "detect/io.h"

namespace detect {

FolderListing FolderListing::read(int folder, bool (*keep)(std::string_view name), ListingBuffer& buffer) {
  // getdents64 on the folder's own descriptor, as readdir does beneath, without the copy of the
  // descriptor and the status and flag calls that fdopendir would make for every folder.
  if (buffer.bytes == nullptr) buffer.bytes = std::make_unique<char[]>(ListingBuffer::kSize);
  FolderListing out;
  for (;;) {
    const ssize_t got = ::getdents64(folder, buffer.bytes.get(), ListingBuffer::kSize);
    if (got < 0) {
      // A folder deleted while it is listed ends its listing, as readdir takes it.
      if (errno != ENOENT) out.failure_ = errno;
      break;
    }
    if (got == 0) break;
    for (ssize_t at = 0; at < got;) {
      const auto* entry = reinterpret_cast<const dirent64*>(buffer.bytes.get() + at);
      at += entry->d_reclen;
      const std::string_view name = entry->d_name;
      if (name == "." || name == ".." || !keep(name)) continue;
      out.entries_.push_back(static_cast<char>(entry->d_type));
      out.entries_.append(name);
      out.entries_.push_back('\0');
    }
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
