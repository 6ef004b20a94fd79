// Writing what the file pass finds: evidence items and idiom-hit entries.
#include "walker/file_pass.h"

namespace detect {

void put_evidence(FrameworkEvidence& evidence, HashSeeds& seeds, std::string_view framework_id,
                  std::string_view text, float weight) {
  evidence.get_or_insert(framework_id, [&] { return EvidenceWeights(seeds.next()); })
      .insert_or_assign(text, weight);
}

void add_evidence(FileContext& context, std::string_view framework_id, std::string_view text, float weight) {
  put_evidence(context.evidence, context.seeds, framework_id, text, weight);
}

namespace {

std::string capture_or_empty(CaptureResults& captures, const char* key) {
  auto found = captures.find(key);
  return found == captures.end() ? std::string() : std::move(found->second);
}

}  // namespace

void emit_idiom_hit(FileContext& context, std::string_view framework_id, std::string_view category,
                    const IdiomRule& rule, std::string name, CaptureResults captures) {
  auto path = [&rule]() -> std::string {
    if (rule.class_name) return *rule.class_name;
    if (rule.name) return *rule.name;
    return {};
  };
  SourceLocation location{context.file, 0};
  if (category == "agent") {
    context.agents.push_back({std::move(name), path(), std::string(framework_id), std::move(location)});
  } else if (category == "orchestrator") {
    context.agents.push_back(
        {std::move(name), path() + "#orchestrator", std::string(framework_id), std::move(location)});
  } else if (category == "tool") {
    context.tools.push_back({std::move(name), path(), std::string(framework_id), std::move(location)});
  } else if (category == "llm_client") {
    context.llm_clients.push_back({capture_or_empty(captures, "provider"), capture_or_empty(captures, "model"),
                                   std::string(framework_id), std::move(location)});
  }
}

}  // namespace detect
