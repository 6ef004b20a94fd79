// Literal decoders against values taken from CPython 3.13 (`ast.parse` of the same literal).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "literals/literals.h"

namespace pysyntax::literals {
namespace {

struct StringCase {
  const char* body;
  bool is_bytes;
  bool is_raw;
  bool in_fstring;
  std::string_view expected;
};

class DecodeString : public testing::TestWithParam<StringCase> {};

TEST_P(DecodeString, GivesCPythonsValue) {
  const StringCase& c = GetParam();
  std::string out = "<";  // decoding appends
  auto error = decode_string_body(c.body, c.is_bytes, c.is_raw, c.in_fstring, out);
  ASSERT_FALSE(error) << string_error_name(error->kind);
  std::string expected = "<";
  expected += c.expected;
  EXPECT_EQ(out, expected);
  // Callers point into the text when no decoding is needed, so "no" must mean "value == body";
  // and a body with nothing to decode must say "no", or that saving is lost.
  bool needs = body_needs_decoding(c.body, c.is_bytes, c.is_raw, c.in_fstring);
  if (!needs) {
    EXPECT_EQ(c.body, c.expected);
  }
  if (std::string_view(c.body).find_first_of("\\\r{}") == std::string_view::npos) {
    EXPECT_FALSE(needs);
  }
}

using namespace std::string_view_literals;

INSTANTIATE_TEST_SUITE_P(
    Literals, DecodeString,
    testing::Values(
        StringCase{"plain text", false, false, false, "plain text"},
        StringCase{R"(\\ \' \" \a \b \f \n \r \t \v)", false, false, false, "\\ ' \" \a \b \f \n \r \t \v"},
        // Octal takes at most three digits; above 0o377 str keeps the code point, bytes the low byte.
        StringCase{R"(\0\12\1234\777)", false, false, false, "\0\n" "S4\u01FF"sv},
        StringCase{R"(\777\400)", true, false, false, "\xFF\x00"sv},
        StringCase{R"(\x41\xe9)", false, false, false, "A\u00E9"},
        StringCase{R"(\x41\xe9)", true, false, false, "A\xE9"},
        StringCase{R"(\u20ac\U0001F600\U0010ffff)", false, false, false, "\u20AC\U0001F600\U0010FFFF"},
        // A lone surrogate keeps its 3-byte form.
        StringCase{R"(\ud800)", false, false, false, "\xED\xA0\x80"},
        StringCase{R"(\N{LATIN SMALL LETTER A}\N{latin small letter a}\N{LF}\N{BEL}\N{BELL})", false, false,
                   false, "aa\n\a\U0001F514"},
        StringCase{R"(\N{HANGUL SYLLABLE GA}\N{CJK UNIFIED IDEOGRAPH-04E00}\N{TANGUT COMPONENT-001})", false,
                   false, false, "\uAC00\u4E00\U00018800"},
        StringCase{R"(\N{CJK UNIFIED IDEOGRAPH-2EBF0}\N{IDEOGRAPHIC DESCRIPTION CHARACTER SUBTRACTION})", false,
                   false, false, "\U0002EBF0\u31EF"},
        StringCase{R"(\N{cjk compatibility ideograph-f900}\N{TIBETAN MARK TSA -PHRU}\N{HANGUL JUNGSEONG O-E})",
                   false, false, false, "\uF900\u0F39\u1180"},
        // Unknown escapes keep their backslash; \u \U \N are unknown in bytes.
        StringCase{R"(\q\8\é)", false, false, false, "\\q\\8\\\u00E9"},
        StringCase{R"(\u1234\U00000041\N{SPACE})", true, false, false, R"(\u1234\U00000041\N{SPACE})"},
        // Line continuation and line ends, raw included.
        StringCase{"a\\\nb\\\r\nc\\\rd", false, false, false, "abcd"},
        StringCase{"a\r\nb\rc", false, false, false, "a\nb\nc"},
        StringCase{"a\\\r\nb", false, true, false, "a\\\nb"},
        StringCase{"\\\r\nx", true, false, false, "x"},
        StringCase{R"(\n\x41\N{SPACE})", false, true, false, R"(\n\x41\N{SPACE})"},
        StringCase{R"(\")", false, true, false, R"(\")"},
        // f-string literal parts: doubled braces collapse, \{ is an unknown escape.
        StringCase{"{{a}}", false, false, true, "{a}"},
        StringCase{R"(\{{x)", false, false, true, R"(\{x)"},
        StringCase{R"(a\\{{)", false, false, true, R"(a\{)"},
        StringCase{R"(\{{x)", false, true, true, R"(\{x)"},
        StringCase{R"(\N{SPACE}}})", false, false, true, " }"},
        StringCase{"\\", false, false, true, "\\"},
        StringCase{"", false, false, false, ""}));

struct StringErrorCase {
  const char* body;
  bool is_bytes;
  StringErrorKind kind;
  uint32_t offset;
  uint32_t length;
};

class DecodeStringError : public testing::TestWithParam<StringErrorCase> {};

TEST_P(DecodeStringError, ReportsKindAndRange) {
  const StringErrorCase& c = GetParam();
  std::string out;
  auto error = decode_string_body(c.body, c.is_bytes, false, false, out);
  ASSERT_TRUE(error) << "decoded to " << out;
  EXPECT_EQ(string_error_name(error->kind), string_error_name(c.kind));
  EXPECT_EQ(error->offset, c.offset);
  EXPECT_EQ(error->length, c.length);
}

INSTANTIATE_TEST_SUITE_P(
    Literals, DecodeStringError,
    testing::Values(
        StringErrorCase{R"(ab\x4)", false, StringErrorKind::TruncatedHexEscape, 2, 3},
        StringErrorCase{R"(\x4g)", true, StringErrorKind::TruncatedHexEscape, 0, 3},
        StringErrorCase{R"(\u12)", false, StringErrorKind::TruncatedUnicodeEscape, 0, 4},
        StringErrorCase{R"(\U0000004)", false, StringErrorKind::TruncatedLongUnicodeEscape, 0, 9},
        StringErrorCase{R"(\U00110000)", false, StringErrorKind::IllegalUnicodeCharacter, 0, 10},
        StringErrorCase{R"(\N)", false, StringErrorKind::MalformedNamedEscape, 0, 2},
        StringErrorCase{R"(\N{})", false, StringErrorKind::MalformedNamedEscape, 0, 3},
        StringErrorCase{R"(\N{SPACE)", false, StringErrorKind::MalformedNamedEscape, 0, 3},
        StringErrorCase{R"(x\N{NOPE}y)", false, StringErrorKind::UnknownCharacterName, 1, 8},
        // Named sequences, Tangut ideographs, lower-case algorithmic names and ICU-only forms.
        StringErrorCase{R"(\N{KEYCAP NUMBER SIGN})", false, StringErrorKind::UnknownCharacterName, 0, 22},
        StringErrorCase{R"(\N{TANGUT IDEOGRAPH-17000})", false, StringErrorKind::UnknownCharacterName, 0, 26},
        StringErrorCase{R"(\N{hangul syllable ga})", false, StringErrorKind::UnknownCharacterName, 0, 22},
        StringErrorCase{R"(\N{CJK UNIFIED IDEOGRAPH-4e00})", false, StringErrorKind::UnknownCharacterName, 0, 30},
        StringErrorCase{R"(\N{CJK UNIFIED IDEOGRAPH-FA0E})", false, StringErrorKind::UnknownCharacterName, 0, 30},
        StringErrorCase{R"(\N{<control-0000>})", false, StringErrorKind::UnknownCharacterName, 0, 18},
        StringErrorCase{R"(\N{ LATIN SMALL LETTER A})", false, StringErrorKind::UnknownCharacterName, 0, 25},
        // In bytes a non-ASCII character is reported before any bad escape.
        StringErrorCase{"\\x4 \xC3\xA9", true, StringErrorKind::NonAsciiInBytes, 4, 2}));

TEST(Literals, EveryStringErrorKindHasAName) {
  for (auto kind : {StringErrorKind::TruncatedHexEscape, StringErrorKind::TruncatedUnicodeEscape,
                    StringErrorKind::TruncatedLongUnicodeEscape, StringErrorKind::IllegalUnicodeCharacter,
                    StringErrorKind::MalformedNamedEscape, StringErrorKind::UnknownCharacterName,
                    StringErrorKind::NonAsciiInBytes}) {
    EXPECT_FALSE(string_error_name(kind).empty());
  }
  EXPECT_EQ(string_error_name(StringErrorKind::NonAsciiInBytes), "NonAsciiInBytes");
}

TEST(Literals, RawBytesStillRejectNonAscii) {
  std::string out;
  auto error = decode_string_body("\xC3\xA9", true, true, false, out);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->kind, StringErrorKind::NonAsciiInBytes);
  EXPECT_TRUE(body_needs_decoding("\xC3\xA9", true, true, false));
}

TEST(Literals, IntegerValues) {
  struct Case {
    const char* text;
    std::optional<uint64_t> value;
    const char* decimal;
  };
  const Case cases[] = {
      {"0", 0, "0"},
      {"00_0", 0, "0"},
      {"1_000", 1000, "1000"},
      {"0x_fF", 255, "255"},
      {"0XFF", 255, "255"},
      {"0o7_7", 63, "63"},
      {"0B1_0", 2, "2"},
      {"18446744073709551615", 18446744073709551615u, "18446744073709551615"},
      {"0xffff_ffff_ffff_ffff", 18446744073709551615u, "18446744073709551615"},
      {"18446744073709551616", std::nullopt, "18446744073709551616"},
      {"0x1_0000_0000_0000_0000", std::nullopt, "18446744073709551616"},
      {"0xffffffffffffffffff", std::nullopt, "4722366482869645213695"},
      {"0b" "1" "0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000",
       std::nullopt, "309485009821345068724781056"},
      {"0o1000000000000000000000000000000", std::nullopt, "1237940039285380274899124224"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(integer_value(c.text), c.value) << c.text;
    std::string decimal;
    append_integer_decimal(c.text, decimal);
    EXPECT_EQ(decimal, c.decimal) << c.text;
  }
}

uint64_t bits(double d) {
  uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

TEST(Literals, FloatValuesMatchCPythonBitForBit) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* text;
    double value;
  };
  const Case cases[] = {
      {"1.5", 1.5},
      {"1.", 1.0},
      {".5", 0.5},
      {"0e-0", 0.0},
      {"1E+5", 1e5},
      {"1_0.0_1e1_0", 100100000000.0},
      {"00012.5", 12.5},
      {"0.1", 0.1},
      {"1.7976931348623158e308", 1.7976931348623157e308},
      {"1.7976931348623159e308", inf},
      {"1e400", inf},
      {"1e99999999999999999999", inf},
      {"1e-400", 0.0},
      {"0.0000001e-99999999999999999999", 0.0},
      {"5e-324", 5e-324},
      {"3e-324", 5e-324},
      {"2e-324", 0.0},
      {"2.4703282292062328e-324", 5e-324},
      {"2.4703282292062327e-324", 0.0},
      {"1000000000000000000000000000000000000000000000000000e-400", 0.0},
  };
  for (const Case& c : cases) EXPECT_EQ(bits(float_value(c.text)), bits(c.value)) << c.text;
  EXPECT_EQ(imaginary_value("10j"), 10.0);
  EXPECT_EQ(imaginary_value("0777J"), 777.0);
  EXPECT_EQ(imaginary_value("1_5e-1j"), 1.5);
  EXPECT_EQ(imaginary_value("1e400j"), inf);
}

TEST(Literals, IdentifierValidity) {
  struct Case {
    const char* text;
    std::optional<InvalidIdentifierCharacter> invalid;
  };
  const Case cases[] = {
      {"abc", std::nullopt},
      {"_\U0001D518", std::nullopt},         // _𝔘
      {"\u2118", std::nullopt},              // ℘: Other_ID_Start
      {"a\u00B7", std::nullopt},             // · continues but cannot start
      {"\u00B7", {{0, 2, U'\u00B7'}}},
      {"x\u200D", std::nullopt},             // ZWJ continues since Unicode 15.1
      {"\U0002EBF0", std::nullopt},          // CJK Extension I, Unicode 15.1
      {"\u2EBF", {{0, 3, U'\u2EBF'}}},       // unassigned
      {"\u309B", {{0, 3, U'\u309B'}}},       // ゛ is ID_Start but not XID_Start
      {"a\u309B", {{1, 3, U'\u309B'}}},
      {"a\u20ACb", {{1, 3, U'\u20AC'}}},     // €
      {"\u31EF", {{0, 3, U'\u31EF'}}},       // new in 15.1 but no identifier character
      {"\U0001F600", {{0, 4, U'\U0001F600'}}},
      {"ab\xFF", {{2, 1, U'\uFFFD'}}},
  };
  for (const Case& c : cases) {
    auto invalid = find_invalid_identifier_character(c.text);
    ASSERT_EQ(invalid.has_value(), c.invalid.has_value()) << c.text;
    if (invalid) {
      EXPECT_EQ(invalid->offset, c.invalid->offset) << c.text;
      EXPECT_EQ(invalid->length, c.invalid->length) << c.text;
      EXPECT_EQ(invalid->code_point, c.invalid->code_point) << c.text;
    }
  }
}

TEST(Literals, IdentifierNormalisation) {
  struct Case {
    const char* text;
    const char* normalized;  // nullptr: already NFKC
  };
  const Case cases[] = {
      {"abc", nullptr},
      {"caf\u00E9", nullptr},
      {"\uFF49\uFF46", "if"},                 // ｉｆ
      {"\uFB01", "fi"},                       // ﬁ
      {"\U0001D51E\U0001D51F", "ab"},         // 𝔞𝔟
      {"\u2168", "IX"},                       // Ⅸ
      {"cafe\u0301", "caf\u00E9"},
  };
  for (const Case& c : cases) {
    std::string out = "<";
    bool changed = normalize_identifier(c.text, out);
    EXPECT_EQ(changed, c.normalized != nullptr) << c.text;
    std::string expected = "<";
    if (c.normalized) expected += c.normalized;
    EXPECT_EQ(out, expected) << c.text;
  }
}

}  // namespace
}  // namespace pysyntax::literals
