// The one output buffer of a JSON document: bytes appended in a single pass into a `LargeBlock`,
// handed over without a further copy. Texts, unsigned integers and 32-bit floats have their
// written forms here, so every writer of the module spells them the same way.
//
// A document of tens of megabytes is the largest thing a call makes: its pages are first touched
// as it is written, so they come as huge pages, and growth moves pages instead of copying the
// text written so far or holding it twice. A writer that knows about how long the document will
// be reserves that much up front, and the buffer then never moves at all.
//
// The buffer also counts what the document's code points come to (how many, the largest), so
// that the str made of it can be allocated at its final size and kind before it is filled. Every
// byte above 7F comes from a text given to `string` or `member`, which is where it is counted
// (a repeated piece brings its count along): keys, punctuation and numbers are ASCII.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <ostream>
#include <string_view>
#include <utility>

#include "detect/large_block.h"
#include "pysyntax/invariant.h"

namespace vesk {

// What the code points of a document come to, counted as its texts are written.
struct CodePointCount {
  std::size_t continuation_bytes = 0;  // bytes 80..BF after a lead byte: each adds no code point
  char32_t max_non_ascii = 0;          // the largest code point above U+007F, 0 when there is none
  bool well_formed = true;             // false once a text held bytes that are not UTF-8

  // Counts `text`, which holds a byte above 7F.
  void add_non_ascii(std::string_view text);
};

// The finished document: owned bytes, moved out of the buffer that wrote them.
class JsonText {
 public:
  JsonText() = default;
  JsonText(JsonText&& other) noexcept
      : block_(std::move(other.block_)), size_(std::exchange(other.size_, 0)), count_(std::exchange(other.count_, {})) {}
  JsonText& operator=(JsonText&& other) noexcept {
    std::swap(block_, other.block_);
    std::swap(size_, other.size_);
    std::swap(count_, other.count_);
    return *this;
  }
  JsonText(const JsonText&) = delete;
  JsonText& operator=(const JsonText&) = delete;

  [[nodiscard]] const char* data() const { return block_.data(); }
  [[nodiscard]] std::size_t size() const { return size_; }
  [[nodiscard]] std::string_view view() const { return {block_.data(), size_}; }
  friend bool operator==(const JsonText& text, std::string_view other) { return text.view() == other; }
  friend std::ostream& operator<<(std::ostream& out, const JsonText& text) { return out << text.view(); }

  // Whether the bytes are UTF-8 (every text of a manifest is; the module relies on no such thing).
  [[nodiscard]] bool well_formed() const { return count_.well_formed; }
  // The number of code points, and the largest above U+007F (0 for an ASCII text); only for a
  // well-formed text.
  [[nodiscard]] std::size_t code_points() const { return size_ - count_.continuation_bytes; }
  [[nodiscard]] char32_t max_non_ascii() const { return count_.max_non_ascii; }
  // Gives the memory of the whole pages inside bytes [from, to) back to the system; those bytes
  // are not to be read again. For a reader that passes through the text once.
  void discard(std::size_t from, std::size_t to) { block_.discard(from, to); }

 private:
  friend class JsonBuffer;
  JsonText(detect::LargeBlock block, std::size_t size, CodePointCount count)
      : block_(std::move(block)), size_(size), count_(count) {}
  detect::LargeBlock block_;
  std::size_t size_ = 0;
  CodePointCount count_;
};

class JsonBuffer {
 public:
  JsonBuffer() = default;
  // Room for `expected` bytes before the buffer first has to grow.
  explicit JsonBuffer(std::size_t expected) { grow_to(expected); }
  JsonBuffer(const JsonBuffer&) = delete;
  JsonBuffer& operator=(const JsonBuffer&) = delete;

  // ASCII only (see the top of this file).
  void raw(char c) {
    VESK_INVARIANT(static_cast<unsigned char>(c) < 0x80, "JsonBuffer::raw given a byte above 7F");
    make_room(1);
    data_[size_++] = c;
  }
  void raw(std::string_view text) {
    VESK_INVARIANT(is_ascii(text), "JsonBuffer::raw given a byte above 7F");
    append(text);
  }

