// Every syntax error kind the parser reports, with its debug text and range start, and the
// rule that the first error by offset wins (a lexical one on a tie).
#include <gtest/gtest.h>

#include <string>

#include "pysyntax/parse.h"

namespace pysyntax {
namespace {

struct Case {
  std::string text;
  const char* debug;  // error_debug_text
  uint32_t start;
};

void expect_errors(std::initializer_list<Case> cases) {
  for (const Case& c : cases) {
    Arena arena;
    ParseResult result = parse_module(c.text, arena);
    ASSERT_FALSE(result.ok()) << c.text;
    EXPECT_EQ(error_debug_text(*result.error), c.debug) << c.text;
    EXPECT_EQ(result.error->range.start, c.start) << c.text;
    EXPECT_LE(result.error->range.start, result.error->range.end) << c.text;
    EXPECT_LE(result.error->range.end, c.text.size()) << c.text;
  }
}

TEST(ParserErrors, StructureAndTokens) {
  expect_errors({
      {"if x\n  pass\n", "ExpectedToken { expected: Colon, found: Newline }", 4},
      {"x = (1 2)", "ExpectedToken { expected: RightParen, found: Int }", 7},
      {"x = ", "ExpectedExpression { found: Newline }", 4},
      {"x = 1;;", "ExpectedExpression { found: Semicolon }", 6},
      {" x = 1", "UnexpectedIndentation", 1},
      {"if x:\npass", "ExpectedIndentedBlock", 6},
      {"if x: if y: pass", "ExpectedExpression { found: If }", 6},
      {"try:\n  pass\n", "MissingExceptOrFinally", 12},
      {"try:\n  pass\nexcept* A:\n  pass\nexcept B:\n  pass", "MixedExceptStar", 30},
      {"try:\n  pass\nexcept A, B as e:\n  pass", "UnexpectedToken { found: As }", 24},
      {"from x import a,", "TrailingCommaInImport", 15},
      {"x = [1, 2", "Lexical(UnclosedBracket)", 4},
  });
}

TEST(ParserErrors, Targets) {
  expect_errors({
      {"f() = 1", "InvalidAssignmentTarget", 0},
      {"x = 1 = 2", "InvalidAssignmentTarget", 4},
      {"for 1 in x: pass", "InvalidAssignmentTarget", 4},
      {"for * *a in x: pass", "InvalidAssignmentTarget", 4},
      {"with a as f(): pass", "InvalidAssignmentTarget", 10},
      {"[x for 1 in y]", "InvalidAssignmentTarget", 7},
      {"(a, b) += 1", "InvalidAugmentedAssignmentTarget", 0},
      {"a, b: int", "InvalidAnnotatedAssignmentTarget", 0},
      // A statement opening with a parenthesised name, attribute or subscript needs the `:`
      // right after its `)`.
      {"(f).x: int", "InvalidAnnotatedAssignmentTarget", 0},
      {"(f)[0]: int = 1", "InvalidAnnotatedAssignmentTarget", 0},
      {"((f)).x: int", "InvalidAnnotatedAssignmentTarget", 0},
      {"(f.g[0]).x: int", "InvalidAnnotatedAssignmentTarget", 0},
      {"((f).y).x: int", "InvalidAnnotatedAssignmentTarget", 0},
      {"(f)(g).x: int", "InvalidAnnotatedAssignmentTarget", 0},
      {"x = 1; (f) .x: int", "InvalidAnnotatedAssignmentTarget", 7},
      {"del *a", "InvalidDeleteTarget", 4},
      {"del f()", "InvalidDeleteTarget", 4},
      {"(a.b := 1)", "InvalidNamedExpressionTarget", 1},
      {"a := 1", "ExpectedToken { expected: Newline, found: ColonEqual }", 2},
      {"(*a)", "InvalidStarredExpression", 1},
      {"x = **a", "InvalidDoubleStarredExpression", 4},
  });
}

TEST(ParserErrors, ArgumentsAndParameters) {
  expect_errors({
      {"f(a=1, b)", "PositionalAfterKeywordArgument", 7},
      {"f(**a, b)", "PositionalAfterKeywordUnpacking", 7},
      {"f(**a, *b)", "IterableUnpackingAfterKeywordUnpacking", 7},
      {"f(a.b=1)", "InvalidKeywordArgument", 2},
      {"f(x for x in y, z)", "UnparenthesizedGenerator", 2},
      {"f(z, x for x in y)", "UnparenthesizedGenerator", 5},
      {"class A(x for x in y): pass", "UnparenthesizedGenerator", 7},
      {"def f(a=1, b): pass", "NonDefaultParameterAfterDefault", 11},
      {"def f(*): pass", "InvalidParameterList", 6},
      {"def f(*, **k): pass", "InvalidParameterList", 6},
      {"def f(/, a): pass", "InvalidParameterList", 6},
      {"def f(**k, a): pass", "InvalidParameterList", 11},
      {"def f[](): pass", "ExpectedExpression { found: RightBracket }", 6},
      {"lambda *: 1", "InvalidParameterList", 7},
  });
}

TEST(ParserErrors, Literals) {
  expect_errors({
      {"'a' b'c'", "MixedBytesAndNonBytes", 0},
      {"f'a' b'c'", "MixedBytesAndNonBytes", 0},
      {"t'a' 'b'", "MixedTemplateAndNonTemplate", 0},
      {"t'a' f'b'", "MixedTemplateAndNonTemplate", 0},
      {"x = '\\N{NOPE}'", "InvalidStringLiteral(UnknownCharacterName)", 5},
      {"x = '\\x1'", "InvalidStringLiteral(TruncatedHexEscape)", 5},
      {"b'\xC3\xA9'", "InvalidStringLiteral(NonAsciiInBytes)", 2},
      {"f'{}'", "FStringEmptyExpression", 3},
      {"f'{!r}'", "FStringEmptyExpression", 3},
      {"f'{x!z}'", "FStringInvalidConversion", 5},
      {"f'{x! r}'", "FStringInvalidConversion", 4},
      {"f'{x!r=}'", "ExpectedToken { expected: RightBrace, found: Equal }", 6},
      {"f'{lambda x: 1}'", "FStringUnparenthesizedLambda", 3},
      {"f'{x # c}'", "Lexical(FStringUnclosedBrace)", 0},
      // After a field in a format specifier `{{` is an escaped brace, so the specifier's `}}`
      // closes the field and leaves a lone `}`.
      {"f'{x:{{}}{{}}{h}}'", "Lexical(FStringSingleRightBrace)", 12},
      {"t'{x:{a}{{}}{h}}'", "Lexical(FStringSingleRightBrace)", 11},
      // A line break in a single-quoted format specifier ends the f-string once a field opened
      // in the specifier, and otherwise only the specifier, back in the field.
      {"f'{x:{a}\n}'", "Lexical(UnterminatedFString)", 0},
      {"f'{x:t\ndef}'", "ExpectedToken { expected: RightBrace, found: Def }", 7},
  });
}

TEST(ParserErrors, Patterns) {
  expect_errors({
      {"match x:\n case 1+1: pass", "InvalidPattern", 15},
      {"match x:\n case *a: pass", "InvalidPattern", 15},
      {"match x:\n case A(x=1, y): pass", "InvalidPattern", 22},
      {"match x:\n case _ as _: pass", "InvalidPattern", 20},
      {"match x:\n case {a: 1}: pass", "InvalidPattern", 16},
      {"match x:\n case {**_}: pass", "InvalidPattern", 18},
      {"match x:\n case +1: pass", "ExpectedPattern { found: Plus }", 15},
  });
}

TEST(ParserErrors, FirstErrorByOffsetAndLexicalWinsTies) {
  expect_errors({
      // The unterminated string at 4 comes before the syntax error the parser would meet later.
      {"x = 'abc\ny = )", "Lexical(UnterminatedString)", 4},
      // A syntax error before the lexical one is the first error.
      {"x = = 1\ny = 'abc", "ExpectedExpression { found: Equal }", 4},
      // At the same offset the lexical error is kept.
      {"x = $", "Lexical(InvalidCharacter)", 4},
      // The tokens end at a lexical error; a generator argument cut off there is not blamed.
      {"f(x for x in y $", "Lexical(InvalidCharacter)", 15},
  });
}

TEST(ParserErrors, NestingBound) {
  auto unary = [](size_t n) { return std::string(n, '-') + "x"; };
  auto chain = [](size_t n) {
    std::string s = "x";
    for (size_t i = 0; i < n; ++i) s += "+x";
    return s;
  };
  auto calls = [](size_t n) {
    std::string s = "f";
    for (size_t i = 0; i < n; ++i) s += "()";
    return s;
  };
  for (auto make : {+unary, +chain, +calls}) {
    Arena arena;
    EXPECT_TRUE(parse_module(make(kMaxExpressionHeight - 2), arena).ok());
    ParseResult over = parse_module(make(kMaxExpressionHeight + 1), arena);
    ASSERT_FALSE(over.ok());
    EXPECT_EQ(error_debug_text(*over.error), "NestingTooDeep");
  }
  // A node is one higher than its tallest child, whichever child that is: each wrapper below
  // holds a chain one short of the bound in a child other than its first, and stands at the
  // bound; one attribute more is over it.
  const std::string tall = chain(kMaxExpressionHeight - 2);
  for (const std::string& wrapped : {"f(x, " + tall + ")", "f(x, k=" + tall + ")", "(x, " + tall + ")",
                                     "[x, " + tall + "]", "{x, " + tall + "}", "(x < y < " + tall + ")",
                                     "(x or " + tall + ")"}) {
    Arena arena;
    EXPECT_TRUE(parse_module(wrapped, arena).ok()) << wrapped.substr(0, 12);
    ParseResult over = parse_module(wrapped + ".a", arena);
    ASSERT_FALSE(over.ok()) << wrapped.substr(0, 12);
    EXPECT_EQ(error_debug_text(*over.error), "NestingTooDeep") << wrapped.substr(0, 12);
  }
  // Far beyond the bound the parser stops in an orderly way, also for left-deep chains.
  Arena arena;
  EXPECT_EQ(parse_module(chain(200000), arena).error->kind, ParseErrorKind::NestingTooDeep);
  EXPECT_EQ(parse_module(unary(200000), arena).error->kind, ParseErrorKind::NestingTooDeep);
  EXPECT_EQ(parse_module(std::string(100000, '[') , arena).error->kind, ParseErrorKind::Lexical);
}

}  // namespace
}  // namespace pysyntax
