// The lexer's output: one flat vector of 12-byte token handles over the borrowed source text.
// No token copies its text; the parser reads it back through the offsets.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "pysyntax/ast.h"
#include "pysyntax/parse.h"
#include "pysyntax/token.h"

namespace pysyntax::lexer {

/// Bits of `Token::flags` for names; strings and f-string tokens carry `StringFlags` bits.
constexpr uint8_t kNameNonAscii = 1 << 0;  ///< the name has non-ASCII characters (NFKC may change it)

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

struct TokenBuffer {
  /// The tokens; always ends with EndOfFile (at the error's offset when there is an error).
  std::vector<Token> tokens;
  /// The first lexical error; tokens stop where it starts.
  std::optional<LexicalError> error;
};

/// Splits `text` into tokens. A leading UTF-8 BOM is skipped; offsets count from the start of
/// `text`. Comments and line breaks inside brackets give no tokens; every logical line ends in a
/// Newline token (also the last one, whether or not the text ends with a line break), and
/// Indent/Dedent tokens are zero-width at the first token of their line.
TokenBuffer tokenize(std::string_view text);

}  // namespace pysyntax::lexer
