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

HitCategory hit_category(std::string_view category) {
  if (category == "agent") return HitCategory::Agent;
  if (category == "orchestrator") return HitCategory::Orchestrator;
  if (category == "tool") return HitCategory::Tool;
  if (category == "llm_client") return HitCategory::LlmClient;
  return HitCategory::None;
}

void emit_idiom_hit(FileContext& context, std::string_view framework_id, HitCategory category,
                    const IdiomRule& rule, HitTexts texts) {
  if (category == HitCategory::None) return;
  const std::string_view path = rule.class_name ? std::string_view(*rule.class_name)
                                : rule.name     ? std::string_view(*rule.name)
                                                : std::string_view();
  const std::size_t text_bytes = texts.name.size() + texts.provider.size() + texts.model.size() + path.size() +
                                 framework_id.size() + context.file.size();
  if (!context.budget.charge_record(text_bytes)) return;
  SourceLocation location{context.file, 0};
  switch (category) {
    case HitCategory::Agent:
      context.agents.push_back(
          {std::move(texts.name), std::string(path), std::string(framework_id), std::move(location)});
      break;
    case HitCategory::Orchestrator:
      context.agents.push_back(
          {std::move(texts.name), std::string(path) + "#orchestrator", std::string(framework_id), std::move(location)});
      break;
    case HitCategory::Tool:
      context.tools.push_back(
          {std::move(texts.name), std::string(path), std::string(framework_id), std::move(location)});
      break;
    case HitCategory::LlmClient:
      context.llm_clients.push_back(
          {std::move(texts.provider), std::move(texts.model), std::string(framework_id), std::move(location)});
      break;
    case HitCategory::None:
      break;
  }
}

}  // namespace detect
