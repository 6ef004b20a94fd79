// The callee names that any class-instantiation rule of the packs can match.
#include "walker/file_pass.h"

namespace detect {

ClassRuleNames collect_class_rule_names(const std::vector<FrameworkPack>& packs, HashKey key) {
  ClassRuleNames names(key);
  for (const FrameworkPack& pack : packs) {
    for (const DetectRule& rule : pack.detect.symbol_patterns)
      if (rule.kind == DetectRuleKind::ClassInstantiation && rule.class_name) names.try_insert(*rule.class_name, true);
    for (const auto& [category, rules] : pack.idioms)
      for (const IdiomRule& rule : rules)
        if (rule.kind == IdiomKind::ClassInstantiation && rule.class_name) names.try_insert(*rule.class_name, true);
  }
  return names;
}

}  // namespace detect
