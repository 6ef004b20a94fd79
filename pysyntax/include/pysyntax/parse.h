// Entry point of the parser: the UTF-8 text of one module in, its syntax tree or its first error
// out. The parser accepts exactly what CPython 3.13's `ast.parse` accepts, plus template strings
// (`t"..."`) and unparenthesised `except A, B:`. Compile-time checks of CPython (`return` outside
// a function, `nonlocal` at module level) are not parse errors.
//
//   pysyntax::Arena arena;
//   pysyntax::ParseResult result = pysyntax::parse_module(text, arena);
//   if (!result.ok()) print(pysyntax::error_debug_text(*result.error), result.error->range);
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "pysyntax/arena.h"
#include "pysyntax/ast.h"
#include "pysyntax/token.h"

namespace pysyntax {

enum class LexicalErrorKind : uint8_t {
#define PYSYNTAX_LEXICAL(name) name,
#include "pysyntax/error_kinds.def"
};

enum class ParseErrorKind : uint8_t {
#define PYSYNTAX_SYNTAX(name, details) name,
#include "pysyntax/error_kinds.def"
};

/// One error: its kind, its byte range, and the details the kind carries.
struct ParseError {
  ParseErrorKind kind = ParseErrorKind::UnexpectedToken;
  Range range;
  LexicalErrorKind lexical = LexicalErrorKind::InvalidCharacter;  ///< for Lexical
  TokenKind expected = TokenKind::EndOfFile;                      ///< for ExpectedToken
  TokenKind found = TokenKind::EndOfFile;                         ///< for ExpectedToken and the `Found` kinds
  uint8_t string_error = 0;  ///< for InvalidStringLiteral: the literal decoder's error kind
};

/// The CamelCase name of a kind alone ("ExpectedToken", "UnterminatedString").
std::string_view parse_error_kind_name(ParseErrorKind kind);
std::string_view lexical_error_kind_name(LexicalErrorKind kind);

/// The debug text of an error's kind with its details: "Lexical(UnterminatedString)",
/// "ExpectedToken { expected: Colon, found: Newline }", "UnexpectedToken { found: Name }",
/// "InvalidStringLiteral(UnknownUnicodeName)", "UnexpectedIndentation".
std::string error_debug_text(const ParseError& error);

/// Nesting bounds. CPython's own: open brackets, indentation levels (the unindented one
/// included) and f-strings nested in one another (so at most 149). The parser's own: the height
/// of an expression tree (a leaf is 1 high), and the depth of its recursion, which counts every
/// block, bracketed display, argument list, subscript, f-string, replacement field, prefix
/// operator, `**`, starred target, pattern and expression (but a lone name or literal) that a
/// construct stands in. Any text the parser accepts, and the recursive walks of its tree, fit in
/// a 1 MiB stack (release build; ASan's frames are about four times larger).
inline constexpr uint32_t kMaxBracketDepth = 200;
inline constexpr uint32_t kMaxIndentationLevels = 100;
inline constexpr uint32_t kMaxFStringNesting = 150;
inline constexpr uint32_t kMaxExpressionHeight = 1000;
inline constexpr uint32_t kMaxNestingDepth = 1000;

/// The module, or the first error by start offset (a lexical error wins over a syntax error at
/// the same offset).
struct [[nodiscard]] ParseResult {
  const Module* module = nullptr;    ///< set when there is no error
  std::optional<ParseError> error;   ///< set when the text is not valid Python
  bool ok() const { return !error.has_value(); }
};

/// Parses one module. `text` is UTF-8 (the caller guarantees it); a leading U+FEFF is skipped
/// while offsets still count from the start of `text`. The tree lives in `arena` and points into
/// `text`: both must outlive it.
ParseResult parse_module(std::string_view text, Arena& arena);

}  // namespace pysyntax
