// The JSON text as code units of a str: what the writer counts (code points, the largest above
// U+007F) and what the decoder fills in, against code points known beforehand, for every width,
// with characters of each length at every offset of a sixteen-byte block and of a group of four
// blocks, and across the steps at which the text's pages are handed back.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/json_buffer.h"
#include "core/json_to_units.h"
#include "detect/large_block.h"
#include "literals/utf8.h"

namespace vesk {
namespace {

// `code_points` in UTF-8, as the parser's decoders write it.
std::string utf8(std::u32string_view code_points) {
  std::string out;
  out.reserve(code_points.size() * 4);
  for (const char32_t c : code_points) pysyntax::literals::append_utf8(c, out);
  return out;
}

// The limit of the narrowest str kind that holds `max_non_ascii`, as CPython picks it.
char32_t kind_limit(char32_t max_non_ascii) {
  if (max_non_ascii == 0) return 0x7F;
  if (max_non_ascii <= 0xFF) return 0xFF;
  return max_non_ascii <= 0xFFFF ? 0xFFFF : 0x10FFFF;
}

// The JSON string of `text` decoded at the width its largest code point calls for; its units
// compared with the quotation marks around `expected`.
template <typename Unit>
void expect_units(const std::u32string& text, std::u32string_view written_as, const char* what) {
  JsonBuffer out;
  out.string(utf8(text));
  JsonText json = std::move(out).take();
  std::u32string expected(1, U'"');
  expected.append(written_as).push_back(U'"');
  char32_t max_non_ascii = 0;
  for (const char32_t c : expected) max_non_ascii = c >= 0x80 && c > max_non_ascii ? c : max_non_ascii;
  ASSERT_TRUE(json.well_formed()) << what;
  ASSERT_EQ(json.code_points(), expected.size()) << what;
  ASSERT_EQ(json.max_non_ascii(), max_non_ascii) << what;
  std::vector<Unit> units(json.code_points());
  ASSERT_TRUE(decode_to_units(json, units.data(), kind_limit(max_non_ascii))) << what;
  ASSERT_TRUE(std::equal(units.begin(), units.end(), expected.begin(), expected.end())) << what;
}

void expect_decoded(const std::u32string& text, std::u32string_view written_as, const char* what) {
  char32_t max_non_ascii = 0;
  for (const char32_t c : text) max_non_ascii = c >= 0x80 && c > max_non_ascii ? c : max_non_ascii;
  if (max_non_ascii <= 0xFF) {
    expect_units<std::uint8_t>(text, written_as, what);
  } else if (max_non_ascii <= 0xFFFF) {
    expect_units<std::uint16_t>(text, written_as, what);
  } else {
    expect_units<std::uint32_t>(text, written_as, what);
  }
}

struct CharacterCase {
  std::u32string text;
  std::u32string written_as;  // the text as the JSON string holds it
  const char* what;
};

TEST(JsonToUnits, EachWidthAtEveryOffsetOfABlock) {
  const CharacterCase cases[] = {
      {U"plain ascii", U"plain ascii", "ascii: a copy"},
      {U"caf\u00e9", U"caf\u00e9", "Latin-1: one byte each"},
      {U"\u00ff\u0080", U"\u00ff\u0080", "the ends of Latin-1"},
      {U"\u0161\u00ea", U"\u0161\u00ea", "above U+00FF: two bytes each"},
      {U"a\u2028b\u2029", U"a\u2028b\u2029", "line and paragraph separators unescaped"},
      {U"\ufffd.py", U"\ufffd.py", "the replacement character of path bytes"},
      {U"\uffff", U"\uffff", "the last BMP code point"},
      {U"\U0001f600!", U"\U0001f600!", "astral: four bytes each"},
      {U"\U0010ffff", U"\U0010ffff", "the last code point"},
      {U"t\t\"q\"\\\x1b\u00e9", U"t\\t\\\"q\\\"\\\\\\u001b\u00e9", "escapes beside a non-ASCII character"},
  };
  for (const CharacterCase& c : cases) {
    // Each case once with 0 to 129 ASCII bytes before and after it, so that it starts and ends at
    // every offset of a group of blocks, and once repeated until several blocks are full of it.
    for (std::size_t pad = 0; pad < 130; ++pad) {
      std::u32string text(pad, U'x'), written_as(pad, U'x');
      text.append(c.text).append(129 - pad, U'y');
      written_as.append(c.written_as).append(129 - pad, U'y');
      expect_decoded(text, written_as, c.what);
    }
    std::u32string many, many_written;
    for (int i = 0; i < 20; ++i) {
      many.append(c.text);
      many_written.append(c.written_as);
    }
    expect_decoded(many, many_written, c.what);
  }
}

// A text of several megabytes runs through several steps; a character that straddles the end of
// a step, and pages handed back too early, would show here.
TEST(JsonToUnits, AcrossTheStepsThatHandBackPages) {
  constexpr std::size_t kStep = detect::LargeBlock::kHugePageSize;
  for (const char32_t c : {U'\u00e9', U'\u20ac', U'\U0001f600'}) {
    const std::size_t bytes = utf8(std::u32string(1, c)).size();
    for (std::size_t shift = 0; shift <= bytes; ++shift) {
      // The leading quotation mark is byte 0: the character starts `shift` bytes before a step ends.
      std::u32string text;
      text.reserve(kStep + kStep / 4 + 1);
      text.append(kStep - 1 - shift, U'a');
      text.push_back(c);
      for (std::size_t i = 0; text.size() < kStep + kStep / 4; ++i) text.push_back(i % 1000 == 0 ? c : U"bcdefghij"[i % 9]);
      expect_decoded(text, text, "a character at the end of a step");
    }
  }
}

// Units too narrow for what the text holds are refused, never cut.
TEST(JsonToUnits, RefusesCodePointsAboveTheKind) {
  for (const auto& [text, limit] : {std::pair{std::u32string(U"caf\u00e9"), char32_t{0x7F}},
                                    std::pair{std::u32string(U"\u0161"), char32_t{0xFF}}}) {
    JsonBuffer out;
    out.string(utf8(text));
    JsonText json = std::move(out).take();
    std::vector<std::uint8_t> units(json.code_points());
    EXPECT_FALSE(decode_to_units(json, units.data(), limit));
  }
}

// Bytes that are not UTF-8 are counted as such, so that the caller leaves them to CPython's
// decoder and its error.
TEST(JsonToUnits, TextThatIsNotUtf8IsMarked) {
  for (const std::string_view text : {"a\xff", "\xc3", "\xed\xa0\x80", "\xc0\xaf", "\xf4\x90\x80\x80"}) {
    JsonBuffer out;
    out.string("ok \xc3\xa9");
    out.string(text);
    EXPECT_FALSE(std::move(out).take().well_formed()) << text;
  }
}

}  // namespace
}  // namespace vesk
