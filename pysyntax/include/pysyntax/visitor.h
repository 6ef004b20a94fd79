// A generic walk over statements, expressions and patterns in source order. Derive with CRTP and
// hide the hooks you need:
//
//   struct CallCounter : pysyntax::SourceOrderVisitor<CallCounter> {
//     int calls = 0;
//     bool enter_expr(const pysyntax::Expr& e) { calls += e.kind == pysyntax::ExprKind::Call; return true; }
//   };
//   CallCounter counter; counter.visit_body(module.body);
//
// `enter_expr` runs before an expression's sub-expressions; returning false skips them. A hook
// that walks the children itself calls `walk_expr(e)` (which hands each child to `visit_expr`,
// and so to the hook) and returns false. `enter_stmt` and `enter_pattern` work alike. Every
// other member may be hidden too: the walk always dispatches through the derived class.
//
// The order is the order in which constructs begin in the source, with these fixed choices: a
// function's decorators, type parameters (bound, default), parameters (annotation, then
// default), return annotation, body; a class's decorators, type parameters, bases and keywords,
// body; assignment targets, then value; a comprehension's element(s) before its `for` clauses;
// a conditional expression's body, test, else part. Recursion depth is bounded by the parser's
// nesting bounds, so a walk of any parsed tree cannot exhaust the stack.
#pragma once

#include "pysyntax/ast.h"

namespace pysyntax {

template <class Derived>
class SourceOrderVisitor {
 public:
  // Hooks.
  bool enter_stmt(const Stmt&) { return true; }
  bool enter_expr(const Expr&) { return true; }
  bool enter_pattern(const Pattern&) { return true; }

  // Entry points.
  void visit_module(const Module& module) { self().visit_body(module.body); }
  void visit_body(Span<Stmt*> body) {
    for (const Stmt* stmt : body) self().visit_stmt(*stmt);
  }
  void visit_stmt(const Stmt& stmt) {
    if (self().enter_stmt(stmt)) self().walk_stmt(stmt);
  }
  void visit_expr(const Expr& expr) {
    if (self().enter_expr(expr)) self().walk_expr(expr);
  }
  void visit_pattern(const Pattern& pattern) {
    if (self().enter_pattern(pattern)) self().walk_pattern(pattern);
  }

  // Parts shared by several constructs.
  void visit_optional(const Expr* expr) {
    if (expr != nullptr) self().visit_expr(*expr);
  }
  void visit_exprs(Span<Expr*> exprs) {
    for (const Expr* expr : exprs) self().visit_expr(*expr);
  }
  void visit_decorators(Span<Decorator> decorators) {
    for (const Decorator& decorator : decorators) self().visit_expr(*decorator.expression);
  }
  void visit_type_params(Span<TypeParam> params) {
    for (const TypeParam& param : params) {
      visit_optional(param.bound);
      visit_optional(param.default_value);
    }
  }
  void visit_parameter(const Parameter& param) {
    visit_optional(param.annotation);
    visit_optional(param.default_value);
  }
  void visit_parameters(const Parameters& params) {
    for (const Parameter& p : params.posonly) self().visit_parameter(p);
    for (const Parameter& p : params.args) self().visit_parameter(p);
    if (params.vararg != nullptr) self().visit_parameter(*params.vararg);
    for (const Parameter& p : params.kwonly) self().visit_parameter(p);
    if (params.kwarg != nullptr) self().visit_parameter(*params.kwarg);
  }
  void visit_arguments(Span<Argument> arguments) {
    for (const Argument& argument : arguments) self().visit_expr(*argument.value);
  }
  void visit_comprehensions(Span<Comprehension> generators) {
    for (const Comprehension& generator : generators) {
      self().visit_expr(*generator.target);
      self().visit_expr(*generator.iter);
      visit_exprs(generator.ifs);
    }
  }
  void visit_interpolated(Span<InterpolatedElement> elements) {
    for (const InterpolatedElement& element : elements) {
      if (element.expression == nullptr) continue;
      self().visit_expr(*element.expression);
      if (element.format_spec != nullptr) self().visit_interpolated(element.format_spec->elements);
    }
  }

  /// What a definition holds before its body, in source order; its walk is this, then the body.
  void walk_header(const FunctionDef& s) {
    self().visit_decorators(s.decorators);
    self().visit_type_params(s.type_params);
    self().visit_parameters(*s.parameters);
    visit_optional(s.returns);
  }
  void walk_header(const ClassDef& s) {
    self().visit_decorators(s.decorators);
    self().visit_type_params(s.type_params);
    self().visit_arguments(s.arguments);
  }

