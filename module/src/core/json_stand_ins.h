// Stand-ins for the few well-formed JSON literals that RapidJSON refuses: numbers it takes for too
// large (an integer part of 309 or more digits, an exponent above 308) and `\u` escapes of a
// leading surrogate without its trailing partner. One lexical scan, run ahead of RapidJSON through
// its input stream, finds them; the stream shows RapidJSON a text of the same length in their
// place (`0e000…`, `\u001f`), so every offset RapidJSON reports is still an offset of the original
// text, which is where the reader takes the literal's value from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

namespace vesk {

// The extent and scale of a number literal read from its first byte by JSON's grammar
// -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?, taking as many bytes as the grammar allows.
struct NumberLiteral {
  std::size_t end = 0;    // one past the literal; where the grammar broke off when malformed
  bool well_formed = false;
  std::size_t integer_digits = 0;
  std::int64_t exponent = 0;  // the written exponent, held within ±kExponentLimit
  // The power of ten of the first significant digit, plus one (0.05 is 5e-2, scale -1; 123.4
  // scale 3); meaningless when every digit is zero.
  std::int64_t scale = 0;

  // Far past any exponent that decides a double, and small enough that adding a digit count
  // never overflows.
  static constexpr std::int64_t kExponentLimit = std::int64_t{1} << 50;

  // Whether RapidJSON may refuse the literal as too big. It refuses an integer part whose value
  // reaches DBL_MAX / 10 before its last digit (so at least 309 digits) and an exponent above
  // 308 minus the fraction digits it counted; every literal it refuses passes this test.
  [[nodiscard]] bool may_be_refused() const { return integer_digits > 308 || exponent > 308; }
};
[[nodiscard]] NumberLiteral scan_number_literal(std::string_view text, std::size_t begin);

// A range of the text whose bytes the stream replaces, or none (begin and end at the largest
// offset).
struct StandIn {
  enum class Kind : std::uint8_t { Number, LeadingSurrogateEscape };
  static constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
  std::size_t begin = kNone;
  std::size_t end = kNone;
  Kind kind = Kind::Number;

  // The byte shown at `offset`, from begin to end. A number becomes `0e00…0`, which RapidJSON
  // reads as zero and ends where the literal ended whatever follows; an escape becomes `\u001f`.
  [[nodiscard]] char at(std::size_t offset) const {
    if (kind == Kind::LeadingSurrogateEscape) return "\\u001f"[offset - begin];
    return offset == begin + 1 ? 'e' : '0';
  }
};

// Finds the stand-ins of a text in order, each only when asked for the next, so that the scan
// runs just ahead of the reader and the text is scanned once in all. It follows JSON's lexical
// rules (strings with their escapes, numbers, everything else one byte at a time) and agrees
// with RapidJSON on every byte before RapidJSON's first syntax error; past that nothing it
// finds is ever read. A number is only taken where RapidJSON cannot be inside another number
// (the byte before is no digit, sign, point or exponent letter), so a stand-in never turns a
// malformed literal into a well-formed one.
class StandInScanner {
 public:
  explicit StandInScanner(std::string_view text) : text_(text) {}

  // The next stand-in after the last one returned, or none.
  [[nodiscard]] StandIn next();

 private:
  std::string_view text_;
  std::size_t at_ = 0;
  bool in_string_ = false;
};

}  // namespace vesk
