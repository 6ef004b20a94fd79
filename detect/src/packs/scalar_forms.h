// What the text of a YAML scalar means to the pack reader: the null forms, the boolean spellings, the
// integer numerals (with 0x/0o/0b and an optional sign), the decimal floats and their spellings of
// infinity and NaN, narrowing to 32 bits, and the descriptions that "invalid type" and "invalid value"
// messages give of the node found.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace detect::packs {

// "~", "null", "Null", "NULL".
[[nodiscard]] bool is_null_form(std::string_view text);
// "true", "True", "TRUE", "false", "False", "FALSE".
[[nodiscard]] std::optional<bool> parse_bool(std::string_view text);

// An integer numeral: after an optional "+" (or, when allowed, "-"), a decimal numeral without leading
// zeros, or "0x", "0o" or "0b" followed by digits of that base.
struct IntegerNumeral {
  bool negative = false;  // never set for a zero
  // The magnitude in decimal. A numeral in base 2, 8 or 16 with more than kMaxConvertedDigits
  // significant digits is not converted (that costs time quadratic in its length) and keeps the
  // text it was written with, without its sign.
  std::string magnitude;
};
inline constexpr std::size_t kMaxConvertedDigits = 4096;
[[nodiscard]] std::optional<IntegerNumeral> parse_integer(std::string_view text, bool allow_negative);

// The value of an unsigned numeral when it is at most 4294967295.
[[nodiscard]] std::optional<std::uint32_t> fits_u32(const IntegerNumeral& numeral);

// A decimal number (optional sign, digits with an optional fraction and exponent), read as the nearest
// 64-bit float and kept only when finite; or ".inf", ".Inf", ".INF" (also after "+"), the same after
// "-", ".nan", ".NaN", ".NAN".
[[nodiscard]] std::optional<double> parse_float(std::string_view text);
// The same for an untagged plain scalar, where a numeral with leading zeros ("007") is text: the
// number rule of a 32-bit float field and of the descriptions. A !!float tag takes parse_float.
[[nodiscard]] std::optional<double> parse_plain_float(std::string_view text);

// The nearest 32-bit float, keeping the sign; beyond the 32-bit range, an infinity.
[[nodiscard]] float narrow_to_float(double value);

// The 64-bit float as a positional decimal with the fewest digits that read back to it, never with an
// exponent ("100000000000000000000", "0.0000001", "-0"); "inf", "-inf", "NaN".
[[nodiscard]] std::string shortest_positional(double value);

// The text in double quotes, with backslash, double quote and control characters escaped.
[[nodiscard]] std::string quoted_text(std::string_view text);

// The description of a scalar node: "unit value", "boolean `{}`", "integer `{}`",
// "floating point `{}`" or "string {}".
[[nodiscard]] std::string describe_scalar(std::string_view text, bool plain);

// What a plain untagged scalar is: the order in which the descriptions and free values resolve it.
enum class PlainKind { Null, Bool, Integer, Float, String };
[[nodiscard]] PlainKind classify_plain(std::string_view text);

}  // namespace detect::packs
