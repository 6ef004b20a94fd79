// Assignment, deletion and other targets: an expression parsed in target position is checked
// against the target rule of its statement and marked Store or Del, as CPython's grammar
// allows only these forms there.
#include "parser/parser.h"

namespace pysyntax::parser {
namespace {

bool valid_target(const Expr* e, bool allow_starred, bool allow_sequences) {
  switch (e->kind) {
    case ExprKind::Name:
    case ExprKind::Attribute:
    case ExprKind::Subscript:
      return true;
    case ExprKind::Starred:
      return allow_starred && valid_target(e->as<Starred>().value, false, allow_sequences);
    case ExprKind::Tuple:
      if (!allow_sequences) return false;
      for (const Expr* elt : e->as<Tuple>().elts)
        if (!valid_target(elt, allow_starred, true)) return false;
      return true;
    case ExprKind::List:
      if (!allow_sequences) return false;
      for (const Expr* elt : e->as<List>().elts)
        if (!valid_target(elt, allow_starred, true)) return false;
      return true;
    default:
      return false;
  }
}

}  // namespace

void Parser::set_context(Expr* target, ExprContext ctx) {
  target->ctx = ctx;
  switch (target->kind) {
    case ExprKind::Starred:
      set_context(target->as<Starred>().value, ctx);
      break;
    case ExprKind::Tuple:
      for (Expr* elt : target->as<Tuple>().elts) set_context(elt, ctx);
      break;
    case ExprKind::List:
      for (Expr* elt : target->as<List>().elts) set_context(elt, ctx);
      break;
    default:
      break;
  }
}

bool Parser::check_target(Expr* target, TargetRule rule) {
  bool ok = false;
  ParseErrorKind error = ParseErrorKind::InvalidAssignmentTarget;
  switch (rule) {
    case TargetRule::Assign:
      ok = valid_target(target, true, true);
      break;
    case TargetRule::Augmented:
      ok = valid_target(target, false, false);
      error = ParseErrorKind::InvalidAugmentedAssignmentTarget;
      break;
    case TargetRule::Annotated:
      ok = valid_target(target, false, false);
      error = ParseErrorKind::InvalidAnnotatedAssignmentTarget;
      break;
    case TargetRule::Delete:
      ok = valid_target(target, false, true);
      error = ParseErrorKind::InvalidDeleteTarget;
      break;
    case TargetRule::NamedExpr:
      ok = target->kind == ExprKind::Name;
      error = ParseErrorKind::InvalidNamedExpressionTarget;
      break;
  }
  if (!ok) {
    fail(error, target->range);
    return false;
  }
  set_context(target, rule == TargetRule::Delete ? ExprContext::Del : ExprContext::Store);
  return true;
}

}  // namespace pysyntax::parser
