// Class-instantiation rules applied to the calls of an expression, in source order: each call
// before its callee and its arguments.
#include <optional>

#include "pysyntax/visitor.h"
#include "walker/file_pass.h"
#include "walker/statement_calls.h"

namespace detect {
namespace {

void apply_class_rules(FileContext& context, const pysyntax::Call& call, std::string_view resolved) {
  // Collected when a template first needs them, then shared by every later rule of the call.
  std::optional<CallKeywords> keywords;
  auto capture = [&](const IdiomRule& rule, const char* key, std::string_view absent) {
    auto found = rule.capture.find(key);
    if (found == rule.capture.end()) return std::string(absent);
    if (!keywords) keywords.emplace(collect_keyword_values(call));
    return context.capture_expander.expand(found->second, *keywords);
  };
  for (const FrameworkPack& pack : context.framework_packs) {
    for (const DetectRule& rule : pack.detect.symbol_patterns) {
      if (rule.kind != DetectRuleKind::ClassInstantiation || !rule.class_name || *rule.class_name != resolved)
        continue;
      add_evidence(context, pack.id, "class_instantiation:" + *rule.class_name, rule.weight);
    }
    for (const auto& [category_key, rules] : pack.idioms) {
      // Only the templates an entry shows are expanded: no other capture reaches any output.
      const HitCategory category = hit_category(category_key);
      if (category == HitCategory::None) continue;
      for (const IdiomRule& rule : rules) {
        if (rule.kind != IdiomKind::ClassInstantiation || !rule.class_name || *rule.class_name != resolved)
          continue;
        HitTexts texts;
        if (category == HitCategory::LlmClient) {
          texts.provider = capture(rule, "provider", {});
          texts.model = capture(rule, "model", {});
        } else {
          texts.name = capture(rule, "name", resolved);
        }
        emit_idiom_hit(context, pack.id, category, rule, std::move(texts));
      }
    }
  }
}

// False when the callee's last attribute alone rules out every class rule: most calls of a file
// are method calls that are then never named.
bool may_name_class(const ClassRuleNames& names, const pysyntax::Call& call) {
  const pysyntax::Expr* callee = call.func;
  while (const auto* inner = callee->try_as<pysyntax::Call>()) callee = inner->func;
  const auto* attribute = callee->try_as<pysyntax::Attribute>();
  return attribute == nullptr || names.may_end_in(attribute->attr.id);
}

struct CallRuleWalker : pysyntax::SourceOrderVisitor<CallRuleWalker> {
  FileContext& context;
  explicit CallRuleWalker(FileContext& file_context) : context(file_context) {}

  bool enter_expr(const pysyntax::Expr& expression) {
    const auto* call = expression.try_as<pysyntax::Call>();
    if (call == nullptr || !may_name_class(context.class_rule_names, *call)) return true;
    std::string& resolved = context.name_buffer;
    if (!resolved_name(*call->func, context.aliases, resolved)) return true;
    if (!context.class_rule_names.contains(resolved)) return true;
    apply_class_rules(context, *call, resolved);
    return true;
  }
};

}  // namespace

void detect_in_expr(FileContext& context, const pysyntax::Expr& expression) {
  CallRuleWalker walker(context);
  walker.visit_expr(expression);
}

void walk_statement_calls(FileContext& context, const pysyntax::Stmt& statement) {
  CallRuleWalker walker(context);
  walker.visit_stmt(statement);
}

namespace {

struct MatchFinder : pysyntax::SourceOrderVisitor<MatchFinder> {
  FileContext& context;
  bool found = false;
  explicit MatchFinder(FileContext& file_context) : context(file_context) {}

  bool enter_expr(const pysyntax::Expr& expression) {
    if (found) return false;
    if (const auto* call = expression.try_as<pysyntax::Call>()) {
      std::string& resolved = context.name_buffer;
      found = may_name_class(context.class_rule_names, *call) &&
              resolved_name(*call->func, context.aliases, resolved) && context.class_rule_names.contains(resolved);
    }
    return !found;
  }
  bool enter_stmt(const pysyntax::Stmt&) { return !found; }
};

}  // namespace

bool holds_class_rule_call(FileContext& context, const pysyntax::Stmt& statement) {
  if (context.class_rule_names.empty()) return false;
  MatchFinder finder(context);
  finder.visit_stmt(statement);
  return finder.found;
}

}  // namespace detect
