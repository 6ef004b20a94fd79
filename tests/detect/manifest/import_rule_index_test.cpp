// The import-rule index against the three matching conditions written out plainly, over modules
// and targets with empty segments, repeated modules and shared prefixes.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "detect/walker/pack_fixtures.h"
#include "manifest/import_rule_index.h"

namespace detect {
namespace {

bool rule_matches(std::string_view target, std::string_view module) {
  if (target == module) return true;
  if (target.size() > module.size() && target.substr(0, module.size()) == module && target[module.size()] == '.')
    return true;
  return target == module.substr(0, module.find('.'));
}

TEST(ImportRuleIndex, MatchesWhatTheConditionsMatch) {
  const std::vector<std::string> modules{"", ".", "a", "a.", ".a", "a..b", "a.b", "a.b.c", "ab", "b", "a.bc", "a.b", "x.a"};
  const std::vector<std::string> targets{"", ".", "..", "a", "a.", "a..", ".a", "a..b", "a.b", "a.b.c", "a.b.c.d",
                                         "ab", "a.bc", "a.bcd", "b.a", "x", "x.a.b"};
  // The modules spread over two packs, so that positions run across packs.
  std::vector<ImportRule> first, second;
  for (std::size_t i = 0; i < modules.size(); ++i) (i % 2 == 0 ? first : second).push_back({modules[i], 0.5f});
  const std::vector<FrameworkPack> packs{testing::framework_pack("one", {}, {}, first),
                                         testing::framework_pack("two", {}, {}, second)};
  std::vector<std::string_view> by_position;
  for (const FrameworkPack& pack : packs)
    for (const ImportRule& rule : pack.detect.imports) by_position.push_back(rule.module);

  HashSeeds seeds;
  const ImportRuleIndex index(packs, seeds);
  auto expected = [&](const std::vector<std::string>& aliased) {
    std::vector<std::uint32_t> positions;
    for (std::uint32_t position = 0; position < by_position.size(); ++position) {
      for (const std::string& target : aliased) {
        if (rule_matches(target, by_position[position])) {
          positions.push_back(position);
          break;
        }
      }
    }
    return positions;
  };
  auto matched = [&](const std::vector<std::string>& aliased) {
    ImportAliases aliases(seeds.next());
    for (std::size_t i = 0; i < aliased.size(); ++i) aliases.insert_or_assign(std::to_string(i), aliased[i]);
    std::vector<std::uint32_t> positions{99};  // replaced, not appended to
    index.match(aliases, positions);
    return positions;
  };
  for (const std::string& target : targets) EXPECT_EQ(matched({target}), expected({target})) << '"' << target << '"';
  EXPECT_EQ(matched(targets), expected(targets));
  EXPECT_EQ(matched({}), expected({}));
  for (std::uint32_t position = 0; position < by_position.size(); ++position)
    EXPECT_EQ(index.rule(position).rule->module, by_position[position]);
  EXPECT_EQ(index.rule(1).framework_id, "one");
  EXPECT_EQ(index.rule(7).framework_id, "two");
}

}  // namespace
}  // namespace detect
