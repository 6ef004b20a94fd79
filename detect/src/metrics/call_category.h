// The kinds of call that a framework idiom can name, and the run's table from an exact call name
// to its kind. The table is built once per analysis from the framework packs and consulted by the
// call classifier before its built-in fragment tables: an exact name found here decides a call
// alone.
#pragma once

#include <cstdint>

#include "common/seeded_hash.h"

namespace detect {

// In the order of the idiom category keys "llm_call", "tool_call", "agent_spawn", "parallel_call".
enum class CallCategory : std::uint8_t { LlmCall, ToolCall, AgentSpawn, ParallelCall };

// Call name (compared bytewise; the empty text is a possible key) to its category.
using CallCategoryTable = TextMap<CallCategory>;

}  // namespace detect
