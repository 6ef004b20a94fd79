// The pass over one top-level statement: decorators of the reached definitions, then the
// repeated source-order walks of each reached statement.
#include "pysyntax/invariant.h"
#include "walker/file_pass.h"
#include "walker/statement_calls.h"

namespace detect {
namespace {

// `walk_calls` is false when no call of the top-level statement can match a class rule: the
// walks would then yield nothing, and only the decorators are matched.
void pass_statement(FileContext& context, const pysyntax::Stmt& statement, bool walk_calls) {
  if (const auto* def = statement.try_as<pysyntax::FunctionDef>()) {
    for (const pysyntax::Decorator& decorator : def->decorators)
      match_decorator(context, *decorator.expression, false, def->name.id);
    for (const pysyntax::Stmt* inner : def->body) pass_statement(context, *inner, walk_calls);
  } else if (const auto* cls = statement.try_as<pysyntax::ClassDef>()) {
    for (const pysyntax::Decorator& decorator : cls->decorators)
      match_decorator(context, *decorator.expression, true, cls->name.id);
    for (const pysyntax::Stmt* inner : cls->body) pass_statement(context, *inner, walk_calls);
  }
  if (walk_calls) walk_statement_calls(context, statement);
}

}  // namespace

void decorator_pass(FileContext& context, const pysyntax::Stmt& statement) {
  // Once the budget is spent the call fails, so nothing more is looked for.
  if (context.budget.exceeded()) return;
  const bool walk_calls = holds_class_rule_call(context, statement);
  // Every walk of the pass covers part of the statement, so the statement's own walk meets a
  // class rule whenever one of them would.
  VESK_INVARIANT(walk_calls || ([&] {
                   const std::size_t before = context.calls_meeting_class_rules;
                   walk_statement_calls(context, statement);
                   return context.calls_meeting_class_rules == before;
                 }()),
                 "a statement skipped as holding no class rule call holds one");
  pass_statement(context, statement, walk_calls);
}

}  // namespace detect
