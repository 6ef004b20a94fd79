// The lexer on inline tables: token kinds of small inputs (indentation, continuation, brackets,
// numbers, strings, f-string modes) and the lexical errors with their offsets.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "lexer/token_buffer.h"

namespace pysyntax::lexer {
namespace {

std::string kinds_of(std::string_view text) {
  TokenBuffer buffer = tokenize(text);
  std::string out;
  for (const Token& t : buffer.tokens) {
    if (!out.empty()) out += ' ';
    out += token_kind_name(t.kind);
  }
  if (buffer.error) out += " !" + std::string(lexical_error_kind_name(buffer.error->kind));
  return out;
}

TEST(Lexer, TokenKinds) {
  struct Case {
    const char* text;
    const char* kinds;
  };
  const Case cases[] = {
      {"", "EndOfFile"},
      {"x", "Name Newline EndOfFile"},
      {"x\n", "Name Newline EndOfFile"},
      {"if x:\n  y\nz\n", "If Name Colon Newline Indent Name Newline Dedent Name Newline EndOfFile"},
      {"if x:\n  y", "If Name Colon Newline Indent Name Newline Dedent EndOfFile"},
      // Blank and comment-only lines do not count, whatever their indentation.
      {"a\n    # c\n\n  \nb", "Name Newline Name Newline EndOfFile"},
      // Brackets join lines; a backslash joins them outside brackets.
      {"(a,\n b)", "LeftParen Name Comma Name RightParen Newline EndOfFile"},
      {"a = 1 \\\n + 2", "Name Equal Int Plus Int Newline EndOfFile"},
      {"a\r\nb\rc", "Name Newline Name Newline Name Newline EndOfFile"},
      // A form feed resets the column; tabs go to multiples of eight.
      {"if x:\n\f  y", "If Name Colon Newline Indent Name Newline Dedent EndOfFile"},
      {"if x:\n\ty\n        z", "If Name Colon Newline Indent Name Newline EndOfFile !InconsistentTabs"},
      {"**= //= >>= <<= -> := ... != !", "DoubleStarEqual DoubleSlashEqual RightShiftEqual LeftShiftEqual Arrow "
                                       "ColonEqual Ellipsis NotEqual Exclamation Newline EndOfFile"},
      {"match case type _ async", "Name Name Name Name Async Newline EndOfFile"},
      // Numbers: keywords may follow directly, as in CPython.
      {"1if x else 2", "Int If Name Else Int Newline EndOfFile"},
      {"0x1for", "Int Or Newline EndOfFile"},
      {"1.e5 .5 1_0.0_1j 0j 09.5 00 0_0 1else", "Float Float Complex Complex Float Int Int Int Else Newline EndOfFile"},
      {"1..x", "Float Dot Name Newline EndOfFile"},
      {"rb'a' BR\"b\" u'c' '''d\n''' x'e'", "String String String String Name String Newline EndOfFile"},
      {"'a\\\nb'", "String Newline EndOfFile"},
      {"f'a{b!r:>{w}}c'", "FStringStart FStringMiddle LeftBrace Name Exclamation Name Colon FStringMiddle LeftBrace "
                          "Name RightBrace RightBrace FStringMiddle FStringEnd Newline EndOfFile"},
      {"f'{{}}'", "FStringStart FStringMiddle FStringEnd Newline EndOfFile"},
      {"f'{x:=5}'", "FStringStart LeftBrace Name Colon FStringMiddle RightBrace FStringEnd Newline EndOfFile"},
      {"f'{(x:=5)}'", "FStringStart LeftBrace LeftParen Name ColonEqual Int RightParen RightBrace FStringEnd Newline EndOfFile"},
      // Quotes may be reused inside a field; `\N{...}` is no field.
      {"f'{'a'}' f'\\N{DASH}'", "FStringStart LeftBrace String RightBrace FStringEnd FStringStart FStringMiddle "
                                 "FStringEnd Newline EndOfFile"},
      {"t'{x=}'", "FStringStart LeftBrace Name Equal RightBrace FStringEnd Newline EndOfFile"},
      {"\xEF\xBB\xBFx", "Name Newline EndOfFile"},
  };
  for (const Case& c : cases) EXPECT_EQ(kinds_of(c.text), c.kinds) << c.text;
}

TEST(Lexer, EveryKeywordAndNoNearMiss) {
#define PYSYNTAX_KEYWORD(name, spelling)                                                          \
  EXPECT_EQ(tokenize(spelling).tokens[0].kind, TokenKind::name) << spelling;                     \
  EXPECT_EQ(tokenize(spelling "x").tokens[0].kind, TokenKind::Name) << spelling;                 \
  EXPECT_EQ(tokenize(std::string(spelling).substr(1)).tokens[0].kind == TokenKind::name, false); \
  EXPECT_EQ(tokenize(std::string(spelling).substr(0, sizeof(spelling) - 2)).tokens[0].kind == TokenKind::name, false);
#include "pysyntax/token_kinds.def"
  for (std::string_view near : {"el", "iff", "a", "defx", "Nonee", "nonloca", "i", "elsee", "ass"}) {
    // A heap block of exactly the word, so that ASan sees any read past its end.
    std::unique_ptr<char[]> copy(new char[near.size()]);
    std::memcpy(copy.get(), near.data(), near.size());
    EXPECT_EQ(tokenize(std::string_view(copy.get(), near.size())).tokens[0].kind, TokenKind::Name) << near;
  }
}

// Names are scanned a block of bytes at a time: every length around the block size, ended by
// each byte next to the name bytes in ASCII order or by the end of the text (in a heap block of
// exactly the text, for ASan), with and without a non-ASCII letter at varying places.
TEST(Lexer, NameEndsAtTheFirstByteOutsideIt) {
  for (size_t length = 1; length <= 40; ++length) {
    for (const bool accent : {false, true}) {
      std::string name = "a";
      for (size_t i = 1; i < length; ++i) name += "zZ_09aA"[i % 7];
      if (accent) name.insert(length / 2, "\xC3\xA9");  // é
      for (std::string_view ender : {"", " ", "@", "[", "`", "{", "/", ":", "(", ".", "\x7F"}) {
        const std::string text = name + std::string(ender);
        std::unique_ptr<char[]> copy(new char[text.size()]);
        std::memcpy(copy.get(), text.data(), text.size());
        const TokenBuffer buffer = tokenize(std::string_view(copy.get(), text.size()));
        const Token& first = buffer.tokens[0];
        EXPECT_EQ(first.kind, TokenKind::Name) << text;
        EXPECT_EQ(first.end, name.size()) << text;
        EXPECT_EQ((first.flags & kNameNonAscii) != 0, accent) << text;
      }
    }
  }
}

TEST(Lexer, LastTokenIsEndOfFileAtTheEnd) {
  for (std::string_view text : {"x = 1\n", "def f():\n  pass", "\xEF\xBB\xBF# only a comment"}) {
    TokenBuffer buffer = tokenize(text);
    ASSERT_FALSE(buffer.error);
    EXPECT_EQ(buffer.tokens.back().kind, TokenKind::EndOfFile);
    EXPECT_EQ(buffer.tokens.back().start, text.size());
  }
}

// One token a byte is more than the room reserved from the source size: the array grows many
// times over and must keep every token, in order, with its offsets.
TEST(Lexer, DenseTokensOutgrowTheReservedRoom) {
  std::string text = "x=";
  for (int i = 0; i < 50000; ++i) text += "a,";
  TokenBuffer buffer = tokenize(text);
  ASSERT_FALSE(buffer.error);
  ASSERT_EQ(buffer.tokens.size(), 2u + 2 * 50000 + 2);
  for (size_t i = 2; i < buffer.tokens.size() - 2; ++i) {
    const Token& t = buffer.tokens[i];
    ASSERT_EQ(t.kind, i % 2 == 0 ? TokenKind::Name : TokenKind::Comma) << i;
    ASSERT_EQ(t.start, i) << i;
    ASSERT_EQ(t.end, i + 1) << i;
  }
  EXPECT_EQ(buffer.tokens.back().kind, TokenKind::EndOfFile);
  EXPECT_EQ(buffer.tokens.back().start, text.size());
}

TEST(Lexer, OffsetsCountTheByteOrderMark) {
  TokenBuffer buffer = tokenize("\xEF\xBB\xBF" "ab = 1");
  ASSERT_EQ(buffer.tokens[0].kind, TokenKind::Name);
  EXPECT_EQ(buffer.tokens[0].start, 3u);
  EXPECT_EQ(buffer.tokens[0].end, 5u);
}

TEST(Lexer, Errors) {
  struct Case {
    std::string text;
    LexicalErrorKind kind;
    uint32_t start;
  };
  const Case cases[] = {
      {"x = 'abc\n", LexicalErrorKind::UnterminatedString, 4},
      {"x = '''abc", LexicalErrorKind::UnterminatedTripleQuotedString, 4},
      {"'''\\", LexicalErrorKind::UnterminatedTripleQuotedString, 0},  // the escape steps past the end
      {"'\\", LexicalErrorKind::UnterminatedString, 0},
      {"x = f'abc", LexicalErrorKind::UnterminatedFString, 4},
      {"f'a}'", LexicalErrorKind::FStringSingleRightBrace, 3},
      {"f'{x:}}'", LexicalErrorKind::FStringSingleRightBrace, 6},
      {"f'{x:abc'", LexicalErrorKind::FStringUnclosedBrace, 8},
      {"f'{a:{b:{c:{d}}}}'", LexicalErrorKind::FStringNestedTooDeeply, 11},
      {"x = $", LexicalErrorKind::InvalidCharacter, 4},
      {"a\xE2\x82\xAC = 1", LexicalErrorKind::InvalidCharacter, 1},
      {"1_", LexicalErrorKind::InvalidNumber, 0},
      {"1__0", LexicalErrorKind::InvalidNumber, 0},
      {"0x", LexicalErrorKind::InvalidNumber, 0},
      {"1e", LexicalErrorKind::InvalidNumber, 0},
      {"1e+", LexicalErrorKind::InvalidNumber, 0},
      {"1abc", LexicalErrorKind::InvalidNumber, 0},
      {"0777", LexicalErrorKind::LeadingZeros, 0},
      {"0_7", LexicalErrorKind::LeadingZeros, 0},
      {"0b102", LexicalErrorKind::InvalidDigit, 0},
      {"0o8", LexicalErrorKind::InvalidDigit, 0},
      {"x = 1 \\ + 2", LexicalErrorKind::LineContinuation, 6},
      {"x\\", LexicalErrorKind::EofAfterLineContinuation, 1},
      {"x = 1 \\\n", LexicalErrorKind::EofAfterLineContinuation, 8},
      {std::string("x = 1\0", 6), LexicalErrorKind::NulCharacter, 5},
      {"if x:\n  a\n b", LexicalErrorKind::InconsistentDedent, 11},
      {"if x:\n  \ta\n\t  b", LexicalErrorKind::InconsistentTabs, 14},
      {"(]", LexicalErrorKind::MismatchedBracket, 1},
      {")", LexicalErrorKind::UnmatchedBracket, 0},
      {"x = (1,\n2", LexicalErrorKind::UnclosedBracket, 4},
      {std::string(201, '(') + std::string(201, ')'), LexicalErrorKind::TooManyNestedBrackets, 200},
  };
  for (const Case& c : cases) {
    TokenBuffer buffer = tokenize(c.text);
    ASSERT_TRUE(buffer.error) << c.text;
    EXPECT_EQ(lexical_error_kind_name(buffer.error->kind), lexical_error_kind_name(c.kind)) << c.text;
    EXPECT_EQ(buffer.error->range.start, c.start) << c.text;
    EXPECT_LE(buffer.error->range.end, c.text.size()) << c.text;  // lookahead past the end stays out
    EXPECT_EQ(buffer.tokens.back().kind, TokenKind::EndOfFile);
  }
}

TEST(Lexer, NestingLimitsMatchCPython) {
  auto indented = [](int levels) {
    std::string s;
    for (int i = 0; i < levels; ++i) s += std::string(i, ' ') + "if x:\n";
    return s + std::string(levels, ' ') + "pass\n";
  };
  EXPECT_FALSE(tokenize(indented(99)).error);
  ASSERT_TRUE(tokenize(indented(100)).error);
  EXPECT_EQ(tokenize(indented(100)).error->kind, LexicalErrorKind::TooManyIndentationLevels);
  EXPECT_FALSE(tokenize(std::string(200, '[') + std::string(200, ']')).error);

  auto nested_fstrings = [](int n) {
    std::string s = "1";
    for (int i = 0; i < n; ++i) s = "f'{" + s + "}'";
    return s;
  };
  // Each f-string field also opens a bracket, so the f-string bound is reached first only when
  // it is below the bracket bound: 149 nested f-strings are fine, 150 are not.
  EXPECT_FALSE(tokenize(nested_fstrings(149)).error);
  ASSERT_TRUE(tokenize(nested_fstrings(150)).error);
  EXPECT_EQ(tokenize(nested_fstrings(150)).error->kind, LexicalErrorKind::TooManyNestedFStrings);
}

}  // namespace
}  // namespace pysyntax::lexer
