// Positions, number literals and value descriptions for JSON reader messages.
#include "core/json_text.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace vesk {

std::size_t skip_json_whitespace(std::string_view text, std::size_t from) {
  while (from < text.size() && is_json_whitespace(text[from])) ++from;
  return from;
}

std::size_t skip_json_whitespace_back(std::string_view text, std::size_t from) {
  while (from > 0 && is_json_whitespace(text[from - 1])) --from;
  return from;
}

std::string json_position_suffix(std::string_view text, std::size_t at) {
  const std::size_t end = at < text.size() ? at + 1 : text.size();
  std::size_t line = 1;
  std::size_t line_start = 0;
  for (std::size_t i = 0; i < end; ++i) {
    if (text[i] == '\n') {
      ++line;
      line_start = i + 1;
    }
  }
  return " at line " + std::to_string(line) + " column " + std::to_string(end - line_start);
}

JsonNumber classify_json_number(std::string_view literal) {
  JsonNumber number;
  const bool negative = !literal.empty() && literal.front() == '-';
  const bool integral = literal.find_first_of(".eE") == std::string_view::npos;
  if (integral) {
    const std::string_view digits = negative ? literal.substr(1) : literal;
    std::uint64_t magnitude = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
    const bool fits = ec == std::errc() && end == digits.data() + digits.size();
    if (fits && !negative) {
      number.kind = JsonNumber::Kind::Unsigned;
      number.unsigned_value = magnitude;
      return number;
    }
    constexpr std::uint64_t kSignedMagnitudeLimit = std::uint64_t{1} << 63;
    if (fits && magnitude != 0 && magnitude <= kSignedMagnitudeLimit) {
      number.kind = JsonNumber::Kind::Signed;
      number.signed_value = magnitude == kSignedMagnitudeLimit
                                ? INT64_MIN
                                : -static_cast<std::int64_t>(magnitude);
      return number;
    }
    // Past 64 bits an integer is still an integer (a `line` of 2^64 is a value out of range, not
    // a float); only negative zero reads as a double.
    if (!(fits && magnitude == 0)) {
      number.kind = JsonNumber::Kind::WideInteger;
      number.wide_digits = literal;
      return number;
    }
  }
  double value = 0.0;
  const auto [end, ec] = std::from_chars(literal.data(), literal.data() + literal.size(), value);
  (void)end;
  if (ec == std::errc::result_out_of_range) {
    // from_chars leaves the value alone when it is past the double range or below its least
    // step; the literal's scale tells which, and the value is the one nearest, as strtod gives.
    const double magnitude = scan_number_literal(literal, 0).scale > 0 ? HUGE_VAL : 0.0;
    value = negative ? -magnitude : magnitude;
  }
  number.kind = JsonNumber::Kind::Float;
  number.float_value = value;
  return number;
}

std::string describe_number(const JsonNumber& number) {
  switch (number.kind) {
    case JsonNumber::Kind::Unsigned:
      return "integer `" + std::to_string(number.unsigned_value) + "`";
    case JsonNumber::Kind::Signed:
      return "integer `" + std::to_string(number.signed_value) + "`";
    case JsonNumber::Kind::WideInteger:
      return "integer `" + std::string(number.wide_digits) + "`";
    case JsonNumber::Kind::Float:
      break;
  }
  if (std::isinf(number.float_value)) return number.float_value < 0 ? "floating point `-inf`" : "floating point `inf`";
  // Shortest round-trip digits laid out in fixed notation, padded with zeros rather than with
  // the exact binary value's digits, and ".0" when they show no fraction.
  char scientific[32];
  const auto [end, ec] = std::to_chars(scientific, scientific + sizeof scientific, number.float_value,
                                       std::chars_format::scientific);
  (void)ec;  // a double needs at most 24 characters here
  std::string_view sci(scientific, static_cast<std::size_t>(end - scientific));
  std::string text;
  if (sci.front() == '-') {
    text += '-';
    sci.remove_prefix(1);
  }
  const std::size_t e_pos = sci.find('e');
  std::string digits;
  for (const char c : sci.substr(0, e_pos)) {
    if (c != '.') digits += c;
  }
  int exponent = 0;
  std::from_chars(sci.data() + e_pos + 2, sci.data() + sci.size(), exponent);
  if (sci[e_pos + 1] == '-') exponent = -exponent;
  const int count = static_cast<int>(digits.size());
  if (exponent < 0) {
    text += "0.";
    text.append(static_cast<std::size_t>(-exponent - 1), '0');
    text += digits;
  } else if (exponent >= count - 1) {
    text += digits;
    text.append(static_cast<std::size_t>(exponent - count + 1), '0');
    text += ".0";
  } else {
    text += digits.substr(0, static_cast<std::size_t>(exponent + 1));
    text += '.';
    text += digits.substr(static_cast<std::size_t>(exponent + 1));
  }
  return "floating point `" + text + "`";
}

std::string describe_string(std::string_view value) {
  constexpr char kHex[] = "0123456789abcdef";
  std::string text = "string \"";
  for (const char ch : value) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': text += "\\\""; break;
      case '\\': text += "\\\\"; break;
      case '\t': text += "\\t"; break;
      case '\n': text += "\\n"; break;
      case '\r': text += "\\r"; break;
      case '\0': text += "\\0"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          text += "\\u{";
          if (c >= 0x10) text += kHex[c >> 4];
          text += kHex[c & 0xF];
          text += '}';
        } else {
          text += ch;
        }
    }
  }
  text += '"';
  return text;
}

}  // namespace vesk
