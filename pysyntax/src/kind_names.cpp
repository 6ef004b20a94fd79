// Debug names of token, node and error kinds, and operator spellings, generated from the `.def`
// lists so that no kind can lack a name.
#include <string>

#include "literals/literals.h"
#include "pysyntax/ast.h"
#include "pysyntax/parse.h"
#include "pysyntax/token.h"

namespace pysyntax {
namespace {

template <size_t N>
std::string_view lookup(const std::string_view (&table)[N], size_t index) {
  return index < N ? table[index] : std::string_view("?");
}

constexpr std::string_view kTokenNames[] = {
#define PYSYNTAX_TOKEN(name, spelling) #name,
#include "pysyntax/token_kinds.def"
};
constexpr std::string_view kTokenSpellings[] = {
#define PYSYNTAX_TOKEN(name, spelling) spelling,
#include "pysyntax/token_kinds.def"
};
constexpr std::string_view kExprNames[] = {
#define PYSYNTAX_EXPR(name) #name,
#include "pysyntax/ast_kinds.def"
};
constexpr std::string_view kStmtNames[] = {
#define PYSYNTAX_STMT(name) #name,
#include "pysyntax/ast_kinds.def"
};
constexpr std::string_view kPatternNames[] = {
#define PYSYNTAX_PATTERN(name) #name,
#include "pysyntax/ast_kinds.def"
};
constexpr std::string_view kLexicalNames[] = {
#define PYSYNTAX_LEXICAL(name) #name,
#include "pysyntax/error_kinds.def"
};
constexpr std::string_view kSyntaxNames[] = {
#define PYSYNTAX_SYNTAX(name, details) #name,
#include "pysyntax/error_kinds.def"
};

enum class Details { None, Lexical, ExpectedFound, Found, StringError };
constexpr Details kSyntaxDetails[] = {
#define PYSYNTAX_SYNTAX(name, details) Details::details,
#include "pysyntax/error_kinds.def"
};

}  // namespace

std::string_view token_kind_name(TokenKind kind) { return lookup(kTokenNames, size_t(kind)); }
std::string_view token_kind_spelling(TokenKind kind) { return lookup(kTokenSpellings, size_t(kind)); }
std::string_view expr_kind_name(ExprKind kind) { return lookup(kExprNames, size_t(kind)); }
std::string_view stmt_kind_name(StmtKind kind) { return lookup(kStmtNames, size_t(kind)); }
std::string_view pattern_kind_name(PatternKind kind) { return lookup(kPatternNames, size_t(kind)); }
std::string_view lexical_error_kind_name(LexicalErrorKind kind) { return lookup(kLexicalNames, size_t(kind)); }
std::string_view parse_error_kind_name(ParseErrorKind kind) { return lookup(kSyntaxNames, size_t(kind)); }

std::string error_debug_text(const ParseError& error) {
  std::string text(parse_error_kind_name(error.kind));
  const size_t index = size_t(error.kind);
  const Details details = index < std::size(kSyntaxDetails) ? kSyntaxDetails[index] : Details::None;
  switch (details) {
    case Details::None:
      break;
    case Details::Lexical:
      text += '(';
      text += lexical_error_kind_name(error.lexical);
      text += ')';
      break;
    case Details::ExpectedFound:
      text += " { expected: ";
      text += token_kind_name(error.expected);
      text += ", found: ";
      text += token_kind_name(error.found);
      text += " }";
      break;
    case Details::Found:
      text += " { found: ";
      text += token_kind_name(error.found);
      text += " }";
      break;
    case Details::StringError:
      text += '(';
      text += literals::string_error_name(literals::StringErrorKind(error.string_error));
      text += ')';
      break;
  }
  return text;
}

std::string_view operator_spelling(BoolOperator op) { return op == BoolOperator::And ? "and" : "or"; }

std::string_view operator_spelling(BinaryOperator op) {
  constexpr std::string_view kSpellings[] = {"+", "-", "*", "@", "/", "%", "**", "<<", ">>", "|", "^", "&", "//"};
  return lookup(kSpellings, size_t(op));
}

std::string_view operator_spelling(UnaryOperator op) {
  constexpr std::string_view kSpellings[] = {"~", "not", "+", "-"};
  return lookup(kSpellings, size_t(op));
}

std::string_view operator_spelling(CompareOperator op) {
  constexpr std::string_view kSpellings[] = {"==", "!=", "<", "<=", ">", ">=", "is", "is not", "in", "not in"};
  return lookup(kSpellings, size_t(op));
}

}  // namespace pysyntax
