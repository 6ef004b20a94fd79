// The manifest written in one pass, straight from the records' fields.
#include "core/manifest_json.h"

namespace vesk {
namespace {

// `"name":[e0,e1,...]` with each element written by `write_element`.
template <typename T, typename WriteElement>
void write_array_member(JsonBuffer& out, std::string_view name, std::span<const T> items,
                        WriteElement write_element) {
  out.key(name);
  out.raw('[');
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i != 0) out.raw(',');
    write_element(out, items[i]);
  }
  out.raw(']');
}

void write_text_member(JsonBuffer& out, std::string_view name, std::string_view value) {
  out.key(name);
  out.string(value);
}

void write_text(JsonBuffer& out, const std::string& text) { out.string(text); }

// Agents, tools and LLM clients share one shape: two texts of their own, then `framework_id`
// and `location`.
void write_idiom_hit(JsonBuffer& out, std::string_view first_key, std::string_view first,
                     std::string_view second_key, std::string_view second,
                     std::string_view framework_id, const detect::SourceLocation& location) {
  out.raw('{');
  write_text_member(out, first_key, first);
  out.raw(',');
  write_text_member(out, second_key, second);
  out.raw(',');
  write_text_member(out, "framework_id", framework_id);
  out.raw(',');
  write_location_json(out, location.file, location.line);
  out.raw('}');
}

void write_agent(JsonBuffer& out, const detect::AgentEntry& agent) {
  write_idiom_hit(out, "name", agent.name, "class_path", agent.class_path, agent.framework_id, agent.location);
}

void write_tool(JsonBuffer& out, const detect::ToolEntry& tool) {
  write_idiom_hit(out, "name", tool.name, "function_path", tool.function_path, tool.framework_id, tool.location);
}

void write_llm_client(JsonBuffer& out, const detect::LlmClientEntry& client) {
  write_idiom_hit(out, "provider", client.provider, "model", client.model, client.framework_id, client.location);
}

void write_spawn_edge(JsonBuffer& out, const detect::SpawnEdge& edge) {
  out.raw('{');
  write_text_member(out, "parent", edge.parent);
  out.raw(',');
  write_text_member(out, "child", edge.child);
  out.raw(',');
  write_text_member(out, "kind", edge.kind);
  out.raw('}');
}

// The two bulk records are most of a large document: their members are written with the keys
// and punctuation before them in one piece.
void write_pattern_hit(JsonBuffer& out, const detect::PatternHit& hit) {
  out.member("{\"id\":", hit.id);
  out.member(",\"display_name\":", hit.display_name);
  out.raw(",\"confidence\":");
  out.f32(hit.confidence);
  out.member(",\"function\":", hit.function);
  out.raw(',');
  write_location_json(out, hit.location.file, hit.location.line);
  out.raw('}');
}

void write_unclassified_call(JsonBuffer& out, const detect::UnclassifiedCall& call) {
  out.member("{\"callee\":", call.callee);
  out.member(",\"resolved_callee\":", call.resolved_callee);
  if (call.receiver_rewrite) out.member(",\"receiver_rewrite\":", *call.receiver_rewrite);
  out.member(",\"function\":", call.function);
  out.raw(',');
  write_location_json(out, call.location.file, call.location.line);
  out.raw('}');
}

}  // namespace

void write_candidate_json(JsonBuffer& out, const detect::FrameworkCandidate& candidate) {
  out.raw('{');
  write_text_member(out, "id", candidate.id);
  out.raw(',');
  write_text_member(out, "display_name", candidate.display_name);
  out.raw(',');
  out.key("confidence");
  out.f32(candidate.confidence);
  out.raw(',');
  write_array_member(out, "matched_rules", std::span(candidate.matched_rules), write_text);
  out.raw('}');
}

void write_location_json(JsonBuffer& out, std::string_view file, std::uint32_t line) {
  // Every record of a file has the same location: its bytes are copied from the record before.
  out.repeated(file, line, [&](JsonBuffer& piece) {
    piece.key("location");
    piece.raw('{');
    write_text_member(piece, "file", file);
    piece.raw(',');
    piece.key("line");
    piece.u32(line);
    piece.raw('}');
  });
}

void write_unclassified_calls_json(JsonBuffer& out, std::span<const detect::UnclassifiedCall> calls) {
  write_array_member(out, "unclassified_calls", calls, write_unclassified_call);
}

namespace {

void write_manifest(JsonBuffer& out, const detect::BuildManifest& manifest) {
  out.raw('{');
  write_text_member(out, "schema_version", manifest.schema_version);
  out.raw(',');
  out.key("framework");
  if (manifest.framework) {
    write_candidate_json(out, *manifest.framework);
  } else {
    out.raw("null");
  }
  out.raw(',');
  write_array_member(out, "framework_candidates", std::span(manifest.framework_candidates), write_candidate_json);
  out.raw(',');
  write_array_member(out, "agents", std::span(manifest.agents), write_agent);
  out.raw(',');
  write_array_member(out, "tools", std::span(manifest.tools), write_tool);
  out.raw(',');
  write_array_member(out, "llm_clients", std::span(manifest.llm_clients), write_llm_client);
  out.raw(',');
  write_array_member(out, "spawn_graph", std::span(manifest.spawn_graph), write_spawn_edge);
  out.raw(',');
  write_array_member(out, "patterns", std::span(manifest.patterns), write_pattern_hit);
  out.raw(',');
  out.key("deploy_target");
  if (manifest.deploy_target) {
    out.string(*manifest.deploy_target);
  } else {
    out.raw("null");
  }
  out.raw(',');
  write_array_member(out, "warnings", std::span(manifest.warnings), write_text);
  if (!manifest.unclassified_calls.empty()) {
    out.raw(',');
    write_unclassified_calls_json(out, manifest.unclassified_calls);
  }
  out.raw('}');
}

// A little more than the document takes when no text needs escaping: the two bulk lists are
// nearly all of it, and room reserved but never written costs no memory.
std::size_t expected_size(const detect::BuildManifest& manifest) {
  constexpr std::size_t kPerRecord = 160;  // keys, punctuation, number and line digits, and slack
  std::size_t size = 64 * 1024;
  for (const detect::PatternHit& hit : manifest.patterns)
    size += kPerRecord + hit.id.size() + hit.display_name.size() + hit.function.size() + hit.location.file.size();
  for (const detect::UnclassifiedCall& call : manifest.unclassified_calls) {
    size += kPerRecord + call.callee.size() + call.resolved_callee.size() + call.function.size() +
            call.location.file.size() + (call.receiver_rewrite ? call.receiver_rewrite->size() : 0);
  }
  return size;
}

}  // namespace

detect::Result<JsonText> write_manifest_json(const detect::BuildManifest& manifest) {
  JsonBuffer out(expected_size(manifest));
  write_manifest(out, manifest);
  return std::move(out).take();
}

}  // namespace vesk
