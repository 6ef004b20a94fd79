// Small pieces of JSON reading shared by the calls_json reader: the byte stream RapidJSON reads
// from, line and column of a byte offset, the classification of number literals, and the texts
// that name an unexpected value ("string \"x\"", "integer `5`", "map").
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/json_stand_ins.h"

namespace vesk {

// A read-only RapidJSON input stream over a text that is not NUL-terminated. RapidJSON takes '\0'
// as the end of input, so a NUL inside the text also looks like the end; callers tell the two
// apart by comparing the offset with the text's size.
//
// In place of the literals RapidJSON refuses, the stream shows their stand-ins (json_stand_ins.h):
// number stand-ins always, since the reader takes every number's value from the original text;
// escape stand-ins only while the reader says it is skipping a value, so that a string it reads
// meets RapidJSON's own surrogate check exactly as written. The stream moves forward one byte
// per Take and never back, so the scan for stand-ins moves forward with it, over each byte once.
class JsonTextStream {
 public:
  using Ch = char;
  explicit JsonTextStream(std::string_view text) : text_(text), scanner_(text), stand_in_(scanner_.next()) {}
  JsonTextStream(const JsonTextStream&) = delete;
  JsonTextStream& operator=(const JsonTextStream&) = delete;

  [[nodiscard]] Ch Peek() const {
    if (at_ >= text_.size()) return '\0';
    if (at_ >= stand_in_.begin && shown(stand_in_)) return stand_in_.at(at_);
    return text_[at_];
  }
  Ch Take() {
    const Ch c = Peek();
    if (at_ < text_.size() && ++at_ == stand_in_.end) stand_in_ = scanner_.next();
    return c;
  }
  [[nodiscard]] std::size_t Tell() const { return at_; }
  [[nodiscard]] std::string_view text() const { return text_; }

  // Set while the reader passes over a value that it does not read.
  void show_escape_stand_ins(bool shown) { escape_stand_ins_shown_ = shown; }

  // Writing is never asked of a stream that is not parsed in place.
  Ch* PutBegin() { return nullptr; }
  void Put(Ch) {}
  void Flush() {}
  std::size_t PutEnd(Ch*) { return 0; }

 private:
  [[nodiscard]] bool shown(const StandIn& stand_in) const {
    return stand_in.kind == StandIn::Kind::Number || escape_stand_ins_shown_;
  }

  std::string_view text_;
  std::size_t at_ = 0;
  StandInScanner scanner_;
  StandIn stand_in_;  // the next stand-in at or after at_
  bool escape_stand_ins_shown_ = false;
};

inline bool is_json_whitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The first offset at or after `from` that is not JSON white space (the size at the end).
[[nodiscard]] std::size_t skip_json_whitespace(std::string_view text, std::size_t from);

// The smallest offset `i` at or before `from` such that text[i, from) is all JSON white space.
[[nodiscard]] std::size_t skip_json_whitespace_back(std::string_view text, std::size_t from);

// " at line {l} column {c}" for an error at byte `at`: the line is 1 plus the line feeds before
// it; the column counts the bytes of that line up to and including the byte at `at` (so the
// end of the text is the column of the last byte, and the empty text is line 1 column 0).
[[nodiscard]] std::string json_position_suffix(std::string_view text, std::size_t at);

// A number literal (valid JSON syntax): written without fraction or exponent it is an integer,
// an unsigned or signed 64-bit one when it fits, else a wide one known only by its digits, however
// long; with either it is a double ("-0" is the double -0.0), rounded to nearest, an infinity past
// the double range and a zero below it.
struct JsonNumber {
  enum class Kind : std::uint8_t { Unsigned, Signed, WideInteger, Float } kind = Kind::Unsigned;
  std::uint64_t unsigned_value = 0;
  std::int64_t signed_value = 0;
  double float_value = 0.0;
  std::string_view wide_digits;  // WideInteger: the literal, borrowed from the text read
};
[[nodiscard]] JsonNumber classify_json_number(std::string_view literal);

// What a message calls the value found: "integer `5`", "floating point `3.0`" (`inf` past the
// double range), "string \"x\"", "boolean `true`", "null", "sequence", "map".
[[nodiscard]] std::string describe_number(const JsonNumber& number);
[[nodiscard]] std::string describe_string(std::string_view value);

}  // namespace vesk
