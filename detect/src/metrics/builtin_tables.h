// The call-name fragments that classify a call when the run's category table does not know its
// name, and the fragments that mark a routing decision. They are part of the system's behaviour:
// keep the entries and their order exactly (the order of the agent-spawn table decides which entry
// matches first; the others only need any match).
#pragma once

#include <array>
#include <string_view>

namespace detect {

inline constexpr std::array<std::string_view, 6> builtin_parallel_calls = {
    "asyncio.gather", "asyncio.as_completed", "asyncio.wait",
    "ThreadPoolExecutor", "ProcessPoolExecutor", "concurrent.futures",
};

inline constexpr std::array<std::string_view, 10> builtin_agent_spawns = {
    "Agent(", "AssistantAgent(", "LlmAgent(", "ReActAgent(", "Crew(",
    "Team(", "StateGraph(", "Runner.run", "create_react_agent", "spawn_agent",
};

inline constexpr std::array<std::string_view, 13> builtin_llm_calls = {
    "chat.completions.create", "messages.create", "completions.create", "generate_content",
    "responses.create", "ainvoke", "invoke", "complete", "predict", "run", "ask",
    "claude_agent_sdk.query", "openai.chat.completions.create",
};

inline constexpr std::array<std::string_view, 7> builtin_tool_calls = {
    "tool_call", "use_tool", "execute_tool", "invoke_tool", "call_tool", ".tools.", "function_call",
};

inline constexpr std::array<std::string_view, 7> routing_words = {
    "intent", "category", "label", "route", "decision", "classification", "choice",
};

}  // namespace detect
