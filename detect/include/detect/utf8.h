// UTF-8 decoding steps shared by validation, by the lossy path display and by whatever turns the
// manifest's text into code points.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace detect::utf8 {

// Length of the well-formed sequence starting at `s[i]`, or 0 when none starts there. In the
// second case `*subpart` receives the length of the maximal ill-formed subpart (at least 1): the
// longest prefix of a well-formed sequence found there, which is replaced as one unit.
std::size_t sequence_length(std::string_view s, std::size_t i, std::size_t* subpart);

// The code point of the well-formed sequence of `length` bytes (1 to 4) at `bytes`.
inline char32_t code_point(const char* bytes, std::size_t length) {
  const auto byte = [bytes](std::size_t k) { return static_cast<std::uint8_t>(bytes[k]); };
  if (length == 1) return byte(0);
  // The lead byte keeps 7 - length bits; each further byte adds its low six.
  char32_t value = byte(0) & (0x7Fu >> length);
  for (std::size_t k = 1; k < length; ++k) value = (value << 6) | (byte(k) & 0x3Fu);
  return value;
}

}  // namespace detect::utf8
