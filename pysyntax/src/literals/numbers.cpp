// Values of integer, float and imaginary literals. Floats go through std::from_chars, which is
// correctly rounded like CPython's own conversion and, unlike strtod, ignores LC_NUMERIC (a
// Python program may change it while the analyser runs). from_chars reports both overflow and
// underflow as out_of_range without a value; CPython gives infinity and 0.0 there.
#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

#include "literals/literals.h"

namespace pysyntax::literals {
namespace {

struct IntegerForm {
  unsigned base;
  std::string_view digits;  // still with underscores
};

IntegerForm integer_form(std::string_view text) {
  if (text.size() > 1 && text[0] == '0') {
    switch (text[1]) {
      case 'x': case 'X': return {16, text.substr(2)};
      case 'o': case 'O': return {8, text.substr(2)};
      case 'b': case 'B': return {2, text.substr(2)};
      default: break;
    }
  }
  return {10, text};
}

unsigned digit_value(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  return static_cast<unsigned>(c - 'A' + 10);
}

// Whether a float text that from_chars found out of range is too large (rather than too small):
// the sign of the decimal order of its first significant digit decides, since overflow needs an
// order near +308 and underflow one near -324.
bool overflows(std::string_view text) {
  int64_t integer_digits = 0;
  int64_t first_significant = -1;  // index among all mantissa digits
  int64_t digit_index = 0;
  bool in_fraction = false;
  size_t i = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c == '.') {
      in_fraction = true;
    } else if (c >= '0' && c <= '9') {
      if (c != '0' && first_significant < 0) first_significant = digit_index;
      ++digit_index;
      if (!in_fraction) ++integer_digits;
    } else {
      break;
    }
  }
  int64_t exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      if (exponent < 1'000'000'000) exponent = exponent * 10 + (text[i] - '0');
    }
    if (negative) exponent = -exponent;
  }
  if (first_significant < 0) return false;
  return integer_digits - first_significant - 1 + exponent >= 0;
}

// Copies the text without underscores into `buffer` (which must be large enough).
std::string_view without_underscores(std::string_view text, std::string& buffer) {
  if (text.find('_') == std::string_view::npos) return text;
  buffer.clear();
  buffer.reserve(text.size());
  for (char c : text) {
    if (c != '_') buffer.push_back(c);
  }
  return buffer;
}

}  // namespace

std::optional<uint64_t> integer_value(std::string_view literal_text) {
  IntegerForm form = integer_form(literal_text);
  uint64_t value = 0;
  for (char c : form.digits) {
    if (c == '_') continue;
    uint64_t digit = digit_value(c);
    if (value > (std::numeric_limits<uint64_t>::max() - digit) / form.base) return std::nullopt;
    value = value * form.base + digit;
  }
  return value;
}

void append_integer_decimal(std::string_view literal_text, std::string& out) {
  IntegerForm form = integer_form(literal_text);
  if (form.base == 10) {
    size_t before = out.size();
    for (char c : form.digits) {
      if (c == '_' || (c == '0' && out.size() == before)) continue;
      out.push_back(c);
    }
    if (out.size() == before) out.push_back('0');
    return;
  }
  // Little-endian limbs of 10^9. Quadratic in the digit count, which is fine for the literals
  // that need it (those past 64 bits, printed by the tree dump).
  constexpr uint32_t kLimb = 1'000'000'000;
  std::vector<uint32_t> limbs;
  for (char c : form.digits) {
    if (c == '_') continue;
    uint64_t carry = digit_value(c);
    for (uint32_t& limb : limbs) {
      uint64_t v = static_cast<uint64_t>(limb) * form.base + carry;
      limb = static_cast<uint32_t>(v % kLimb);
      carry = v / kLimb;
    }
    if (carry != 0) limbs.push_back(static_cast<uint32_t>(carry));
  }
  if (limbs.empty()) {
    out.push_back('0');
    return;
  }
  out += std::to_string(limbs.back());
  for (size_t k = limbs.size() - 1; k-- > 0;) {
    std::string part = std::to_string(limbs[k]);
    out.append(9 - part.size(), '0');
    out += part;
  }
}

double float_value(std::string_view literal_text) {
  std::string buffer;
  std::string_view text = without_underscores(literal_text, buffer);
  double value = 0.0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  (void)end;
  if (ec == std::errc::result_out_of_range) {
    return overflows(text) ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return value;
}

double imaginary_value(std::string_view literal_text) {
  if (!literal_text.empty() && (literal_text.back() == 'j' || literal_text.back() == 'J')) {
    literal_text.remove_suffix(1);
  }
  return float_value(literal_text);
}

}  // namespace pysyntax::literals
