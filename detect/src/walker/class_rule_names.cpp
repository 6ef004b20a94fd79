// The callee names that any class-instantiation rule of the packs can match.
#include "walker/file_pass.h"

namespace detect {

void ClassRuleNames::add(std::string_view name) {
  names_.try_insert(name, true);
  if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos)
    last_segments_.try_insert(name.substr(dot + 1), true);
}

ClassRuleNames collect_class_rule_names(const std::vector<FrameworkPack>& packs, HashKey key) {
  ClassRuleNames names(key);
  for (const FrameworkPack& pack : packs) {
    for (const DetectRule& rule : pack.detect.symbol_patterns)
      if (rule.kind == DetectRuleKind::ClassInstantiation && rule.class_name) names.add(*rule.class_name);
    for (const auto& [category, rules] : pack.idioms)
      for (const IdiomRule& rule : rules)
        if (rule.kind == IdiomKind::ClassInstantiation && rule.class_name) names.add(*rule.class_name);
  }
  return names;
}

}  // namespace detect
