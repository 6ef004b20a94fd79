// Reading a whole file in two steps, for a reader that decides from the file's status whether to
// read it at all (a file met again under another name): the status comes from the open file, so
// deciding costs no system call of its own.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "common/file_descriptor.h"
#include "detect/error.h"

namespace detect {

// Opens `path` from `dir` (as openat(2) takes them, following links) for reading, and gives its
// status. The error is the open's or the status's I/O error.
[[nodiscard]] Status open_for_reading(int dir, const char* path, FileDescriptor& file, struct stat& status);

// Reads the file that open_for_reading opened, with the rules of read_utf8_file_into (detect/io.h).
[[nodiscard]] Status read_open_utf8_file_into(const FileDescriptor& file, const struct stat& status,
                                              std::uint64_t max_bytes, const char* too_large_text, std::string& text);

}  // namespace detect
