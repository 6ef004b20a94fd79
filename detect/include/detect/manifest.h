// The records that leave the analysis: the BuildManifest and everything it holds. Built by the
// analysis, written as JSON by the module, read back (UnclassifiedCall) from calls_json.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace detect {

inline constexpr const char* kSchemaVersion = "0.2.0";

struct SourceLocation {
  std::string file;    // the source file's path as walked, shown as text
  std::uint32_t line = 0;  // the analysis records no position and writes 0
};

struct FrameworkCandidate {
  std::string id;
  std::string display_name;
  float confidence = 0.0f;
  std::vector<std::string> matched_rules;  // evidence texts, ascending bytewise
};

struct AgentEntry {
  std::string name;
  std::string class_path;
  std::string framework_id;
  SourceLocation location;
};

struct ToolEntry {
  std::string name;
  std::string function_path;
  std::string framework_id;
  SourceLocation location;
};

struct LlmClientEntry {
  std::string provider;
  std::string model;
  std::string framework_id;
  SourceLocation location;
};

struct SpawnEdge {
  std::string parent;
  std::string child;
  std::string kind;
};

struct PatternHit {
  std::string id;
  std::string display_name;
  float confidence = 0.0f;
  std::string function;  // qualified name
  SourceLocation location;
};

struct UnclassifiedCall {
  std::string callee;
  std::string resolved_callee;
  std::optional<std::string> receiver_rewrite;
  std::string function;
  SourceLocation location;
};

struct BuildManifest {
  std::string schema_version = kSchemaVersion;
  std::optional<FrameworkCandidate> framework;
  std::vector<FrameworkCandidate> framework_candidates;
  std::vector<AgentEntry> agents;
  std::vector<ToolEntry> tools;
  std::vector<LlmClientEntry> llm_clients;
  std::vector<SpawnEdge> spawn_graph;
  std::vector<PatternHit> patterns;
  std::optional<std::string> deploy_target;
  std::vector<std::string> warnings;
  std::vector<UnclassifiedCall> unclassified_calls;
};

}  // namespace detect
