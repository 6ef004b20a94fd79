// The run's table from an exact call name to its category.
#include <array>
#include <utility>

#include "manifest/assembly.h"

namespace detect {

CallCategoryTable build_call_categories(const std::vector<FrameworkPack>& packs, HashKey key) {
  static constexpr std::array<std::pair<std::string_view, CallCategory>, 4> kCategories{{
      {"llm_call", CallCategory::LlmCall},
      {"tool_call", CallCategory::ToolCall},
      {"agent_spawn", CallCategory::AgentSpawn},
      {"parallel_call", CallCategory::ParallelCall},
  }};
  CallCategoryTable table(key);
  for (const FrameworkPack& pack : packs) {
    for (const auto& [category_key, category] : kCategories) {
      auto rules = pack.idioms.find(std::string(category_key));
      if (rules == pack.idioms.end()) continue;
      for (const IdiomRule& rule : rules->second) {
        const std::optional<std::string>* call_name = nullptr;
        if (rule.kind == IdiomKind::FunctionCall) call_name = &rule.name;
        if (rule.kind == IdiomKind::ClassInstantiation) call_name = &rule.class_name;
        if (call_name != nullptr && call_name->has_value()) table.insert_or_assign(**call_name, category);
      }
    }
  }
  return table;
}

}  // namespace detect
