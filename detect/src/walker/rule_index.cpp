// The class-instantiation and decorator rules of all packs, by the name each compares.
#include "walker/file_pass.h"

namespace detect {

RuleIndex::RuleIndex(const std::vector<FrameworkPack>& packs, HashSeeds& seeds)
    : classes_(seeds.next()), decorators_(seeds.next()), last_segments_(seeds.next()) {
  // One pass in the order the file pass applies the rules, so each name's list is in that order.
  for (const FrameworkPack& pack : packs) {
    for (const DetectRule& rule : pack.detect.symbol_patterns) {
      if (rule.kind == DetectRuleKind::ClassInstantiation && rule.class_name) {
        add_class(*rule.class_name, {pack.id, &rule, nullptr, HitCategory::None});
      } else if (rule.kind == DetectRuleKind::Decorator && rule.name) {
        add(decorators_, *rule.name, {pack.id, &rule, nullptr, HitCategory::None});
      }
    }
    for (const auto& [category_key, rules] : pack.idioms) {
      const HitCategory category = hit_category(category_key);
      if (category == HitCategory::None) continue;
      for (const IdiomRule& rule : rules) {
        if (rule.kind == IdiomKind::ClassInstantiation && rule.class_name) {
          add_class(*rule.class_name, {pack.id, nullptr, &rule, category});
        } else if (rule.kind == IdiomKind::Decorator && rule.name) {
          add(decorators_, *rule.name, {pack.id, nullptr, &rule, category});
        }
      }
    }
  }
}

void RuleIndex::add(TextMap<std::uint32_t>& names, std::string_view name, IndexedRule rule) {
  const std::uint32_t* list = names.find(name);
  if (list == nullptr) {
    names.try_insert(name, static_cast<std::uint32_t>(lists_.size()));
    lists_.emplace_back();
    list = names.find(name);
  }
  lists_[*list].push_back(rule);
}

void RuleIndex::add_class(std::string_view name, IndexedRule rule) {
  add(classes_, name, rule);
  if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos)
    last_segments_.try_insert(name.substr(dot + 1), true);
}

}  // namespace detect