  /// The sub-expressions and sub-statements of a statement, in source order.
  void walk_stmt(const Stmt& stmt) {
    switch (stmt.kind) {
      case StmtKind::FunctionDef: {
        const auto& s = stmt.as<FunctionDef>();
        self().walk_header(s);
        self().visit_body(s.body);
        break;
      }
      case StmtKind::ClassDef: {
        const auto& s = stmt.as<ClassDef>();
        self().walk_header(s);
        self().visit_body(s.body);
        break;
      }
      case StmtKind::Return:
        visit_optional(stmt.as<Return>().value);
        break;
      case StmtKind::Delete:
        visit_exprs(stmt.as<Delete>().targets);
        break;
      case StmtKind::Assign: {
        const auto& s = stmt.as<Assign>();
        visit_exprs(s.targets);
        self().visit_expr(*s.value);
        break;
      }
      case StmtKind::AugAssign: {
        const auto& s = stmt.as<AugAssign>();
        self().visit_expr(*s.target);
        self().visit_expr(*s.value);
        break;
      }
      case StmtKind::AnnAssign: {
        const auto& s = stmt.as<AnnAssign>();
        self().visit_expr(*s.target);
        self().visit_expr(*s.annotation);
        visit_optional(s.value);
        break;
      }
      case StmtKind::TypeAlias: {
        const auto& s = stmt.as<TypeAlias>();
        self().visit_expr(*s.name);
        self().visit_type_params(s.type_params);
        self().visit_expr(*s.value);
        break;
      }
      case StmtKind::For: {
        const auto& s = stmt.as<For>();
        self().visit_expr(*s.target);
        self().visit_expr(*s.iter);
        self().visit_body(s.body);
        self().visit_body(s.orelse);
        break;
      }
      case StmtKind::While: {
        const auto& s = stmt.as<While>();
        self().visit_expr(*s.test);
        self().visit_body(s.body);
        self().visit_body(s.orelse);
        break;
      }
      case StmtKind::If: {
        const auto& s = stmt.as<If>();
        self().visit_expr(*s.test);
        self().visit_body(s.body);
        for (const ElifElseClause& clause : s.clauses) {
          visit_optional(clause.test);
          self().visit_body(clause.body);
        }
        break;
      }
      case StmtKind::With: {
        const auto& s = stmt.as<With>();
        for (const WithItem& item : s.items) {
          self().visit_expr(*item.context_expr);
          visit_optional(item.optional_vars);
        }
        self().visit_body(s.body);
        break;
      }
      case StmtKind::Match: {
        const auto& s = stmt.as<Match>();
        self().visit_expr(*s.subject);
        for (const MatchCase& c : s.cases) {
          self().visit_pattern(*c.pattern);
          visit_optional(c.guard);
          self().visit_body(c.body);
        }
        break;
      }
      case StmtKind::Raise: {
        const auto& s = stmt.as<Raise>();
        visit_optional(s.exc);
        visit_optional(s.cause);
        break;
      }
      case StmtKind::Try: {
        const auto& s = stmt.as<Try>();
        self().visit_body(s.body);
        for (const ExceptHandler& handler : s.handlers) {
          visit_optional(handler.type);
          self().visit_body(handler.body);
        }
        self().visit_body(s.orelse);
        self().visit_body(s.finalbody);
        break;
      }
      case StmtKind::Assert: {
        const auto& s = stmt.as<Assert>();
        self().visit_expr(*s.test);
        visit_optional(s.msg);
        break;
      }
      case StmtKind::ExprStmt:
        self().visit_expr(*stmt.as<ExprStmt>().value);
        break;
      case StmtKind::Import:
      case StmtKind::ImportFrom:
      case StmtKind::Global:
      case StmtKind::Nonlocal:
      case StmtKind::Pass:
      case StmtKind::Break:
      case StmtKind::Continue:
        break;
    }
  }

