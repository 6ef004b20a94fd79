// The one output buffer of a JSON document: bytes appended in a single pass, capacity starting at
// 128 bytes and doubling whenever it is full, handed over without a further copy. Texts, unsigned
// integers and 32-bit floats have their written forms here, so every writer of the module spells
// them the same way.
//
// The bytes live in malloc'd memory grown with realloc, not in a std::string: for a document of
// tens of megabytes the allocator then moves the pages instead of copying them (mremap), so growth
// by doubling neither copies the text written so far nor holds it twice at the last step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <ostream>
#include <string_view>
#include <utility>

namespace vesk {

// The finished document: owned bytes, moved out of the buffer that wrote them.
class JsonText {
 public:
  JsonText() = default;
  JsonText(JsonText&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
  JsonText& operator=(JsonText&& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    return *this;
  }
  JsonText(const JsonText&) = delete;
  JsonText& operator=(const JsonText&) = delete;
  ~JsonText() { std::free(data_); }

  [[nodiscard]] const char* data() const { return data_; }
  [[nodiscard]] std::size_t size() const { return size_; }
  [[nodiscard]] std::string_view view() const { return {data_, size_}; }
  friend bool operator==(const JsonText& text, std::string_view other) { return text.view() == other; }
  friend std::ostream& operator<<(std::ostream& out, const JsonText& text) { return out << text.view(); }

 private:
  friend class JsonBuffer;
  JsonText(char* data, std::size_t size) : data_(data), size_(size) {}
  char* data_ = nullptr;
  std::size_t size_ = 0;
};

class JsonBuffer {
 public:
  static constexpr std::size_t kInitialCapacity = 128;

  JsonBuffer() { grow_to(kInitialCapacity); }
  JsonBuffer(const JsonBuffer&) = delete;
  JsonBuffer& operator=(const JsonBuffer&) = delete;
  ~JsonBuffer() { std::free(data_); }

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

  [[nodiscard]] std::size_t capacity() const { return capacity_; }
  [[nodiscard]] std::size_t size() const { return size_; }
  [[nodiscard]] std::string_view view() const { return {data_, size_}; }
  // Hands the bytes over; the buffer is spent.
  [[nodiscard]] JsonText take() && {
    JsonText text(std::exchange(data_, nullptr), size_);
    size_ = capacity_ = 0;
    return text;
  }

 private:
  void make_room(std::size_t extra) {
    const std::size_t needed = size_ + extra;
    if (needed <= capacity_) return;
    std::size_t capacity = capacity_ * 2;
    while (capacity < needed) capacity *= 2;
    grow_to(capacity);
  }
  void grow_to(std::size_t capacity) {
    void* grown = std::realloc(data_, capacity);
    if (grown == nullptr) throw std::bad_alloc();  // ends as MemoryError at the module boundary
    data_ = static_cast<char*>(grown);
    capacity_ = capacity;
  }

  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace vesk
