// The call classifier: the category table first (under the receiver's bound callee, then under
// the call's effective name), then the four built-in fragment tables, and a `CallSite` for a
// dotted call that nothing matched.
#include <optional>
#include <string>
#include <string_view>

#include "metrics/builtin_tables.h"
#include "metrics/metrics.h"
#include "names/names.h"

namespace detect {
namespace {

void apply_category(CallCategory category, FunctionMetrics& metrics) {
  switch (category) {
    case CallCategory::LlmCall:
      ++metrics.llm_call_count;
      break;
    case CallCategory::ToolCall:
      ++metrics.tool_call_count;
      break;
    case CallCategory::AgentSpawn:
      ++metrics.agent_spawn_count;
      break;
    case CallCategory::ParallelCall:
      metrics.has_parallel = true;
      break;
  }
}

template <std::size_t N>
bool contains_any(std::string_view text, const std::array<std::string_view, N>& fragments) {
  for (std::string_view fragment : fragments) {
    if (text.find(fragment) != std::string_view::npos) return true;
  }
  return false;
}

// Whether the call text "{name}(" contains `entry`, or `name` ends with `entry` stripped of its
// trailing "(". The call text is never built: an occurrence in it lies either inside `name`, or
// ends at the appended "(" (then `entry` ends with "(" and `name` ends with the rest of it).
bool matches_agent_spawn(std::string_view name, std::string_view entry) {
  if (name.find(entry) != std::string_view::npos) return true;
  if (entry.ends_with('(') && name.ends_with(entry.substr(0, entry.size() - 1))) return true;
  std::string_view stem = entry;
  while (stem.ends_with('(')) stem.remove_suffix(1);
  return name.ends_with(stem);
}

// The built-in tier: every table is tried, each acts at most once. Returns whether any matched.
bool apply_builtin_tables(std::string_view name, FunctionMetrics& metrics) {
  bool matched = false;
  if (contains_any(name, builtin_parallel_calls)) {
    metrics.has_parallel = true;
    matched = true;
  }
  for (std::string_view entry : builtin_agent_spawns) {
    if (matches_agent_spawn(name, entry)) {
      ++metrics.agent_spawn_count;
      matched = true;
      break;
    }
  }
  if (contains_any(name, builtin_llm_calls)) {
    ++metrics.llm_call_count;
    matched = true;
  }
  if (contains_any(name, builtin_tool_calls)) {
    ++metrics.tool_call_count;
    matched = true;
  }
  return matched;
}

}  // namespace

void classify_call_expr(FunctionContext& context, const pysyntax::Expr& expression,
                        CallNameBuffers& buffers) {
  const auto* call = expression.try_as<pysyntax::Call>();
  if (call == nullptr) return;

  std::string& raw = buffers.raw;
  if (!dotted_name(*call->func, raw)) raw.clear();
  std::optional<std::string> resolved = resolve_dotted(raw, context.aliases);
  const std::string_view effective = resolved ? std::string_view(*resolved) : std::string_view(raw);

  // Receiver rewrite: a method called on a bound local is looked up under the bound callee.
  bool rewritten = false;
  if (const std::size_t dot = raw.find('.'); dot != std::string::npos && !context.bindings.empty()) {
    if (const std::string* bound = context.bindings.find(std::string_view(raw).substr(0, dot))) {
      buffers.rewritten.assign(*bound);
      buffers.rewritten.append(std::string_view(raw).substr(dot));
      rewritten = true;
      if (const CallCategory* category = context.categories.find(buffers.rewritten)) {
        apply_category(*category, context.metrics);
        return;
      }
    }
  }
  if (const CallCategory* category = context.categories.find(effective)) {
    apply_category(*category, context.metrics);
    return;
  }
  if (apply_builtin_tables(effective, context.metrics)) return;
  if (raw.find('.') == std::string::npos) return;

  CallSite site;
  site.callee = raw;
  site.resolved_callee = resolved ? std::move(*resolved) : raw;
  if (rewritten) site.receiver_rewrite = buffers.rewritten;
  context.metrics.call_sites.push_back(std::move(site));
}

}  // namespace detect
