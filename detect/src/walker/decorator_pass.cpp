// The pass over one top-level statement: the decorators of the reached definitions, and the
// class rules applied, for each reached statement, to every call found in it. The statement is
// walked once; a call inside nested reached definitions is found once and met again by each.
#include "walker/file_pass.h"

namespace detect {
namespace {

class StatementPass {
 public:
  explicit StatementPass(FileContext& context)
      : context_(context), calls_(context.matched_calls), finder_(context, calls_) {}

  void run(const pysyntax::Stmt& statement) {
    calls_.clear();
    reach(statement);
  }

 private:
  // A reached definition's header is walked and its decorators matched, then the statements of
  // its body are reached in order; any other statement is walked whole. The calls found from
  // `begin` on are then this statement's, its body's at every depth included, and the class
  // rules meet them after the body's own statements have had theirs.
  void reach(const pysyntax::Stmt& statement) {
    const std::size_t begin = calls_.size();
    if (const auto* def = statement.try_as<pysyntax::FunctionDef>()) {
      if (walk_) finder_.walk_header(*def);
      for (const pysyntax::Decorator& decorator : def->decorators)
        match_decorator(context_, *decorator.expression, false, def->name.id);
      for (const pysyntax::Stmt* inner : def->body) reach(*inner);
    } else if (const auto* cls = statement.try_as<pysyntax::ClassDef>()) {
      if (walk_) finder_.walk_header(*cls);
      for (const pysyntax::Decorator& decorator : cls->decorators)
        match_decorator(context_, *decorator.expression, true, cls->name.id);
      for (const pysyntax::Stmt* inner : cls->body) reach(*inner);
    } else if (walk_) {
      finder_.visit_stmt(statement);
    }
    // Applying a call's rules finds no call, so the list does not move under the loop.
    for (std::size_t i = begin; i < calls_.size() && !context_.budget.exceeded(); ++i)
      apply_class_rules(context_, calls_[i]);
  }

  FileContext& context_;
  std::vector<MatchedCall>& calls_;
  ClassRuleCalls finder_;
  // Without class rules no call can meet one, and only the decorators are matched.
  const bool walk_ = context_.rules.has_class_rules();
};

}  // namespace

void decorator_pass(FileContext& context, const pysyntax::Stmt& statement) {
  // Once the budget is spent the call fails, so nothing more is looked for.
  if (context.budget.exceeded()) return;
  StatementPass(context).run(statement);
}

}  // namespace detect
