// The one output buffer of a JSON document: bytes appended in a single pass into a `LargeBlock`
// (whole pages, huge where the system allows, grown by remapping), handed over without a further
// copy. Texts, unsigned integers and 32-bit floats have their written forms here, so every writer
// of the module spells them the same way.
//
// A document of tens of megabytes is the largest thing a call makes: its pages are first touched
// as it is written, so they come as huge pages, and growth moves pages instead of copying the
// text written so far or holding it twice. A writer that knows about how long the document will
// be reserves that much up front, and the buffer then never moves at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <ostream>
#include <string_view>
#include <utility>

#include "detect/large_block.h"

namespace vesk {

// The finished document: owned bytes, moved out of the buffer that wrote them.
class JsonText {
 public:
  JsonText() = default;
  JsonText(JsonText&& other) noexcept : block_(std::move(other.block_)), size_(std::exchange(other.size_, 0)) {}
  JsonText& operator=(JsonText&& other) noexcept {
    std::swap(block_, other.block_);
    std::swap(size_, other.size_);
    return *this;
  }
  JsonText(const JsonText&) = delete;
  JsonText& operator=(const JsonText&) = delete;

  [[nodiscard]] const char* data() const { return block_.data(); }
  [[nodiscard]] std::size_t size() const { return size_; }
  [[nodiscard]] std::string_view view() const { return {block_.data(), size_}; }
  friend bool operator==(const JsonText& text, std::string_view other) { return text.view() == other; }
  friend std::ostream& operator<<(std::ostream& out, const JsonText& text) { return out << text.view(); }

 private:
  friend class JsonBuffer;
  JsonText(detect::LargeBlock block, std::size_t size) : block_(std::move(block)), size_(size) {}
  detect::LargeBlock block_;
  std::size_t size_ = 0;
};

class JsonBuffer {
 public:
  JsonBuffer() = default;
  // Room for `expected` bytes before the buffer first has to grow.
  explicit JsonBuffer(std::size_t expected) { grow_to(expected); }
  JsonBuffer(const JsonBuffer&) = delete;
  JsonBuffer& operator=(const JsonBuffer&) = delete;

  void raw(char c) {
    make_room(1);
    data_[size_++] = c;
  }
  void raw(std::string_view text) {
    make_room(text.size());
    if (!text.empty()) __builtin_memcpy(data_ + size_, text.data(), text.size());
    size_ += text.size();
  }

  // A JSON string: quotation marks around the text, with `"`, `\`, the five short escapes and
  // `\u00xx` (lowercase hex) for the remaining C0 controls; every other byte is copied unchanged.
  void string(std::string_view text);
  // A copy of the `count` bytes written from offset `at` on, appended.
  void repeat(std::size_t at, std::size_t count) {
    make_room(count);
    if (count != 0) __builtin_memcpy(data_ + size_, data_ + at, count);
    size_ += count;
  }
  // `"key":`. Keys are the writers' own names, which never need escaping.
  void key(std::string_view name) {
    make_room(name.size() + 3);
    data_[size_++] = '"';
    __builtin_memcpy(data_ + size_, name.data(), name.size());
    size_ += name.size();
    data_[size_++] = '"';
    data_[size_++] = ':';
  }
  // Plain decimal digits.
  void u32(std::uint32_t value);
  // The shortest digits that read back as `value` as a 32-bit float, laid out as fixed notation
  // for decimal exponents -6..12 (whole numbers end in ".0") and as d.ddde±x outside them;
  // NaN and the infinities are null.
  void f32(float value);

  [[nodiscard]] std::size_t capacity() const { return capacity_; }
  [[nodiscard]] std::size_t size() const { return size_; }
  [[nodiscard]] std::string_view view() const { return {data_, size_}; }
  // Hands the bytes over; the buffer is spent.
  [[nodiscard]] JsonText take() && {
    JsonText text(std::move(block_), size_);
    data_ = nullptr;
    size_ = capacity_ = 0;
    return text;
  }

 private:
  void make_room(std::size_t extra) {
    if (size_ + extra > capacity_) grow_to(size_ + extra);
  }
  void grow_to(std::size_t capacity) {
    if (!block_.grow_to(capacity)) throw std::bad_alloc();  // ends as MemoryError at the module boundary
    data_ = block_.data();
    capacity_ = block_.capacity();
  }

  detect::LargeBlock block_;
  char* data_ = nullptr;  // block_.data(), kept beside the size for the hot appends
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace vesk
