// Token kinds of the Python lexer. They are public because a syntax error names the token it
// expected and the one it found (`ExpectedToken { expected: Colon, found: Newline }`); the token
// buffer itself is private to the parser.
#pragma once

#include <cstdint>
#include <string_view>

namespace pysyntax {

enum class TokenKind : uint8_t {
#define PYSYNTAX_TOKEN(name, spelling) name,
#include "pysyntax/token_kinds.def"
};

/// The CamelCase debug name of a token kind ("Colon", "Newline", "Name").
std::string_view token_kind_name(TokenKind kind);

/// The source spelling of a keyword or punctuation token (":" for Colon, "def" for Def), or a
/// short description for the others ("name", "string").
std::string_view token_kind_spelling(TokenKind kind);

/// Whether the kind is one of the hard keywords (`def`, `True`, `await`, ...).
constexpr bool is_keyword(TokenKind kind) {
  return kind >= TokenKind::False && kind <= TokenKind::Yield;
}

}  // namespace pysyntax
