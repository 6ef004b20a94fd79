// Pattern packs: their record with its defaults, and the display texts of reading errors (the only
// reading errors that reach the output), each with its path and position.
#include <bit>
#include <cstdint>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "detect/packs.h"

namespace detect {
namespace {

// The three required keys, on lines 1 to 3; what a case adds starts on line 4.
const std::string kHead = "schema_version: 1\nkind: pattern\nid: p\n";

std::string error_of(const std::string& text) {
  const PackRead<PatternPack> read = read_pattern_pack(text);
  EXPECT_NE(read.pack.has_value(), read.error.has_value());
  return read.error ? read.error->display() : "(read)";
}

TEST(PatternPackRecord, TakesItsDefaults) {
  for (const std::string& text : {kHead, kHead + "match:\n", kHead + "match: {}\n"}) {
    const PackRead<PatternPack> read = read_pattern_pack(text);
    ASSERT_TRUE(read.pack.has_value()) << text;
    const PatternPack& pack = *read.pack;
    EXPECT_EQ(pack.schema_version, "1");
    EXPECT_EQ(pack.kind, "pattern");
    EXPECT_EQ(pack.id, "p");
    EXPECT_EQ(pack.display_name, "");
    EXPECT_EQ(std::bit_cast<std::uint32_t>(pack.confidence), 0x3F19999Au);
    const PatternMatch& m = pack.match;
    EXPECT_FALSE(m.min_llm_calls_per_function || m.max_llm_calls_per_function || m.min_tool_calls_per_function ||
                 m.max_tool_calls_per_function || m.min_agent_spawns_per_function || m.min_branches ||
                 m.has_loop || m.has_parallel || m.has_branch_on_llm);
  }
}

TEST(PatternPackRecord, ReadsEveryValueRule) {
  const PackRead<PatternPack> read = read_pattern_pack(
      "\"schema_version\": 1.10\n"
      "'kind': Pattern\n"
      "id:\n"
      "display_name: ~\n"
      "description: [whatever, {it: holds}]\n"
      "ID: ignored\n"
      "ID: undeclared keys may repeat\n"
      "match:\n"
      "  min_llm_calls_per_function: 0x10\n"
      "  max_llm_calls_per_function: +7\n"
      "  min_tool_calls_per_function: 4294967295\n"
      "  max_tool_calls_per_function: null\n"
      "  min_agent_spawns_per_function: 0b11\n"
      "  min_branches:\n"
      "  max_branches: 3\n"
      "  has_loop: false\n"
      "  has_parallel: ~\n"
      "  has_branch_on_llm: TRUE\n"
      "confidence: 0.1\n");
  ASSERT_TRUE(read.pack.has_value()) << read.error->display();
  const PatternPack& pack = *read.pack;
  EXPECT_EQ(pack.schema_version, "1.10");
  EXPECT_EQ(pack.kind, "Pattern");  // the loader, not the reader, compares the kind
  EXPECT_EQ(pack.id, "");
  EXPECT_EQ(pack.display_name, "~");
  EXPECT_EQ(pack.match.min_llm_calls_per_function, 16u);
  EXPECT_EQ(pack.match.max_llm_calls_per_function, 7u);
  EXPECT_EQ(pack.match.min_tool_calls_per_function, 4294967295u);
  EXPECT_FALSE(pack.match.max_tool_calls_per_function.has_value());
  EXPECT_EQ(pack.match.min_agent_spawns_per_function, 3u);
  EXPECT_FALSE(pack.match.min_branches.has_value());
  EXPECT_EQ(pack.match.has_loop, false);
  EXPECT_FALSE(pack.match.has_parallel.has_value());
  EXPECT_EQ(pack.match.has_branch_on_llm, true);
  EXPECT_EQ(pack.confidence, 0.1f);
}

TEST(PatternPackRecord, ReadsConfidenceAsA32BitFloat) {
  struct Case {
    const char* value;
    float expected;
  };
  const float inf = std::numeric_limits<float>::infinity();
  const Case cases[] = {{"1", 1.0f},   {"2.5", 2.5f},  {"-3", -3.0f}, {".inf", inf},
                        {"1e39", inf}, {"-.INF", -inf}, {"0", 0.0f},   {"1e-50", 0.0f}};
  for (const Case& c : cases) {
    const PackRead<PatternPack> read = read_pattern_pack(kHead + "confidence: " + c.value + "\n");
    ASSERT_TRUE(read.pack.has_value()) << c.value;
    EXPECT_EQ(read.pack->confidence, c.expected) << c.value;
  }
}

TEST(PatternPackRecord, ExpandsAliasesAndIgnoresTheMergeKey) {
  const PackRead<PatternPack> read = read_pattern_pack(kHead +
                                                       "base: &m {min_branches: 2, has_loop: true}\n"
                                                       "names: &n Shown\n"
                                                       "display_name: *n\n"
                                                       "<<: {display_name: merged}\n"
                                                       "match: *m\n");
  ASSERT_TRUE(read.pack.has_value()) << read.error->display();
  EXPECT_EQ(read.pack->display_name, "Shown");
  EXPECT_EQ(read.pack->match.min_branches, 2u);
  EXPECT_EQ(read.pack->match.has_loop, true);
}

TEST(PatternPackErrors, ShowPathMessageAndPosition) {
  struct Case {
    std::string text;
    std::string display;
  };
  const Case cases[] = {
      // Root-level failures: the root mapping starts at line 1, column 1, so no position.
      {"", "missing field `schema_version`"},
      {"\xEF\xBB\xBF", "missing field `schema_version`"},
      {"id: x\n", "missing field `schema_version`"},
      {"schema_version: 1\nid: x\n", "missing field `kind`"},
      {"schema_version: 1\nkind: pattern\n", "missing field `id`"},
      {"Schema_version: 1\nkind: pattern\nid: p\n", "missing field `schema_version`"},
      {"# leading comment\nid: x\n", "missing field `schema_version` at line 2 column 1"},
      {"\xEF\xBB\xBF# only a comment\n", "missing field `schema_version` at line 2 column 1"},
      {"--- # a marker with a comment\n", "missing field `schema_version` at line 2 column 1"},
      {"- a\n", "invalid type: sequence, expected struct PatternPack"},
      {"~\n", "invalid type: unit value, expected struct PatternPack"},
      {"''\n", "invalid type: string \"\", expected struct PatternPack"},
      {"42\n", "invalid type: integer `42`, expected struct PatternPack"},
      {kHead + "id: q\n", "duplicate field `id`"},
      {kHead + "\"id\": p\n", "duplicate field `id`"},
      {kHead + "[a]: 1\n", "invalid type: sequence, expected field identifier at line 4 column 1"},
      {kHead + "{a: 1}: 1\n", "invalid type: map, expected field identifier at line 4 column 1"},
      {kHead + "display_name: [a]\n", "display_name: invalid type: sequence, expected a string at line 4 column 15"},
      // match as a record.
      {kHead + "match: ~\n", "match: invalid type: unit value, expected struct PatternMatch at line 4 column 8"},
      {kHead + "match: []\n", "match: invalid type: sequence, expected struct PatternMatch at line 4 column 8"},
      {kHead + "match:\n  has_loop: true\n  has_loop: true\n",
       "match: duplicate field `has_loop` at line 5 column 3"},
      // Unsigned bounds.
      {kHead + "match:\n  min_branches: \"2\"\n",
       "match.min_branches: invalid type: string \"2\", expected u32 at line 5 column 17"},
      {kHead + "match:\n  min_branches: 4294967296\n",
       "match.min_branches: invalid value: integer `4294967296`, expected u32 at line 5 column 17"},
      {kHead + "match:\n  min_branches: 0x100000000\n",
       "match.min_branches: invalid value: integer `4294967296`, expected u32 at line 5 column 17"},
      {kHead + "match: {min_branches: -1}\n",
       "match.min_branches: invalid type: integer `-1`, expected u32 at line 4 column 23"},
      {kHead + "match: {min_branches: 1.5}\n",
       "match.min_branches: invalid type: floating point `1.5`, expected u32 at line 4 column 23"},
      {kHead + "match: {min_branches: 007}\n",
       "match.min_branches: invalid type: string \"007\", expected u32 at line 4 column 23"},
      {kHead + "match: {min_branches: 1e20}\n",
       "match.min_branches: invalid type: floating point `100000000000000000000.0`, expected u32 at line 4 column 23"},
      {kHead + "match: {min_branches: !!null 3}\n",
       "match.min_branches: invalid value: integer `3`, expected null at line 4 column 23"},
      // Flags.
      {kHead + "match: {has_loop: no}\n",
       "match.has_loop: invalid type: string \"no\", expected a boolean at line 4 column 19"},
      {kHead + "match: {has_loop: 1}\n",
       "match.has_loop: invalid type: integer `1`, expected a boolean at line 4 column 19"},
      {kHead + "match: {has_loop: \"true\"}\n",
       "match.has_loop: invalid type: string \"true\", expected a boolean at line 4 column 19"},
      // Confidence is no optional value: empty and null forms fail.
      {kHead + "confidence:\n", "confidence: invalid type: unit value, expected f32 at line 4 column 12"},
      {kHead + "confidence: ~\n", "confidence: invalid type: unit value, expected f32 at line 4 column 13"},
      {kHead + "confidence: '0.5'\n", "confidence: invalid type: string \"0.5\", expected f32 at line 4 column 13"},
      {kHead + "confidence: 0x10\n", "confidence: invalid type: integer `16`, expected f32 at line 4 column 13"},
      {kHead + "confidence: 007\n", "confidence: invalid type: string \"007\", expected f32 at line 4 column 13"},
      {kHead + "confidence: true\n", "confidence: invalid type: boolean `true`, expected f32 at line 4 column 13"},
      {kHead + "confidence: inf\n", "confidence: invalid type: string \"inf\", expected f32 at line 4 column 13"},
      {kHead + "confidence: 1e999\n", "confidence: invalid type: string \"1e999\", expected f32 at line 4 column 13"},
      {kHead + "confidence: {a: b}\n", "confidence: invalid type: map, expected f32 at line 4 column 13"},
      // Through an alias: the alias's path, the anchored node's position.
      {kHead + "x: &m {min_branches: '2'}\nmatch: *m\n",
       "match.min_branches: invalid type: string \"2\", expected u32 at line 4 column 22"},
      {kHead + "display_name: *nope\n", "unknown anchor at line 4 column 15"},
      {kHead + "display_name: *later\nx: &later 1\n", "unknown anchor at line 4 column 15"},
      // Documents and the parser's own errors.
      {kHead + "---\n", "deserializing from YAML containing more than one document is not supported"},
      {kHead + "--- [\n", "deserializing from YAML containing more than one document is not supported"},
      {kHead + "...\n# trailing comment\n", "(read)"},
      {kHead + "x: [1\n",
       "did not find expected ',' or ']' at line 5 column 1, while parsing a flow sequence at line 4 column 4"},
      {kHead + ": a\n", "did not find expected key at line 4 column 1, while parsing a block mapping"},
      {std::string("id: a\0b", 7), "control characters are not allowed at position 5"},
      {"id: \xFF\n", "invalid leading UTF-8 octet at position 4"},
      // A reading error before the point where the YAML breaks is reported as such.
      {"schema_version: 1\nkind: pattern\nid: [a]\nb: [\n", "id: invalid type: sequence, expected a string at line 3 column 5"},
      // So it is before a character that libyaml refuses, however near that character follows.
      {kHead + "confidence: \"q\"\nextra: \"\x01\"\n", "confidence: invalid type: string \"q\", expected f32 at line 4 column 13"},
      {kHead + "confidence: \"q\"\nextra: \"" + std::string(1, '\0') + "\"\n",
       "confidence: invalid type: string \"q\", expected f32 at line 4 column 13"},
      {kHead + "confidence: \"q\"\nextra: \"\u0080\"\n", "confidence: invalid type: string \"q\", expected f32 at line 4 column 13"},
      {kHead + "confidence: \"q\"\nextra: \"\uFFFE\"\n", "confidence: invalid type: string \"q\", expected f32 at line 4 column 13"},
      {kHead + "confidence: \"q\"\n" + [] {
         std::string lines;
         for (int i = 0; i < 5000; ++i) lines += "k: v\n";
         return lines;
       }() + "extra: \"\x01\"\n",
       "confidence: invalid type: string \"q\", expected f32 at line 4 column 13"},
      {"id: x\nid: y\nextra: \"\x01\"\n", "duplicate field `id`"},
      {kHead + "display_name: [a]\x01\n", "display_name: invalid type: sequence, expected a string at line 4 column 15"},
      // Otherwise the reader's error stands, also where the text handed to libyaml ends early (a
      // quoted scalar or the root mapping left open), where the record was complete, and where only
      // a later document would have followed.
      {kHead + "extra: \"\x01\"\n", "control characters are not allowed at position 46"},
      {"id: x\n\x01", "control characters are not allowed at position 6"},
      {kHead + "confidence:\n\x01", "control characters are not allowed at position 50"},
      {kHead + "\x01", "control characters are not allowed at position 38"},
      {kHead + "---\n\x01", "control characters are not allowed at position 42"},
      // A flow mapping may be a key: libyaml looks past it, to the refused character.
      {"{schema_version: 1, kind: pattern, id: [a]}\n\x01", "control characters are not allowed at position 44"},
      // The reader's errors in its own words and offsets, in bytes and counting a byte-order mark.
      {"id: \xE2\x41\x42", "invalid trailing UTF-8 octet at position 5"},
      {"id: \xE2\x82", "incomplete UTF-8 octet sequence at position 4"},
      {kHead + "x: \xC0\x80", "invalid length of a UTF-8 sequence at position 41"},
      {kHead + "x: \xED\xA0\x80", "invalid Unicode character at position 41"},
      {"\xEF\xBB\xBF\x01", "control characters are not allowed at position 3"},
      // Pack texts are UTF-8: a UTF-16 byte-order mark is a byte that is no UTF-8.
      {std::string("\xFF\xFEi\0d\0", 6), "invalid leading UTF-8 octet"},
  };
  for (const Case& c : cases) EXPECT_EQ(error_of(c.text), c.display) << c.text;
}

}  // namespace
}  // namespace detect