  /// The direct sub-expressions of an expression, in source order, each through `visit_expr`.
  void walk_expr(const Expr& expr) {
    switch (expr.kind) {
      case ExprKind::BoolOp:
        visit_exprs(expr.as<BoolOp>().values);
        break;
      case ExprKind::NamedExpr: {
        const auto& e = expr.as<NamedExpr>();
        self().visit_expr(*e.target);
        self().visit_expr(*e.value);
        break;
      }
      case ExprKind::BinOp: {
        const auto& e = expr.as<BinOp>();
        self().visit_expr(*e.left);
        self().visit_expr(*e.right);
        break;
      }
      case ExprKind::UnaryOp:
        self().visit_expr(*expr.as<UnaryOp>().operand);
        break;
      case ExprKind::Lambda: {
        const auto& e = expr.as<Lambda>();
        if (e.parameters != nullptr) self().visit_parameters(*e.parameters);
        self().visit_expr(*e.body);
        break;
      }
      case ExprKind::IfExp: {
        const auto& e = expr.as<IfExp>();
        self().visit_expr(*e.body);
        self().visit_expr(*e.test);
        self().visit_expr(*e.orelse);
        break;
      }
      case ExprKind::Dict:
        for (const DictItem& item : expr.as<Dict>().items) {
          visit_optional(item.key);
          self().visit_expr(*item.value);
        }
        break;
      case ExprKind::Set:
        visit_exprs(expr.as<Set>().elts);
        break;
      case ExprKind::ListComp: {
        const auto& e = expr.as<ListComp>();
        self().visit_expr(*e.elt);
        self().visit_comprehensions(e.generators);
        break;
      }
      case ExprKind::SetComp: {
        const auto& e = expr.as<SetComp>();
        self().visit_expr(*e.elt);
        self().visit_comprehensions(e.generators);
        break;
      }
      case ExprKind::DictComp: {
        const auto& e = expr.as<DictComp>();
        self().visit_expr(*e.key);
        self().visit_expr(*e.value);
        self().visit_comprehensions(e.generators);
        break;
      }
      case ExprKind::GeneratorExp: {
        const auto& e = expr.as<GeneratorExp>();
        self().visit_expr(*e.elt);
        self().visit_comprehensions(e.generators);
        break;
      }
      case ExprKind::Await:
        self().visit_expr(*expr.as<Await>().value);
        break;
      case ExprKind::Yield:
        visit_optional(expr.as<Yield>().value);
        break;
      case ExprKind::YieldFrom:
        self().visit_expr(*expr.as<YieldFrom>().value);
        break;
      case ExprKind::Compare: {
        const auto& e = expr.as<Compare>();
        self().visit_expr(*e.left);
        visit_exprs(e.comparators);
        break;
      }
      case ExprKind::Call: {
        const auto& e = expr.as<Call>();
        self().visit_expr(*e.func);
        self().visit_arguments(e.arguments);
        break;
      }
      case ExprKind::FString:
        for (const InterpolatedPart& part : expr.as<FString>().parts) self().visit_interpolated(part.elements);
        break;
      case ExprKind::TString:
        for (const InterpolatedPart& part : expr.as<TString>().parts) self().visit_interpolated(part.elements);
        break;
      case ExprKind::Attribute:
        self().visit_expr(*expr.as<Attribute>().value);
        break;
      case ExprKind::Subscript: {
        const auto& e = expr.as<Subscript>();
        self().visit_expr(*e.value);
        self().visit_expr(*e.slice);
        break;
      }
      case ExprKind::Starred:
        self().visit_expr(*expr.as<Starred>().value);
        break;
      case ExprKind::List:
        visit_exprs(expr.as<List>().elts);
        break;
      case ExprKind::Tuple:
        visit_exprs(expr.as<Tuple>().elts);
        break;
      case ExprKind::Slice: {
        const auto& e = expr.as<Slice>();
        visit_optional(e.lower);
        visit_optional(e.upper);
        visit_optional(e.step);
        break;
      }
      case ExprKind::StringLiteral:
      case ExprKind::BytesLiteral:
      case ExprKind::IntLiteral:
      case ExprKind::FloatLiteral:
      case ExprKind::ComplexLiteral:
      case ExprKind::BooleanLiteral:
      case ExprKind::NoneLiteral:
      case ExprKind::EllipsisLiteral:
      case ExprKind::Name:
        break;
    }
  }

  /// The sub-patterns and the expressions inside a pattern, in source order.
  void walk_pattern(const Pattern& pattern) {
    switch (pattern.kind) {
      case PatternKind::MatchValue:
        self().visit_expr(*pattern.as<MatchValue>().value);
        break;
      case PatternKind::MatchSingleton:
      case PatternKind::MatchStar:
        break;
      case PatternKind::MatchSequence:
        for (const Pattern* p : pattern.as<MatchSequence>().patterns) self().visit_pattern(*p);
        break;
      case PatternKind::MatchMapping: {
        const auto& p = pattern.as<MatchMapping>();
        for (uint32_t i = 0; i < p.keys.size(); ++i) {
          self().visit_expr(*p.keys[i]);
          self().visit_pattern(*p.patterns[i]);
        }
        break;
      }
      case PatternKind::MatchClass: {
        const auto& p = pattern.as<MatchClass>();
        self().visit_expr(*p.cls);
        for (const Pattern* sub : p.patterns) self().visit_pattern(*sub);
        for (const PatternKeyword& keyword : p.keywords) self().visit_pattern(*keyword.pattern);
        break;
      }
      case PatternKind::MatchAs:
        if (const Pattern* sub = pattern.as<MatchAs>().pattern) self().visit_pattern(*sub);
        break;
      case PatternKind::MatchOr:
        for (const Pattern* p : pattern.as<MatchOr>().patterns) self().visit_pattern(*p);
        break;
    }
  }

 private:
  Derived& self() { return static_cast<Derived&>(*this); }
};

}  // namespace pysyntax
