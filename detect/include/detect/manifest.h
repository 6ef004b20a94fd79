// The records that leave the analysis: the BuildManifest and everything it holds. Built by the
// analysis, written as JSON by the module, read back (UnclassifiedCall) from calls_json.
//
// The two bulk lists (pattern hits and unclassified calls, one record per function and per call
// site of a whole project) hold views of texts kept in a `TextStore` beside them, in memory that
// is not copied as the lists grow (`RecordList`); every other record owns its strings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "detect/record_list.h"
#include "detect/text_store.h"

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

// A `SourceLocation` whose file is a view, for the bulk records.
struct TextLocation {
  std::string_view file;
  std::uint32_t line = 0;
};

// Texts are views (see the top of this file).
struct PatternHit {
  std::string_view id;
  std::string_view display_name;
  float confidence = 0.0f;
  std::string_view function;  // qualified name
  TextLocation location;
};

// Texts are views (see the top of this file).
struct UnclassifiedCall {
  std::string_view callee;
  std::string_view resolved_callee;
  std::optional<std::string_view> receiver_rewrite;
  std::string_view function;
  TextLocation location;
};

struct BuildManifest {
  std::string schema_version = kSchemaVersion;
  std::optional<FrameworkCandidate> framework;
  std::vector<FrameworkCandidate> framework_candidates;
  std::vector<AgentEntry> agents;
  std::vector<ToolEntry> tools;
  std::vector<LlmClientEntry> llm_clients;
  std::vector<SpawnEdge> spawn_graph;
  RecordList<PatternHit> patterns;
  std::optional<std::string> deploy_target;
  std::vector<std::string> warnings;
  RecordList<UnclassifiedCall> unclassified_calls;
  // The texts that `patterns` and `unclassified_calls` view (they may also view texts that live
  // longer, such as literals).
  TextStore texts;
};

}  // namespace detect
