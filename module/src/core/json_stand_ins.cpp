// The lexical scan for stand-ins and the grammar of number literals.
#include "core/json_stand_ins.h"

#include <algorithm>
#include <cassert>

namespace vesk {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A byte after which RapidJSON may still be inside a number literal.
bool continues_number(char c) { return is_digit(c) || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E'; }

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The code unit of a `\uXXXX` escape at `at`, or -1 when there is none.
int escaped_unit(std::string_view text, std::size_t at) {
  if (text.size() - std::min(at, text.size()) < 6 || text[at] != '\\' || text[at + 1] != 'u') return -1;
  int unit = 0;
  for (std::size_t i = at + 2; i < at + 6; ++i) {
    const int digit = hex_value(text[i]);
    if (digit < 0) return -1;
    unit = unit * 16 + digit;
  }
  return unit;
}

bool is_leading_surrogate(int unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_trailing_surrogate(int unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

NumberLiteral scan_number_literal(std::string_view text, std::size_t begin) {
  NumberLiteral literal;
  std::size_t at = begin;
  const auto digits = [&] {
    const std::size_t from = at;
    while (at < text.size() && is_digit(text[at])) ++at;
    return at - from;
  };
  const auto broken_off = [&] {
    literal.end = at;
    return literal;
  };

  if (at < text.size() && text[at] == '-') ++at;
  const bool zero_integer = at < text.size() && text[at] == '0';
  if (zero_integer) {
    ++at;  // a leading zero is the whole integer part
    literal.integer_digits = 1;
  } else {
    literal.integer_digits = digits();
    if (literal.integer_digits == 0) return broken_off();
  }
  std::size_t fraction_zeros = 0;
  if (at < text.size() && text[at] == '.') {
    ++at;
    const std::size_t fraction_begin = at;
    if (digits() == 0) return broken_off();
    while (fraction_begin + fraction_zeros < at && text[fraction_begin + fraction_zeros] == '0') ++fraction_zeros;
  }
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    const bool negative = at < text.size() && text[at] == '-';
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
    std::int64_t value = 0;
    const std::size_t from = at;
    for (; at < text.size() && is_digit(text[at]); ++at) {
      value = std::min(value * 10 + (text[at] - '0'), NumberLiteral::kExponentLimit);
    }
    if (at == from) return broken_off();
    literal.exponent = negative ? -value : value;
  }
  literal.end = at;
  literal.well_formed = true;
  const auto integer_scale = static_cast<std::int64_t>(literal.integer_digits);
  literal.scale = (zero_integer ? -static_cast<std::int64_t>(fraction_zeros) : integer_scale) + literal.exponent;
  return literal;
}

StandIn StandInScanner::next() {
  const std::size_t size = text_.size();
  while (at_ < size) {
    const char c = text_[at_];
    if (in_string_) {
      if (c == '"') {
        in_string_ = false;
        ++at_;
      } else if (c != '\\') {
        ++at_;
      } else if (const int unit = escaped_unit(text_, at_); is_leading_surrogate(unit)) {
        const std::size_t escape = at_;
        at_ += 6;
        // RapidJSON takes a pair only as two escapes, the trailing one straight after.
        if (is_trailing_surrogate(escaped_unit(text_, at_))) {
          at_ += 6;
          continue;
        }
        return StandIn{escape, escape + 6, StandIn::Kind::LeadingSurrogateEscape};
      } else {
        // Any other escape: its letter is passed over with it, so `\"` does not end the string
        // and `\\u` starts no escape. The hex digits of `\u` are plain bytes to the scan.
        at_ = std::min(at_ + 2, size);
      }
      continue;
    }
    if (c == '"') {
      in_string_ = true;
      ++at_;
      continue;
    }
    if ((c == '-' || is_digit(c)) && (at_ == 0 || !continues_number(text_[at_ - 1]))) {
      const std::size_t begin = at_;
      const NumberLiteral literal = scan_number_literal(text_, begin);
      at_ = std::max(literal.end, begin + 1);
      if (literal.well_formed && literal.may_be_refused()) {
        assert(literal.end - begin >= 3);  // room for `0e0`
        return StandIn{begin, literal.end, StandIn::Kind::Number};
      }
      continue;
    }
    ++at_;
  }
  return StandIn{};
}

}  // namespace vesk
