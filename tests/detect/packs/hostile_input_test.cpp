// Pack files built to hurt: alias bombs, deep nesting, recursive aliases, huge scalars. Each must end
// in a record or a reading error quickly and in bounded memory.
#include <string>

#include <gtest/gtest.h>

#include "detect/packs.h"

namespace detect {
namespace {

const std::string kHead = "schema_version: \"1\"\nkind: framework\nid: fw\n";

std::string error_of(const std::string& text) {
  const PackRead<FrameworkPack> read = read_framework_pack(text);
  return read.error ? read.error->display() : "(read)";
}

// "{prefix}{level}", built by appending: g++ 12 at -O3 warns (wrongly) about `"x" + std::string`.
std::string level_name(const char* prefix, int level) {
  std::string name = prefix;
  name += std::to_string(level);
  return name;
}

// Nine levels of nine aliases each: 9^9 expansions if nothing stopped them.
std::string billion_laughs() {
  std::string text = "l0: &l0 [lol, lol, lol, lol, lol, lol, lol, lol, lol]\n";
  for (int level = 1; level <= 9; ++level) {
    const std::string previous = level_name("*l", level - 1);
    text += level_name("l", level) + ": " + level_name("&l", level) + " [";
    for (int i = 0; i < 9; ++i) text += (i ? ", " : "") + previous;
    text += "]\n";
  }
  return text;
}

TEST(HostileInput, AliasBombStopsAtTheRepetitionLimitUnlessItIsIgnored) {
  EXPECT_EQ(error_of(kHead + "x:\n" + billion_laughs() + "suggest: [*l9]\n"), "repetition limit exceeded");
  // Anchors under an undeclared key are defined, but nothing there is expanded.
  EXPECT_EQ(error_of(kHead + "bomb:\n  " + [] {
              std::string nested = billion_laughs();
              for (std::size_t at = nested.find('\n'); at + 1 < nested.size(); at = nested.find('\n', at + 1)) {
                nested.insert(at + 1, "  ");
              }
              return nested;
            }()),
            "(read)");
}

// Four levels of ten aliases under one alias: 11111 expansions; `padding` extra scalars make the
// document's event count 71 + padding.
std::string ten_fold_aliases(int padding) {
  std::string text = kHead + "a: &a [x]\n";
  for (int level = 1; level <= 4; ++level) {
    const std::string previous = level == 1 ? std::string("*a") : level_name("*l", level - 1);
    text += level_name("l", level) + ": " + level_name("&l", level) + " [";
    for (int i = 0; i < 10; ++i) text += (i ? ", " : "") + previous;
    text += "]\n";
  }
  text += "pad: [";
  for (int i = 0; i < padding; ++i) text += (i ? ", p" : "p");
  return text + "]\nsuggest: [*l4]\n";
}

TEST(HostileInput, AliasesMayExpandAHundredTimesPerEvent) {
  EXPECT_EQ(error_of(ten_fold_aliases(41)), "(read)") << "11111 expansions, 112 events";
  EXPECT_EQ(error_of(ten_fold_aliases(40)), "repetition limit exceeded") << "11111 expansions, 111 events";
}

TEST(HostileInput, AliasesOfOneLargeNodeStopBeforeTheyCopyWithoutEnd) {
  std::string wide = "[";
  for (int i = 0; i < 5000; ++i) wide += i ? ", x" : "x";
  wide += "]";
  const auto aliased = [&](int copies) {
    std::string text = kHead + "big: &big " + wide + "\nsuggest: [";
    for (int i = 0; i < copies; ++i) text += i ? ", *big" : "*big";
    return text + "]\n";
  };
  EXPECT_EQ(error_of(aliased(50)), "(read)");
  EXPECT_EQ(error_of(aliased(300)), "repetition limit exceeded");
}

TEST(HostileInput, NestingBudgetCountsFromTheRootRecord) {
  const auto nested = [](std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  // Root and `suggest` take two levels; the item's own nesting the rest.
  EXPECT_EQ(error_of(kHead + "suggest:\n  - " + nested(126) + "\n"), "(read)");
  EXPECT_EQ(error_of(kHead + "suggest:\n  - " + nested(127) + "\n"), "recursion limit exceeded at line 5 column 131");
  EXPECT_EQ(error_of(kHead + "adapter: " + nested(100000) + "\n"), "recursion limit exceeded at line 4 column 137");
  // Skipped by counting events, as deep as libyaml is let nest flow collections.
  EXPECT_EQ(error_of(kHead + "undeclared: " + nested(512) + "\nid2: x\n"), "(read)");
  // An alias inside its own anchored node replays itself until the budget ends it.
  EXPECT_EQ(error_of(kHead + "adapter: &a [*a]\n"), "recursion limit exceeded at line 4 column 10");
  EXPECT_EQ(error_of(kHead + "detect: &d {imports: *d}\n"),
            "detect.imports: invalid type: map, expected a sequence at line 4 column 9");
}

// What libyaml would spend more than linear time on is refused where it starts; a reading error met
// before that point still wins.
TEST(HostileInput, LibyamlsCostlyInputsAreRefusedWhereTheyStart) {
  const std::string head = "schema_version: 1\nkind: pattern\nid: p\n";
  const auto flow = [](std::size_t depth, const char* open, const char* close) {
    std::string text;
    for (std::size_t i = 0; i < depth; ++i) text += open;
    for (std::size_t i = 0; i < depth; ++i) text += close;
    return text;
  };
  const auto directives = [](std::size_t count, const char* line_break) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += level_name("%TAG !t", static_cast<int>(i)) + "! tag:x:" + line_break;
    return text;
  };
  const std::string deep = flow(100000, "[", "]");
  const std::string too_deep = "flow collections nested deeper than 512 levels";
  const std::string too_many = "more than 64 YAML directives (lines that begin with %)";
  const std::string bad_confidence = "confidence: invalid type: string \"x\", expected f32 at line 4 column 13";
  struct Case {
    std::string text;
    std::string display;
  };
  const Case cases[] = {
      {head + "zzz: " + flow(512, "[", "]") + "\n", "(read)"},
      {head + "zzz: " + flow(513, "[", "]") + "\n", too_deep + " at line 4 column 518"},
      {head + "zzz: " + flow(100000, "{a: ", "}") + "\n", too_deep + " at line 4 column 2054"},
      // A single-pair mapping in a sequence nests one level more.
      {head + "zzz: " + flow(300, "[a: ", "]") + "\n", too_deep + " at line 4 column 1030"},
      {head + "zzz: " + flow(513, "[\n", "]\n"), too_deep + " at line 516 column 1"},
      // Brackets that libyaml does not take as collections nest nothing.
      {head + "zzz: \"" + deep + "\"\n", "(read)"},
      {head + "zzz: a" + deep + "\n", "(read)"},
      {head + "# " + deep + "\nzzz: |\n  " + deep + "\n", "(read)"},
      // Block collections may nest at any depth.
      {head + "zzz:\n" + [] {
         std::string text;
         for (int i = 0; i < 100000; ++i) text += "- ";
         return text;
       }() + "x\n",
       "(read)"},
      {head + "confidence: x\nzzz: " + deep + "\n", bad_confidence},
      {head + "zzz: " + deep + "\nconfidence: x\n", too_deep + " at line 4 column 518"},
      {directives(64, "\n") + "---\n" + head, "(read)"},
      {directives(65, "\n") + "---\n" + head, too_many + " at line 65 column 1"},
      // libyaml starts a line after each of its line breaks.
      {directives(65, "\r") + "---\n" + head, too_many + " at line 65 column 1"},
      {directives(65, "\xE2\x80\xA8") + "---\n" + head, too_many + " at line 65 column 1"},
      // The directives of a later document: the first document's own failure comes first.
      {head + "...\n" + directives(64, "\n") + "---\n",
       "deserializing from YAML containing more than one document is not supported"},
      {head + "...\n" + directives(65, "\n") + "---\n", too_many + " at line 69 column 1"},
      {head + "confidence: x\n...\n" + directives(65, "\n") + "---\n", bad_confidence},
  };
  for (const Case& c : cases) {
    const PackRead<PatternPack> read = read_pattern_pack(c.text);
    EXPECT_EQ(read.error ? read.error->display() : "(read)", c.display) << c.text.substr(0, 200);
  }
}

TEST(HostileInput, HugeScalarsAreReadOnce) {
  const std::string big(50u << 20, 'x');
  const PackRead<FrameworkPack> read = read_framework_pack(kHead + "display_name: " + big + "\n");
  ASSERT_TRUE(read.pack.has_value());
  EXPECT_EQ(read.pack->display_name.size(), big.size());
  // Texts of every size around the storage blocks' sizes come back whole (checked under ASan too).
  std::string text = kHead;
  const std::size_t sizes[] = {1000, 1025, 2000, 16384, 16385, 70000, 3};
  for (std::size_t i = 0; i < std::size(sizes); ++i) {
    text += level_name("k", static_cast<int>(i)) + ": " + std::string(sizes[i], 'a' + static_cast<char>(i)) + "\n";
  }
  text += "display_name: " + std::string(3000, 'z') + "\n";
  const PackRead<FrameworkPack> mixed = read_framework_pack(text);
  ASSERT_TRUE(mixed.pack.has_value());
  EXPECT_EQ(mixed.pack->display_name, std::string(3000, 'z'));
  // A numeral too long to convert cheaply is shown as written.
  const std::string hex = "0x1" + std::string(100000, '0');
  const PackRead<PatternPack> pattern =
      read_pattern_pack("schema_version: 1\nkind: pattern\nid: p\nmatch: {min_branches: " + hex + "}\n");
  ASSERT_TRUE(pattern.error.has_value());
  EXPECT_EQ(pattern.error->display(),
            "match.min_branches: invalid value: integer `" + hex + "`, expected u32 at line 4 column 23");
}

}  // namespace
}  // namespace detect
