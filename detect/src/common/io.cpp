#include "detect/io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "common/file_descriptor.h"
#include "common/open_file.h"

namespace detect {
namespace {

Error os_error(int error_number) { return Error(io_error_text(error_number)); }

}  // namespace

void throw_if_out_of_memory(int error_number) {
  if (error_number == ENOMEM) throw std::bad_alloc();
}

std::string io_error_text(int error_number) {
  throw_if_out_of_memory(error_number);
  char buffer[256];
  // GNU strerror_r returns a pointer that may or may not be `buffer`.
  const char* description = ::strerror_r(error_number, buffer, sizeof buffer);
  std::string text(description);
  text += " (os error ";
  text += std::to_string(error_number);
  text += ')';
  return text;
}

Result<std::string> read_utf8_file(const std::string& path, std::uint64_t max_bytes,
                                   const char* too_large_text) {
  std::string text;
  Status read = read_utf8_file_into(path, max_bytes, too_large_text, text);
  if (!read.ok()) return std::move(read).error();
  return text;
}

Status read_utf8_file_into(const std::string& path, std::uint64_t max_bytes, const char* too_large_text,
                           std::string& text) {
  if (path.find('\0') != std::string::npos) {
    text.clear();
    return Error(kNulInPathText);
  }
  return read_utf8_file_into(AT_FDCWD, path.c_str(), max_bytes, too_large_text, text);
}

Status read_utf8_file_into(int dir, const char* path, std::uint64_t max_bytes, const char* too_large_text,
                           std::string& text) {
  text.clear();
  FileDescriptor file;
  struct stat status {};
  if (Status opened = open_for_reading(dir, path, file, status); !opened.ok()) return opened;
  return read_open_utf8_file_into(file, status, max_bytes, too_large_text, text);
}

Status open_for_reading(int dir, const char* path, FileDescriptor& file, struct stat& status) {
  // O_NONBLOCK keeps open() itself from waiting for a writer when the name is a FIFO, O_NOCTTY a
  // terminal from becoming the process's own; the type is checked before any read.
  const int fd = ::openat(dir, path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return os_error(errno);
  file = FileDescriptor(fd);
  if (::fstat(file.get(), &status) != 0) return os_error(errno);
  return ok_status();
}

Status read_open_utf8_file_into(const FileDescriptor& file, const struct stat& status, std::uint64_t max_bytes,
                                const char* too_large_text, std::string& text) {
  text.clear();
  if (S_ISDIR(status.st_mode)) return os_error(EISDIR);
  if (!S_ISREG(status.st_mode)) return os_error(EINVAL);
  if (static_cast<std::uint64_t>(status.st_size) > max_bytes) return Error(too_large_text);

  text.resize(static_cast<std::size_t>(status.st_size));
  std::size_t filled = 0;
  while (filled < text.size()) {
    const ssize_t got = ::read(file.get(), text.data() + filled, text.size() - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      return os_error(errno);
    }
    if (got == 0) break;  // the file shrank since fstat
    filled += static_cast<std::size_t>(got);
  }
  text.resize(filled);
  // The file may have grown since fstat: read on until end of file, within the limit. A small
  // buffer takes what comes, so that the usual case, nothing more, neither grows nor copies the
  // text.
  char more[4096];
  for (;;) {
    const ssize_t got = ::read(file.get(), more, sizeof more);
    if (got < 0) {
      if (errno == EINTR) continue;
      return os_error(errno);
    }
    if (got == 0) break;
    if (static_cast<std::uint64_t>(text.size()) + static_cast<std::uint64_t>(got) > max_bytes) {
      return Error(too_large_text);
    }
    text.append(more, static_cast<std::size_t>(got));
  }
  if (!is_valid_utf8(text)) return Error(kInvalidUtf8Text);
  return ok_status();
}

}  // namespace detect
