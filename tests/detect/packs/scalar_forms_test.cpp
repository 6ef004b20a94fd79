// Scalar meanings: the number grammars and their limits, narrowing to 32 bits, the positional float
// text, and the descriptions of the node found that reading errors show.
#include "packs/scalar_forms.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include <gtest/gtest.h>

namespace detect::packs {
namespace {

TEST(ParseFloat, AcceptsDecimalNumbersAndTheDottedSpellingsOnly) {
  struct Case {
    const char* text;
    std::optional<double> value;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const Case cases[] = {
      {"1", 1.0},       {"-2", -2.0},     {"0.5", 0.5},     {".5", 0.5},      {"5.", 5.0},
      {"1e-3", 1e-3},   {"+1.5", 1.5},    {"1.E5", 1e5},    {"007", 7.0},     {"1e-400", 0.0},
      {".inf", inf},    {"+.Inf", inf},   {"-.INF", -inf},  {"inf", {}},      {"nan", {}},
      {"1e999", {}},    {"-1e999", {}},   {"+-1", {}},      {"++1", {}},      {"-+1", {}},
      {".", {}},        {"e5", {}},       {"1e", {}},       {"1_0", {}},      {"0x10", {}},
      {"+.nan", {}},    {"-.nan", {}},    {" 1", {}},       {"", {}},         {"1.5.", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(parse_float(c.text), c.value) << c.text;
  }
  const std::optional<double> nan = parse_float(".NaN");
  ASSERT_TRUE(nan.has_value());
  EXPECT_TRUE(std::isnan(*nan));
  EXPECT_TRUE(std::signbit(*parse_float("-1e-400"))) << "an underflow keeps its sign";
}

TEST(NarrowToFloat, RoundsToNearestAndOverflowsToInfinity) {
  EXPECT_EQ(std::bit_cast<std::uint32_t>(narrow_to_float(0.6)), 0x3F19999Au);
  EXPECT_EQ(narrow_to_float(0.1), 0.1f);
  EXPECT_EQ(narrow_to_float(1e39), std::numeric_limits<float>::infinity());
  EXPECT_EQ(narrow_to_float(-1e39), -std::numeric_limits<float>::infinity());
  // Just below the halfway point to 2^128 still rounds to the largest float; the halfway point
  // itself rounds (to even) to infinity.
  EXPECT_EQ(narrow_to_float(0x1.fffffefffffffp127), std::numeric_limits<float>::max());
  EXPECT_EQ(narrow_to_float(0x1.ffffffp127), std::numeric_limits<float>::infinity());
  EXPECT_TRUE(std::signbit(narrow_to_float(-0.0)));
}

TEST(ParseInteger, TakesTheRadixFormsAndRejectsLeadingZeros) {
  struct Case {
    const char* text;
    bool allow_negative;
    const char* magnitude;  // nullptr: not an integer
    bool negative;
  };
  const Case cases[] = {
      {"0", false, "0", false},           {"+7", false, "7", false},
      {"0x10", false, "16", false},       {"0xfF", false, "255", false},
      {"0o17", false, "15", false},       {"0b101", false, "5", false},
      {"+0x10", false, "16", false},      {"0x", false, nullptr, false},
      {"0X10", false, nullptr, false},    {"0x+5", false, nullptr, false},
      {"0b2", false, nullptr, false},     {"007", false, nullptr, false},
      {"-1", false, nullptr, false},      {"-1", true, "1", true},
      {"-0", true, "0", false},           {"-0x10", true, "16", true},
      {"-05", true, nullptr, false},      {"+-5", true, nullptr, false},
      {"1.5", false, nullptr, false},     {"1_000", false, nullptr, false},
      {"18446744073709551616", false, "18446744073709551616", false},
      {"0x10000000000000000", false, "18446744073709551616", false},
      {"0x00000000000000000000000000000001", false, "1", false},
  };
  for (const Case& c : cases) {
    const std::optional<IntegerNumeral> numeral = parse_integer(c.text, c.allow_negative);
    if (c.magnitude == nullptr) {
      EXPECT_FALSE(numeral.has_value()) << c.text;
      continue;
    }
    ASSERT_TRUE(numeral.has_value()) << c.text;
    EXPECT_EQ(numeral->magnitude, c.magnitude) << c.text;
    EXPECT_EQ(numeral->negative, c.negative) << c.text;
  }
}

TEST(ParseInteger, LeavesHugeRadixNumeralsUnconverted) {
  // Converting is quadratic in the length; past the bound the numeral keeps its own text.
  const std::string at_bound = "0x" + std::string(kMaxConvertedDigits, 'f');
  EXPECT_EQ(parse_integer(at_bound, false)->magnitude.find_first_not_of("0123456789"), std::string::npos);
  const std::string beyond = "-0x1" + std::string(kMaxConvertedDigits, '0');
  const std::optional<IntegerNumeral> numeral = parse_integer(beyond, true);
  ASSERT_TRUE(numeral.has_value());
  EXPECT_EQ(numeral->magnitude, beyond.substr(1));
  EXPECT_TRUE(numeral->negative);
}

TEST(FitsU32, StopsAtTheLargestU32) {
  EXPECT_EQ(fits_u32(*parse_integer("4294967295", false)), 4294967295u);
  EXPECT_EQ(fits_u32(*parse_integer("0xffffffff", false)), 4294967295u);
  EXPECT_FALSE(fits_u32(*parse_integer("4294967296", false)).has_value());
  EXPECT_FALSE(fits_u32(*parse_integer("9999999999", false)).has_value());
  EXPECT_FALSE(fits_u32(*parse_integer("-1", true)).has_value());
}

TEST(ShortestPositional, WritesRoundTripDigitsWithoutExponent) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {1e20, "100000000000000000000"},
      {1e-7, "0.0000001"},
      {1.5, "1.5"},
      {0.1, "0.1"},
      {-0.0, "-0"},
      {123456.789, "123456.789"},
      {std::numeric_limits<double>::infinity(), "inf"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
      {std::numeric_limits<double>::quiet_NaN(), "NaN"},
  };
  for (const Case& c : cases) EXPECT_EQ(shortest_positional(c.value), c.text);
  EXPECT_EQ(shortest_positional(1.5e300), "15" + std::string(299, '0'));
  EXPECT_EQ(shortest_positional(5e-324), "0." + std::string(323, '0') + "5");
}

TEST(DescribeScalar, NamesWhatThePlainTextMeans) {
  struct Case {
    const char* text;
    bool plain;
    const char* description;
  };
  const Case cases[] = {
      {"", true, "unit value"},
      {"~", true, "unit value"},
      {"NULL", true, "unit value"},
      {"True", true, "boolean `true`"},
      {"FALSE", true, "boolean `false`"},
      {"yes", true, "string \"yes\""},
      {"0x10", true, "integer `16`"},
      {"-1", true, "integer `-1`"},
      {"-0", true, "integer `0`"},
      {"+0o7", true, "integer `7`"},
      {"007", true, "string \"007\""},
      {"-007", true, "string \"-007\""},
      {"1.5", true, "floating point `1.5`"},
      {"1e20", true, "floating point `100000000000000000000.0`"},
      {"1e-7", true, "floating point `0.0000001`"},
      {"-0.0", true, "floating point `-0.0`"},
      {"5.", true, "floating point `5.0`"},
      {"1e999", true, "string \"1e999\""},
      {".inf", true, "floating point `inf`"},
      {"-.Inf", true, "floating point `-inf`"},
      {".nan", true, "floating point `NaN`"},
      {"18446744073709551616", true, "integer `18446744073709551616`"},
      {"2", false, "string \"2\""},
      {"", false, "string \"\""},
      {"true", false, "string \"true\""},
      {"a\"b\\c", true, "string \"a\\\"b\\\\c\""},
      {"t\tn\nr\rz", false, "string \"t\\tn\\nr\\rz\""},
      {"\xC2\x85 \xC3\xA9", false, "string \"\\u{85} \xC3\xA9\""},
  };
  for (const Case& c : cases) EXPECT_EQ(describe_scalar(c.text, c.plain), c.description) << c.text;
  EXPECT_EQ(describe_scalar(std::string_view("\0\x01\x7f", 3), false), "string \"\\0\\u{1}\\u{7f}\"");
}

}  // namespace
}  // namespace detect::packs
