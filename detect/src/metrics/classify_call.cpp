// The call classifier: the category table first (under the receiver's bound callee, then under
// the call's effective name), then the four built-in fragment tables, and a `CallSite` for a
// dotted call that nothing matched.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/exclusive_use.h"
#include "metrics/builtin_tables.h"
#include "metrics/metrics.h"
#include "names/names.h"
#include "pysyntax/invariant.h"

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

// Which tables could match a name at all, from the runs of three adjacent bytes in it: every
// entry (and every stem an agent-spawn name may end with) begins with three bytes, so a table
// none of whose first three bytes occur in the name cannot match. Runs share slots, so a slot
// may let a table through needlessly but never keeps one out. Most call names pass no table at
// all, and then none of the forty substring searches runs.
constexpr std::uint8_t kParallelTable = 1, kAgentSpawnTable = 2, kLlmTable = 4, kToolTable = 8;
constexpr std::uint8_t kAllTables = kParallelTable | kAgentSpawnTable | kLlmTable | kToolTable;
constexpr std::size_t kSlots = 16384;

constexpr std::size_t slot_of(const char* run) {
  const auto byte = [run](int i) { return static_cast<std::size_t>(static_cast<unsigned char>(run[i])); };
  return (byte(0) * 961 + byte(1) * 31 + byte(2)) % kSlots;
}

template <std::size_t N>
constexpr void mark_runs(std::array<std::uint8_t, kSlots>& slots, const std::array<std::string_view, N>& entries,
                         std::uint8_t table) {
  for (std::string_view entry : entries) slots[slot_of(entry.data())] |= table;
}

constexpr std::array<std::uint8_t, kSlots> kTablesByRun = [] {
  std::array<std::uint8_t, kSlots> slots{};
  mark_runs(slots, builtin_parallel_calls, kParallelTable);
  mark_runs(slots, builtin_agent_spawns, kAgentSpawnTable);
  mark_runs(slots, builtin_llm_calls, kLlmTable);
  mark_runs(slots, builtin_tool_calls, kToolTable);
  return slots;
}();

template <std::size_t N>
constexpr bool stems_are_three_long(const std::array<std::string_view, N>& entries) {
  for (std::string_view entry : entries) {
    std::string_view stem = entry;
    while (stem.ends_with('(')) stem.remove_suffix(1);
    if (stem.size() < 3) return false;
  }
  return true;
}
static_assert(stems_are_three_long(builtin_parallel_calls) && stems_are_three_long(builtin_agent_spawns) &&
                  stems_are_three_long(builtin_llm_calls) && stems_are_three_long(builtin_tool_calls),
              "the filter needs every entry and stem to be three bytes or longer");

std::uint8_t possible_tables(std::string_view name) {
  std::uint8_t tables = 0;
  for (std::size_t i = 0; i + 2 < name.size(); ++i) tables |= kTablesByRun[slot_of(name.data() + i)];
  return tables;
}

bool matches_any_agent_spawn(std::string_view name) {
  for (std::string_view entry : builtin_agent_spawns) {
    if (matches_agent_spawn(name, entry)) return true;
  }
  return false;
}

// The tables among `candidates` that `name` matches, by the full test of each.
std::uint8_t matching_tables(std::string_view name, std::uint8_t candidates) {
  std::uint8_t matched = 0;
  if ((candidates & kParallelTable) != 0 && contains_any(name, builtin_parallel_calls)) matched |= kParallelTable;
  if ((candidates & kAgentSpawnTable) != 0 && matches_any_agent_spawn(name)) matched |= kAgentSpawnTable;
  if ((candidates & kLlmTable) != 0 && contains_any(name, builtin_llm_calls)) matched |= kLlmTable;
  if ((candidates & kToolTable) != 0 && contains_any(name, builtin_tool_calls)) matched |= kToolTable;
  return matched;
}

// The built-in tier: every table is tried, each acts at most once. Returns whether any matched.
bool apply_builtin_tables(std::string_view name, FunctionMetrics& metrics) {
  const std::uint8_t candidates = possible_tables(name);
  // The filter is derived from the entries alone; whatever names reach it, it must keep every
  // table that the full test accepts.
  VESK_INVARIANT(matching_tables(name, kAllTables) == matching_tables(name, candidates),
                 "the three-byte filter ruled out a built-in table that the call's name matches");
  if (candidates == 0) return false;
  const std::uint8_t matched = matching_tables(name, candidates);
  if ((matched & kParallelTable) != 0) metrics.has_parallel = true;
  if ((matched & kAgentSpawnTable) != 0) ++metrics.agent_spawn_count;
  if ((matched & kLlmTable) != 0) ++metrics.llm_call_count;
  if ((matched & kToolTable) != 0) ++metrics.tool_call_count;
  return matched != 0;
}

}  // namespace

void classify_call_expr(FunctionContext& context, const pysyntax::Expr& expression,
                        CallNameBuffers& buffers) {
  const auto* call = expression.try_as<pysyntax::Call>();
  if (call == nullptr) return;

  const ExclusiveUse::Scope in_use(buffers.use);
  std::string& raw = buffers.raw;
  if (!dotted_name(*call->func, raw)) raw.clear();
  const bool resolved = resolve_dotted(raw, context.aliases, buffers.resolved);
  const std::string_view effective = resolved ? std::string_view(buffers.resolved) : std::string_view(raw);

  // Receiver rewrite: a method called on a bound local is looked up under the bound callee.
  const std::size_t dot = raw.find('.');
  bool rewritten = false;
  if (dot != std::string::npos && !context.bindings.empty()) {
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
  if (dot == std::string::npos) return;
  // The record shows the resolved callee even where it is the callee itself.
  const std::size_t text_bytes = raw.size() + effective.size() + (rewritten ? buffers.rewritten.size() : 0);
  if (!context.budget.charge_record(text_bytes)) return;

  CallSite site;
  site.callee = context.texts.add(raw);
  site.resolved_callee = effective == raw ? site.callee : context.texts.add(effective);
  if (rewritten) site.receiver_rewrite = context.texts.add(buffers.rewritten);
  context.metrics.call_sites.push_back(site);
}

}  // namespace detect
