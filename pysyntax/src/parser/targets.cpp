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
    case ExprKind::Starred: {
      // `*` (!'*' star_target): a starred target holds no starred target directly, while the
      // elements of a list or tuple under it may be starred again (`[*[*a]] = b`).
      const Expr* value = e->as<Starred>().value;
      return allow_starred && value->kind != ExprKind::Starred && valid_target(value, true, allow_sequences);
    }
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

/// CPython tries `'(' single_target ')' ':'` before an attribute or subscript target, and a
/// PEG choice does not come back once its first branch matched: when the statement opens with
/// a parenthesised name, attribute or subscript, the `:` must follow its `)`. So `(f).x: int`
/// and `(f)[0]: int` are rejected, while `(f()).x: int` and `(1).x: int` are not.
bool Parser::check_annotated_prefix(const Expr* target, uint32_t start) {
  if (text_[start] != '(') return true;
  // Down the primary chain to the first node that does not start at the `(`: the inside of
  // the parentheses (a parenthesised tuple or generator keeps the `(` in its range).
  const Expr* inner = target;
  while (inner->range.start == start) {
    if (inner->kind == ExprKind::Attribute) inner = inner->as<Attribute>().value;
    else if (inner->kind == ExprKind::Subscript) inner = inner->as<Subscript>().value;
    else if (inner->kind == ExprKind::Call) inner = inner->as<Call>().func;
    else return true;
  }
  if (inner == target) return true;
  if (inner->kind != ExprKind::Name && inner->kind != ExprKind::Attribute && inner->kind != ExprKind::Subscript)
    return true;
  fail(ParseErrorKind::InvalidAnnotatedAssignmentTarget, target->range);
  return false;
}

}  // namespace pysyntax::parser
