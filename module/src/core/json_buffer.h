// The one output buffer of a JSON document: bytes appended in a single pass, capacity starting at
// 128 bytes and doubling whenever it is full, handed over as a string without a further copy.
// Texts, unsigned integers and 32-bit floats have their written forms here, so every writer of the
// module spells them the same way.
//
// A measuring buffer stores nothing and only adds up how many bytes the same calls would write, so
// that a large document can be given its exact room first: growth by doubling would copy the text
// written so far at every step and, at the last one, hold up to twice the document at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vesk {

class JsonBuffer {
 public:
  static constexpr std::size_t kInitialCapacity = 128;

  JsonBuffer() { bytes_.reserve(kInitialCapacity); }
  // A buffer that measures instead of storing; see size().
  [[nodiscard]] static JsonBuffer measuring() { return JsonBuffer(Measuring{}); }

  void raw(char c) {
    if (measuring_) {
      ++measured_;
      return;
    }
    make_room(1);
    bytes_.push_back(c);
  }
  void raw(std::string_view text) {
    if (measuring_) {
      measured_ += text.size();
      return;
    }
    make_room(text.size());
    bytes_.append(text);
  }
  // Room for `total` bytes in all, when that is more than the capacity already has.
  void reserve(std::size_t total) {
    if (total > bytes_.capacity()) bytes_.reserve(total);
  }

  // A JSON string: quotation marks around the text, with `"`, `\`, the five short escapes and
  // `\u00xx` (lowercase hex) for the remaining C0 controls; every other byte is copied unchanged.
  void string(std::string_view text);
  // `"key":`.
  void key(std::string_view name) {
    string(name);
    raw(':');
  }
  // Plain decimal digits.
  void u32(std::uint32_t value);
  // The shortest digits that read back as `value` as a 32-bit float, laid out as fixed notation
  // for decimal exponents -6..12 (whole numbers end in ".0") and as d.ddde±x outside them;
  // NaN and the infinities are null.
  void f32(float value);

  [[nodiscard]] std::size_t capacity() const { return bytes_.capacity(); }
  // The bytes written so far, or measured so far by a measuring buffer.
  [[nodiscard]] std::size_t size() const { return measuring_ ? measured_ : bytes_.size(); }
  [[nodiscard]] std::string_view view() const { return bytes_; }
  [[nodiscard]] std::string take() && { return std::move(bytes_); }

 private:
  struct Measuring {};
  explicit JsonBuffer(Measuring) : measuring_(true) {}

  // Growth is spelled out rather than left to std::string so that the doubling is a property of
  // this code, not of the standard library in use.
  void make_room(std::size_t extra) {
    const std::size_t needed = bytes_.size() + extra;
    if (needed <= bytes_.capacity()) return;
    std::size_t capacity = bytes_.capacity() * 2;
    while (capacity < needed) capacity *= 2;
    bytes_.reserve(capacity);
  }

  std::string bytes_;
  bool measuring_ = false;
  std::size_t measured_ = 0;
};

}  // namespace vesk
