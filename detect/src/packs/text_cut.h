// Where a pack text is cut before libyaml reads any of it, and the error that the read reports once
// it gets there. Two things cut a text:
//
// - The first character that libyaml's reader refuses (bytes that are not UTF-8, control characters,
//   U+FFFE and U+FFFF). libyaml decodes kilobytes ahead of its scanner and fails as soon as its
//   decoding meets such a character, so an earlier reading error would win or lose by where its
//   buffers happen to end. Cut before it, libyaml reads the same events up to that point, and the
//   read shows the reader's own error, worded and placed as libyaml does ("control characters are
//   not allowed at position 62"), unless it fails before libyaml's scanner came to the cut.
// - The line that passes kDirectiveLines. libyaml spends time that grows with the square of the
//   number of %TAG directives before one document (each new one is compared with all before it, and
//   every tag is looked up among them), and gives no event before it has done so.
//
// Pack texts are UTF-8: a byte-order mark of UTF-16 at the start is no UTF-8 and is refused, where
// libyaml would have switched to UTF-16.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "detect/packs.h"

namespace detect::packs {

// Lines that may begin with "%", the mark of a directive, in one pack text. Packs need none; libyaml
// takes a "%" at the start of a line as a directive wherever a token may begin there, so counting
// every such line bounds the directives of every document.
inline constexpr std::size_t kDirectiveLines = 64;

struct TextCut {
  std::size_t bytes = 0;       // libyaml is given text[0, bytes)
  std::size_t characters = 0;  // characters before the cut after a leading byte-order mark: where
                               // libyaml's scanner stands (its mark's index) once it reaches the cut
  PackReadError error;         // what the read reports when it gets to the cut
};

// The first place where the text must be cut, if any.
[[nodiscard]] std::optional<TextCut> find_text_cut(std::string_view text);

}  // namespace detect::packs
