// The lexer's output: one flat array of 12-byte token handles over the borrowed source text.
// No token copies its text; the parser reads it back through the offsets.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <utility>

#include "pysyntax/ast.h"
#include "pysyntax/parse.h"
#include "pysyntax/token.h"

namespace pysyntax::lexer {

/// Bits of `Token::flags` for names; strings and f-string tokens carry `StringFlags` bits.
constexpr uint8_t kNameNonAscii = 1 << 0;  ///< the name has non-ASCII characters (NFKC may change it)
/// A String token's body holds no backslash and no carriage return, so a text literal's value is
/// the body itself. The lexer's own bit, above the `StringFlags` ones; the tree never carries it.
constexpr uint8_t kStringPlainBody = 1 << 7;

/// A byte of a token that is no character type: a store of a character type may change any
/// object, so with `uint8_t` fields every token written would make the lexer reload its state.
enum TokenByte : uint8_t {};

struct Token {
  TokenKind kind;
  TokenByte flags;         ///< kind-specific bits (see above)
  TokenByte prefix_len;    ///< String and FStringStart: length of the prefix letters
  TokenByte in_specifier;  ///< FStringMiddle: the text is part of a format specifier
  uint32_t start;          ///< offset of the first byte
  uint32_t end;            ///< offset one past the last byte

  Range range() const { return {start, end}; }
};
static_assert(sizeof(Token) == 12);

struct LexicalError {
  LexicalErrorKind kind;
  Range range;
};

/// The token array: the lexer appends to it, the parser reads it. Room is reserved from the
/// source size, so growth is rare; the append is small enough to inline at every emit, and
/// growth from empty copies nothing.
class TokenStore {
 public:
  TokenStore() = default;
  TokenStore(TokenStore&& other) noexcept { swap(other); }
  TokenStore& operator=(TokenStore&& other) noexcept {
    TokenStore moved(std::move(other));
    swap(moved);
    return *this;
  }
  TokenStore(const TokenStore&) = delete;
  TokenStore& operator=(const TokenStore&) = delete;
  ~TokenStore() { std::free(data_); }

  void push_back(const Token& token) {
    if (size_ == capacity_) [[unlikely]] grow(size_ + 1);
    data_[size_++] = token;
  }
  void reserve(size_t capacity) {
    if (capacity > capacity_) grow(capacity);
  }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const Token& operator[](size_t i) const { return data_[i]; }
  const Token& back() const { return data_[size_ - 1]; }
  const Token* begin() const { return data_; }
  const Token* end() const { return data_ + size_; }

 private:
  /// At least `needed` tokens of room, doubling; std::bad_alloc when the system refuses.
  void grow(size_t needed);
  void swap(TokenStore& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }

  Token* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

struct TokenBuffer {
  /// The tokens; always ends with EndOfFile (at the error's offset when there is an error).
  TokenStore tokens;
  /// The first lexical error; tokens stop where it starts.
  std::optional<LexicalError> error;
};

/// Splits `text` into tokens. A leading UTF-8 BOM is skipped; offsets count from the start of
/// `text`. Comments and line breaks inside brackets give no tokens; every logical line ends in a
/// Newline token (also the last one, whether or not the text ends with a line break), and
/// Indent/Dedent tokens are zero-width at the first token of their line.
TokenBuffer tokenize(std::string_view text);

}  // namespace pysyntax::lexer
