// Scalar meanings of the pack reader. Numbers are parsed by hand to the exact grammar the packs
// accept, then converted with std::from_chars, which is locale-independent and correctly rounded.
#include "packs/scalar_forms.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>
#include <vector>

#include "detect/utf8.h"

namespace detect::packs {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

int digit_value(char c) {
  if (is_digit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

bool all_digits(std::string_view text, int base) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [base](char c) { return digit_value(c) < base; });
}

// A numeral with leading zeros is text, not a number ("007", "-01").
bool digits_but_not_number(std::string_view text) {
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) text.remove_prefix(1);
  return text.size() > 1 && text[0] == '0' && all_digits(text.substr(1), 10);
}

// Base-2, -8 or -16 digits to decimal, by repeated multiply-and-add over limbs of 10^18.
std::string to_decimal(std::string_view digits, int base) {
  constexpr std::uint64_t kLimb = 1'000'000'000'000'000'000ULL;
  std::vector<std::uint64_t> limbs;  // least significant first
  for (char c : digits) {
    unsigned __int128 carry = static_cast<unsigned>(digit_value(c));
    for (std::uint64_t& limb : limbs) {
      const unsigned __int128 value = static_cast<unsigned __int128>(limb) * static_cast<unsigned>(base) + carry;
      limb = static_cast<std::uint64_t>(value % kLimb);
      carry = value / kLimb;
    }
    while (carry != 0) {
      limbs.push_back(static_cast<std::uint64_t>(carry % kLimb));
      carry /= kLimb;
    }
  }
  if (limbs.empty()) return "0";
  std::string text = std::to_string(limbs.back());
  for (std::size_t i = limbs.size() - 1; i-- > 0;) {
    const std::string part = std::to_string(limbs[i]);
    text.append(18 - part.size(), '0');
    text += part;
  }
  return text;
}

// Rust's grammar of a decimal float: ( Digit+ | Digit+ '.' Digit* | Digit* '.' Digit+ ) Exp?, with an
// optional sign before it; returns the nearest double, infinite when it overflows.
std::optional<double> parse_decimal(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  std::size_t i = 0;
  const auto count_digits = [&] {
    const std::size_t start = i;
    while (i < text.size() && is_digit(text[i])) ++i;
    return i - start;
  };
  const std::size_t int_digits = count_digits();
  std::size_t frac_digits = 0;
  if (i < text.size() && text[i] == '.') {
    ++i;
    frac_digits = count_digits();
  }
  if (int_digits + frac_digits == 0) return std::nullopt;
  std::int64_t exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool exponent_negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) exponent_negative = text[i++] == '-';
    const std::size_t start = i;
    while (i < text.size() && is_digit(text[i])) {
      exponent = std::min<std::int64_t>(exponent * 10 + (text[i] - '0'), 1'000'000'000);
      ++i;
    }
    if (i == start) return std::nullopt;
    if (exponent_negative) exponent = -exponent;
  }
  if (i != text.size()) return std::nullopt;

  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (error == std::errc::result_out_of_range) {
    // Too large or too small for a double; the exponent of the leading digit tells which.
    std::string_view digits = text.substr(0, int_digits);
    std::int64_t leading = static_cast<std::int64_t>(int_digits) - 1;
    std::size_t first = digits.find_first_not_of('0');
    if (first == std::string_view::npos) {
      const std::string_view fraction = text.substr(std::min(int_digits + 1, text.size()), frac_digits);
      first = std::min(fraction.find_first_not_of('0'), fraction.size());
      leading = -1 - static_cast<std::int64_t>(first);
    } else {
      leading -= static_cast<std::int64_t>(first);
    }
    value = leading + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

bool is_one_of(std::string_view text, std::initializer_list<std::string_view> spellings) {
  return std::find(spellings.begin(), spellings.end(), text) != spellings.end();
}

void append_hex(std::string& out, std::uint32_t value) {
  char buffer[16];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, 16);
  (void)error;
  out.append(buffer, static_cast<std::size_t>(end - buffer));
}

std::string float_text(double value) {
  std::string text = shortest_positional(value);
  if (std::isfinite(value) && text.find('.') == std::string::npos) text += ".0";
  return text;
}

}  // namespace

bool is_null_form(std::string_view text) { return is_one_of(text, {"~", "null", "Null", "NULL"}); }

std::optional<bool> parse_bool(std::string_view text) {
  if (is_one_of(text, {"true", "True", "TRUE"})) return true;
  if (is_one_of(text, {"false", "False", "FALSE"})) return false;
  return std::nullopt;
}

std::optional<IntegerNumeral> parse_integer(std::string_view text, bool allow_negative) {
  IntegerNumeral numeral;
  std::string_view body = text;
  if (!body.empty() && body[0] == '+') {
    body.remove_prefix(1);
  } else if (allow_negative && !body.empty() && body[0] == '-') {
    numeral.negative = true;
    body.remove_prefix(1);
  }
  if (body.size() >= 2 && body[0] == '0' && (body[1] == 'x' || body[1] == 'o' || body[1] == 'b')) {
    const int base = body[1] == 'x' ? 16 : body[1] == 'o' ? 8 : 2;
    std::string_view digits = body.substr(2);
    if (!all_digits(digits, base)) return std::nullopt;
    digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size()));
    numeral.magnitude = digits.size() > kMaxConvertedDigits ? std::string(body) : to_decimal(digits, base);
  } else {
    if (!all_digits(body, 10) || digits_but_not_number(body)) return std::nullopt;
    numeral.magnitude = std::string(body);
  }
  if (numeral.magnitude == "0") numeral.negative = false;
  return numeral;
}

