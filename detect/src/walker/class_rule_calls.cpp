// Class-instantiation rules: the calls that meet them, found in source order (each call before
// its callee and its arguments), and the rules applied to a call found.
#include <optional>

#include "pysyntax/invariant.h"
#include "walker/file_pass.h"

namespace detect {
namespace {

// The class rules that the call's resolved callee meets, written into `resolved`; none when the
// callee has no dotted name.
std::span<const IndexedRule> rules_met(const FileContext& context, const pysyntax::Call& call, std::string& resolved) {
  if (!resolved_name(*call.func, context.aliases, resolved)) return {};
  return context.rules.class_rules(resolved);
}

// False when the callee's last attribute alone rules out every class rule: most calls of a file
// are method calls that are then never named.
bool may_meet_class_rules(const FileContext& context, const pysyntax::Call& call) {
  const pysyntax::Expr* callee = call.func;
  while (const auto* inner = callee->try_as<pysyntax::Call>()) callee = inner->func;
  const auto* attribute = callee->try_as<pysyntax::Attribute>();
  if (attribute == nullptr || context.rules.may_end_in(attribute->attr.id)) return true;
  VESK_INVARIANT(([&] {
                   std::string resolved;
                   return rules_met(context, call, resolved).empty();
                 }()),
                 "a call ruled out by its last attribute meets a class rule");
  return false;
}

}  // namespace

bool ClassRuleCalls::enter_expr(const pysyntax::Expr& expression) {
  const auto* call = expression.try_as<pysyntax::Call>();
  if (call == nullptr || !may_meet_class_rules(context_, *call)) return true;
  const std::span<const IndexedRule> rules = rules_met(context_, *call, resolved_);
  if (!rules.empty()) found_.push_back({call, rules});
  return true;
}

void apply_class_rules(FileContext& context, const MatchedCall& matched) {
  // Every rule of the call names its resolved callee.
  const IndexedRule& first = matched.rules.front();
  const std::string_view resolved = first.symbol != nullptr ? *first.symbol->class_name : *first.idiom->class_name;
  // Collected when a template first needs them, then shared by every later rule of the call.
  std::optional<CallKeywords> keywords;
  auto capture = [&](const IdiomRule& rule, const char* key, std::string_view absent) {
    auto found = rule.capture.find(key);
    if (found == rule.capture.end()) return std::string(absent);
    if (!keywords) keywords.emplace(collect_keyword_values(*matched.call));
    return context.capture_expander.expand(found->second, *keywords);
  };
  for (const IndexedRule& rule : matched.rules) {
    if (rule.symbol != nullptr) {
      add_evidence(context, rule.framework_id, "class_instantiation:" + *rule.symbol->class_name, rule.symbol->weight);
      continue;
    }
    // Only the templates an entry shows are expanded: no other capture reaches any output.
    HitTexts texts;
    if (rule.category == HitCategory::LlmClient) {
      texts.provider = capture(*rule.idiom, "provider", {});
      texts.model = capture(*rule.idiom, "model", {});
    } else {
      texts.name = capture(*rule.idiom, "name", resolved);
    }
    emit_idiom_hit(context, rule.framework_id, rule.category, *rule.idiom, std::move(texts));
  }
}

}  // namespace detect
