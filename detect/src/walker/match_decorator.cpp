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
  std::string& resolved = context.name_buffer;
  if (!resolved_name(decorator, context.aliases, resolved)) return;
  for (const FrameworkPack& pack : context.framework_packs) {
    for (const DetectRule& rule : pack.detect.symbol_patterns) {
      if (rule.kind != DetectRuleKind::Decorator || !rule.name || *rule.name != resolved) continue;
      add_evidence(context, pack.id, "decorator:" + *rule.name, rule.weight);
    }
    for (const auto& [category_key, rules] : pack.idioms) {
      const HitCategory category = hit_category(category_key);
      if (category == HitCategory::None) continue;
      for (const IdiomRule& rule : rules) {
        if (rule.kind != IdiomKind::Decorator || !rule.name || *rule.name != resolved) continue;
        if (!target_fits(rule, decorated_is_class)) continue;
        // Captures are never expanded for decorators: an LLM client has no provider or model.
        emit_idiom_hit(context, pack.id, category, rule, {std::string(decorated_name), {}, {}});
      }
    }
  }
}

}  // namespace detect
