// The JSON text turned into the fixed-width code units of a Python str (1, 2 or 4 bytes each),
// written straight into the str's own buffer: the str is allocated at its final length and kind
// from what the writer counted (`JsonText::code_points`, `JsonText::max_non_ascii`), then filled
// here in one pass. Runs of sixteen ASCII bytes are widened a block at a time; only where a
// sequence above 7F starts is a character decoded on its own.
//
// The text's pages are given back to the system as the pass leaves them behind, so the text and
// the str it becomes are not both held whole: the call's peak is the str and a few megabytes.
//
// Knows nothing of Python: the caller hands over the buffer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/json_buffer.h"

namespace vesk {

// Fills `out[0, text.code_points())` with the code points of the well-formed `text`; `max_code_point`
// is what the str's kind holds (0x7F, 0xFF, 0xFFFF or 0x10FFFF). True when the text decodes to
// exactly that many code points, each within `max_code_point`, the largest above U+007F being
// `text.max_non_ascii()`: then the units are the ones CPython's UTF-8 decoder would make. False
// otherwise, which only a fault in the counting could bring about; `out` then holds nothing of use.
// Either way the text is spent: its bytes are not to be read again.
template <typename Unit>
[[nodiscard]] bool decode_to_units(JsonText& text, Unit* out, char32_t max_code_point);

extern template bool decode_to_units<std::uint8_t>(JsonText&, std::uint8_t*, char32_t);
extern template bool decode_to_units<std::uint16_t>(JsonText&, std::uint16_t*, char32_t);
extern template bool decode_to_units<std::uint32_t>(JsonText&, std::uint32_t*, char32_t);

}  // namespace vesk
