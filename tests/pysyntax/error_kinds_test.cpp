// Every error kind has its own CamelCase debug name, and the details print in the forms the
// project walk's message quotes.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "literals/literals.h"
#include "pysyntax/parse.h"

namespace pysyntax {
namespace {

bool is_camel_case(std::string_view name) {
  if (name.empty() || !(name[0] >= 'A' && name[0] <= 'Z')) return false;
  for (char c : name)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  return true;
}

TEST(ErrorKinds, EveryKindHasItsOwnCamelCaseName) {
  std::set<std::string_view> names;
#define PYSYNTAX_LEXICAL(name)                                               \
  EXPECT_EQ(lexical_error_kind_name(LexicalErrorKind::name), #name);         \
  EXPECT_TRUE(is_camel_case(#name)) << #name;                                \
  EXPECT_TRUE(names.insert(#name).second) << #name;
#include "pysyntax/error_kinds.def"
  std::set<std::string_view> syntax_names;
#define PYSYNTAX_SYNTAX(name, details)                                       \
  EXPECT_EQ(parse_error_kind_name(ParseErrorKind::name), #name);             \
  EXPECT_TRUE(is_camel_case(#name)) << #name;                                \
  EXPECT_TRUE(syntax_names.insert(#name).second) << #name;
#include "pysyntax/error_kinds.def"
#define PYSYNTAX_TOKEN(name, spelling) EXPECT_EQ(token_kind_name(TokenKind::name), #name);
#include "pysyntax/token_kinds.def"
}

TEST(ErrorKinds, DebugTextShowsTheDetails) {
  ParseError lexical;
  lexical.kind = ParseErrorKind::Lexical;
  lexical.lexical = LexicalErrorKind::UnterminatedString;
  ParseError expected;
  expected.kind = ParseErrorKind::ExpectedToken;
  expected.expected = TokenKind::Colon;
  expected.found = TokenKind::Newline;
  ParseError found;
  found.kind = ParseErrorKind::UnexpectedToken;
  found.found = TokenKind::RightParen;
  ParseError bare;
  bare.kind = ParseErrorKind::UnexpectedIndentation;
  ParseError string;
  string.kind = ParseErrorKind::InvalidStringLiteral;
  string.string_error = uint8_t(literals::StringErrorKind::TruncatedHexEscape);

  EXPECT_EQ(error_debug_text(lexical), "Lexical(UnterminatedString)");
  EXPECT_EQ(error_debug_text(expected), "ExpectedToken { expected: Colon, found: Newline }");
  EXPECT_EQ(error_debug_text(found), "UnexpectedToken { found: RightParen }");
  EXPECT_EQ(error_debug_text(bare), "UnexpectedIndentation");
  EXPECT_EQ(error_debug_text(string), "InvalidStringLiteral(TruncatedHexEscape)");
}

}  // namespace
}  // namespace pysyntax
