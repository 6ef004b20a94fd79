// Paths are byte strings used exactly as given: never normalised, never made absolute. These are
// the only operations the system does on them.
#pragma once

#include <string>
#include <string_view>

namespace detect {

// `dir`, then "/" unless `dir` is empty or already ends with "/", then `name`.
[[nodiscard]] std::string join_path(std::string_view dir, std::string_view name);
// The same in place: `dir` becomes the joined path.
void append_to_path(std::string& dir, std::string_view name);

// The path shown as text: its bytes read as UTF-8, each maximal ill-formed subpart replaced by
// one U+FFFD (the Unicode standard's recommended practice), nothing else changed.
[[nodiscard]] std::string path_to_text(std::string_view path);
// Appends the same text to `out`; the hot path of the analysis, which makes one per file.
void append_path_text(std::string& out, std::string_view path);

// True when the extension of the entry name `name` is exactly `extension`: the extension is what
// follows the last "."; a name without ".", one whose only "." is its first byte, and ".." have
// none. Case-sensitive, bytewise.
[[nodiscard]] bool has_extension(std::string_view name, std::string_view extension);

}  // namespace detect
