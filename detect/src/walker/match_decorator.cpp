// Decorator rules: symbol rules of kind "decorator" give evidence, idiom rules of kind
// "decorator" give hits named after the decorated function or class.
#include "walker/file_pass.h"

namespace detect {
namespace {

bool target_fits(const IdiomRule& rule, bool decorated_is_class) {
  if (!rule.target) return true;
  return *rule.target == (decorated_is_class ? IdiomTarget::Class : IdiomTarget::Function);
}

}  // namespace

void match_decorator(FileContext& context, const pysyntax::Expr& decorator, bool decorated_is_class,
                     std::string_view decorated_name) {
  std::string resolved;
  if (!resolved_name(decorator, context.aliases, resolved)) return;
  for (const IndexedRule& rule : context.rules.decorator_rules(resolved)) {
    if (rule.symbol != nullptr) {
      add_evidence(context, rule.framework_id, "decorator:" + *rule.symbol->name, rule.symbol->weight);
      continue;
    }
    if (!target_fits(*rule.idiom, decorated_is_class)) continue;
    // Captures are never expanded for decorators: an LLM client has no provider or model.
    emit_idiom_hit(context, rule.framework_id, rule.category, *rule.idiom, {std::string(decorated_name), {}, {}});
  }
}

}  // namespace detect
