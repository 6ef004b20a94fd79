// The pattern test of one function against one pack's `match`.
#include "functions/pattern_test.h"

#include <cstdint>
#include <optional>

namespace detect {
namespace {

bool at_least(const std::optional<std::uint32_t>& bound, std::uint32_t value) { return !bound || value >= *bound; }
bool at_most(const std::optional<std::uint32_t>& bound, std::uint32_t value) { return !bound || value <= *bound; }
bool equals(const std::optional<bool>& wanted, bool value) { return !wanted || value == *wanted; }

}  // namespace

bool meets_pattern(const PatternMatch& match, const FunctionMetrics& metrics) {
  return at_least(match.min_llm_calls_per_function, metrics.llm_call_count) &&
         at_most(match.max_llm_calls_per_function, metrics.llm_call_count) &&
         at_least(match.min_tool_calls_per_function, metrics.tool_call_count) &&
         at_most(match.max_tool_calls_per_function, metrics.tool_call_count) &&
         at_least(match.min_agent_spawns_per_function, metrics.agent_spawn_count) &&
         at_least(match.min_branches, metrics.max_branches) && equals(match.has_loop, metrics.has_loop) &&
         equals(match.has_parallel, metrics.has_parallel) &&
         equals(match.has_branch_on_llm, metrics.has_branch_on_llm);
}

}  // namespace detect