  // A JSON string: quotation marks around the text, with `"`, `\`, the five short escapes and
  // `\u00xx` (lowercase hex) for the remaining C0 controls; every other byte is copied unchanged.
  void string(std::string_view text) {
    make_room(text.size() + 2);
    string_in_room(text);
  }
  // `prefix` (a key with its punctuation, such as `,"name":`) and then `text` as a JSON string:
  // the members of the bulk records, written with one check for room.
  template <std::size_t N>
  void member(const char (&prefix)[N], std::string_view text) {
    constexpr std::size_t kPrefix = N - 1;
    VESK_INVARIANT(is_ascii(std::string_view(prefix, kPrefix)), "a JSON member prefix with a byte above 7F");
    make_room(kPrefix + text.size() + 2);
    __builtin_memcpy(data_ + size_, prefix, kPrefix);
    size_ += kPrefix;
    string_in_room(text);
  }
  // `"key":`. Keys are the writers' own names, which never need escaping and are ASCII.
  void key(std::string_view name) {
    VESK_INVARIANT(is_ascii(name), "a JSON key with a byte above 7F");
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

  // A piece that the writers repeat often (a record's location, the same for every record of a
  // file): written by `write(*this)` the first time, and while the key stays the same copied from
  // where it was last written. The key is the address and size of the text the piece shows and
  // one number: the texts of a document do not change while it is written, so an equal key means
  // equal bytes (checked in the sanitizer build). Only the last piece is remembered.
  template <typename Write>
  void repeated(std::string_view text, std::uint32_t number, Write&& write) {
    repeated_in(last_piece_, text.data(), text.size(), number, write);
  }

  [[nodiscard]] std::size_t capacity() const { return capacity_; }
  [[nodiscard]] std::size_t size() const { return size_; }
  [[nodiscard]] std::string_view view() const { return {data_, size_}; }
  // Hands the bytes over; the buffer is spent.
  [[nodiscard]] JsonText take() && {
    JsonText text(std::move(block_), size_, count_);
    data_ = nullptr;
    size_ = capacity_ = 0;
    return text;
  }

 private:
  static bool is_ascii(std::string_view text) {
    for (const char c : text) {
      if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
  }
  // The JSON string of `text`, with room made for it unescaped.
  void string_in_room(std::string_view text);
  // The same for a text copied already that holds bytes above 7F or needs escapes (`found`).
  void string_in_room_found(std::string_view text, unsigned found);
  // Bytes whose code points are counted already (or are ASCII).
  void append(std::string_view bytes) {
    make_room(bytes.size());
    if (!bytes.empty()) __builtin_memcpy(data_ + size_, bytes.data(), bytes.size());
    size_ += bytes.size();
  }
  void make_room(std::size_t extra) {
    if (size_ + extra > capacity_) grow_to(size_ + extra);
  }
  void grow_to(std::size_t capacity) {
    if (!block_.grow_to(capacity)) throw std::bad_alloc();  // ends as MemoryError at the module boundary
    data_ = block_.data();
    capacity_ = block_.capacity();
  }

  void write_f32(float value);

  // Where a remembered piece lies in the document, and what it counted.
  struct Piece {
    const void* text = nullptr;
    std::size_t text_size = 0;
    std::uint32_t number = 0;
    std::size_t from = 0;
    std::size_t length = 0;  // 0: nothing remembered
    std::size_t continuation_bytes = 0;
  };
  [[nodiscard]] Piece start_piece(const void* text, std::size_t text_size, std::uint32_t number) const {
    return Piece{text, text_size, number, size_, 0, count_.continuation_bytes};
  }
  [[nodiscard]] Piece end_piece(Piece piece) const {
    piece.length = size_ - piece.from;
    piece.continuation_bytes = count_.continuation_bytes - piece.continuation_bytes;
    return piece;
  }
  // What `repeated` does, remembering the piece in `last`: one slot for each kind of piece, as
  // kinds alternate within a record and would otherwise keep pushing each other out.
  template <typename Write>
  void repeated_in(Piece& last, const void* text, std::size_t text_size, std::uint32_t number, Write&& write) {
    if (text == last.text && text_size == last.text_size && number == last.number && last.length != 0) {
      copy_again(last);
#if defined(VESK_CHECK_INVARIANTS)
      JsonBuffer fresh;
      write(fresh);
      VESK_INVARIANT(fresh.view() == view().substr(size_ - last.length),
                     "a repeated piece's text changed while the document was written");
#endif
      return;
    }
    const Piece piece = start_piece(text, text_size, number);
    write(*this);
    last = end_piece(piece);
  }
  // The piece's bytes once more at the end; they lie wholly before it, so the copy does not overlap.
  void copy_again(const Piece& piece) {
    make_room(piece.length);
    __builtin_memcpy(data_ + size_, data_ + piece.from, piece.length);
    size_ += piece.length;
    count_.continuation_bytes += piece.continuation_bytes;
  }

  detect::LargeBlock block_;
  char* data_ = nullptr;  // block_.data(), kept beside the size for the hot appends
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  CodePointCount count_;
  Piece last_piece_;
  Piece last_float_;  // keyed by the float's bits: confidences repeat (one per pattern pack)
};

}  // namespace vesk