std::optional<std::uint32_t> fits_u32(const IntegerNumeral& numeral) {
  const std::string& m = numeral.magnitude;
  if (numeral.negative || m.size() > 10 || (m.size() == 10 && m > "4294967295")) return std::nullopt;
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(m.data(), m.data() + m.size(), value);
  if (error != std::errc() || end != m.data() + m.size()) return std::nullopt;
  return value;
}

std::optional<double> parse_float(std::string_view text) {
  std::string_view unpositive = text;
  if (!text.empty() && text[0] == '+') {
    unpositive.remove_prefix(1);
    if (!unpositive.empty() && (unpositive[0] == '+' || unpositive[0] == '-')) return std::nullopt;
  }
  if (is_one_of(unpositive, {".inf", ".Inf", ".INF"})) return std::numeric_limits<double>::infinity();
  if (is_one_of(text, {"-.inf", "-.Inf", "-.INF"})) return -std::numeric_limits<double>::infinity();
  if (is_one_of(text, {".nan", ".NaN", ".NAN"})) return std::numeric_limits<double>::quiet_NaN();
  const std::optional<double> value = parse_decimal(unpositive);
  if (!value || !std::isfinite(*value)) return std::nullopt;
  return value;
}

std::optional<double> parse_plain_float(std::string_view text) {
  if (digits_but_not_number(text)) return std::nullopt;
  return parse_float(text);
}

float narrow_to_float(double value) {
  // Halfway between the largest float and 2^128: from here on, rounding to nearest (ties to even)
  // gives an infinity. Converting such a value directly would be undefined behaviour.
  constexpr double kFirstInfinite = 0x1.ffffffp127;
  if (std::isnan(value)) {
    return std::signbit(value) ? -std::numeric_limits<float>::quiet_NaN() : std::numeric_limits<float>::quiet_NaN();
  }
  if (std::fabs(value) >= kFirstInfinite) {
    return std::signbit(value) ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
  }
  return static_cast<float>(value);
}

std::string shortest_positional(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  std::array<char, 64> buffer{};
  const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::scientific);
  (void)error;
  const std::string_view scientific(buffer.data(), static_cast<std::size_t>(end - buffer.data()));
  const std::size_t e = scientific.find('e');
  std::string digits;
  bool negative = false;
  for (char c : scientific.substr(0, e)) {
    if (c == '-') negative = true;
    if (is_digit(c)) digits += c;
  }
  int exponent = 0;
  std::string_view exponent_text = scientific.substr(e + 1);
  if (!exponent_text.empty() && exponent_text[0] == '+') exponent_text.remove_prefix(1);
  std::from_chars(exponent_text.data(), exponent_text.data() + exponent_text.size(), exponent);

  std::string text = negative ? "-" : "";
  if (exponent >= 0) {
    const std::size_t int_digits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= int_digits) {
      text += digits;
      text.append(int_digits - digits.size(), '0');
    } else {
      text += digits.substr(0, int_digits);
      text += '.';
      text += digits.substr(int_digits);
    }
  } else {
    text += "0.";
    text.append(static_cast<std::size_t>(-exponent - 1), '0');
    text += digits;
  }
  return text;
}

std::string quoted_text(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    std::size_t subpart = 1;
    std::size_t length = utf8::sequence_length(text, i, &subpart);
    if (length == 0) {  // not UTF-8: shown as it is, one byte at a time
      out += text[i++];
      continue;
    }
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    std::uint32_t code = lead;
    if (length == 2) code = ((lead & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
    switch (code) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\0': out += "\\0"; break;
      default:
        if (length <= 2 && (code < 0x20 || (code >= 0x7F && code <= 0x9F))) {
          out += "\\u{";
          append_hex(out, code);
          out += '}';
        } else {
          out.append(text.substr(i, length));
        }
    }
    i += length;
  }
  out += '"';
  return out;
}

PlainKind classify_plain(std::string_view text) {
  if (text.empty() || is_null_form(text)) return PlainKind::Null;
  if (parse_bool(text)) return PlainKind::Bool;
  if (parse_integer(text, true)) return PlainKind::Integer;
  if (parse_plain_float(text)) return PlainKind::Float;
  return PlainKind::String;
}

std::string describe_scalar(std::string_view text, bool plain) {
  if (plain) {
    switch (classify_plain(text)) {
      case PlainKind::Null:
        return "unit value";
      case PlainKind::Bool:
        return std::string("boolean `") + (*parse_bool(text) ? "true" : "false") + "`";
      case PlainKind::Integer: {
        const IntegerNumeral numeral = *parse_integer(text, true);
        return "integer `" + std::string(numeral.negative ? "-" : "") + numeral.magnitude + "`";
      }
      case PlainKind::Float:
        return "floating point `" + float_text(*parse_plain_float(text)) + "`";
      case PlainKind::String:
        break;
    }
  }
  return "string " + quoted_text(text);
}

}  // namespace detect::packs
