// Where a pack text is cut before libyaml reads any of it. libyaml spends time that grows with the
// square of the number of %TAG directives before one document (each new one is compared with all
// before it, and every tag is looked up among them), and no event comes out before it has done so;
// so the text is cut ahead of the line that passes the bound, libyaml reads only what stands before
// the cut, and the read reports the cut's own error once it gets there.
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
