// File-system helpers shared by the pack loaders and the project walk: the text of an I/O error
// and reading a whole file as UTF-8.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "detect/error.h"

namespace detect {

// "{description} (os error {n})", the system's description of the error number and the number.
// ENOMEM is no I/O error but an exhausted allocation (opendir's buffer, the kernel's memory for
// the call), so it throws std::bad_alloc instead, like every other one.
[[nodiscard]] std::string io_error_text(int error_number);

// Throws std::bad_alloc when `error_number` is ENOMEM. For the calls whose failure is otherwise
// passed over without a word (a status that cannot be had): a lack of memory must not pass too.
void throw_if_out_of_memory(int error_number);

// The text of a file whose bytes are not UTF-8.
inline constexpr const char* kInvalidUtf8Text = "stream did not contain valid UTF-8";
// True when `bytes` is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
[[nodiscard]] bool is_valid_utf8(std::string_view bytes);

// The text of a path holding a NUL byte: the system cannot name such a file, and passing the path
// on would silently name the prefix before the NUL instead.
inline constexpr const char* kNulInPathText = "file name contained an unexpected NUL byte";

// Reads the whole file at `path` (following symbolic links) and checks that it is UTF-8. Only
// regular files are read; a folder fails as reading one would ("Is a directory (os error 21)"),
// anything else (a named pipe, a socket, a device: reading one could block or never end) with
// EINVAL, read(2)'s error for an object unsuitable for reading. A file larger than `max_bytes`
// fails with `too_large_text` without being read.
inline constexpr std::uint64_t kNoSizeLimit = std::numeric_limits<std::uint64_t>::max();
inline constexpr const char* kFileTooLargeText = "file too large";
[[nodiscard]] Result<std::string> read_utf8_file(const std::string& path, std::uint64_t max_bytes = kNoSizeLimit,
                                                 const char* too_large_text = kFileTooLargeText);

// The same into `text`, whose content is replaced and whose memory is reused: a walk reads file
// after file into one buffer. After a failure `text` holds nothing of use.
[[nodiscard]] Status read_utf8_file_into(const std::string& path, std::uint64_t max_bytes, const char* too_large_text,
                                         std::string& text);

// The same for `path` taken from the open folder `dir` as openat(2) takes it (AT_FDCWD: from the
// working folder, which is what the forms above do); a walk opens each entry from its folder
// instead of resolving the whole path again.
[[nodiscard]] Status read_utf8_file_into(int dir, const char* path, std::uint64_t max_bytes,
                                         const char* too_large_text, std::string& text);

}  // namespace detect
