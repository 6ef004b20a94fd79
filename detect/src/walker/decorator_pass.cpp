// The pass over one top-level statement: decorators of the reached definitions, then the
// repeated source-order walks of each reached statement. The statement is walked once; the
// repetitions go over the calls that walk found.
#include "walker/file_pass.h"

namespace detect {
namespace {

class StatementPass {
 public:
  explicit StatementPass(FileContext& context)
      : context_(context), calls_(context.matched_calls), stretches_(context.matched_stretches) {}

  void run(const pysyntax::Stmt& statement) {
    calls_.clear();
    stretches_.clear();
    ClassRuleCalls finder(context_, calls_);
    // Without class rules no call can meet one, and only the decorators are matched.
    find_calls(statement, finder, context_.rules.has_class_rules());
    std::size_t next = 0;
    push_hits(statement, next);
  }

 private:
  // The one walk. A reached definition's walk is its header and then its body statements in
  // order, so the calls of each reached statement are one stretch of the list, and the
  // stretches are recorded in the order in which `push_hits` reaches the statements.
  void find_calls(const pysyntax::Stmt& statement, ClassRuleCalls& finder, bool walk) {
    const std::size_t slot = stretches_.size();
    stretches_.push_back({position(), 0});
    if (const auto* def = statement.try_as<pysyntax::FunctionDef>()) {
      if (walk) finder.walk_header(*def);
      for (const pysyntax::Stmt* inner : def->body) find_calls(*inner, finder, walk);
    } else if (const auto* cls = statement.try_as<pysyntax::ClassDef>()) {
      if (walk) finder.walk_header(*cls);
      for (const pysyntax::Stmt* inner : cls->body) find_calls(*inner, finder, walk);
    } else if (walk) {
      finder.visit_stmt(statement);
    }
    stretches_[slot].end = position();
  }

  // The order of the repeated walks: a reached definition's decorators, then the same for each
  // statement of its body, then the walk of the whole statement.
  void push_hits(const pysyntax::Stmt& statement, std::size_t& next) {
    const MatchedStretch stretch = stretches_[next++];
    if (const auto* def = statement.try_as<pysyntax::FunctionDef>()) {
      for (const pysyntax::Decorator& decorator : def->decorators)
        match_decorator(context_, *decorator.expression, false, def->name.id);
      for (const pysyntax::Stmt* inner : def->body) push_hits(*inner, next);
    } else if (const auto* cls = statement.try_as<pysyntax::ClassDef>()) {
      for (const pysyntax::Decorator& decorator : cls->decorators)
        match_decorator(context_, *decorator.expression, true, cls->name.id);
      for (const pysyntax::Stmt* inner : cls->body) push_hits(*inner, next);
    }
    for (std::uint32_t i = stretch.begin; i < stretch.end && !context_.budget.exceeded(); ++i)
      apply_class_rules(context_, calls_[i]);
  }

  std::uint32_t position() const { return static_cast<std::uint32_t>(calls_.size()); }

  FileContext& context_;
  std::vector<MatchedCall>& calls_;
  std::vector<MatchedStretch>& stretches_;
};

}  // namespace

void decorator_pass(FileContext& context, const pysyntax::Stmt& statement) {
  // Once the budget is spent the call fails, so nothing more is looked for.
  if (context.budget.exceeded()) return;
  StatementPass(context).run(statement);
}

}  // namespace detect
