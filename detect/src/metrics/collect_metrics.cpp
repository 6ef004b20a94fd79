// The statement level of a function's measurement. Only if, match, for, while and try are opened
// here; everything else goes to the library's source-order walk, which classifies the calls it
// meets and nothing more, so a branch or loop inside a with body or a nested function adds no
// branch or loop to the measured function, while its calls do count.
#include <algorithm>
#include <cstdint>

#include "metrics/metrics.h"
#include "pysyntax/visitor.h"

namespace detect {
namespace {

// The library walk with the call classifier as its expression hook.
class CallClassifier : public pysyntax::SourceOrderVisitor<CallClassifier> {
 public:
  CallClassifier(FunctionContext& context, CallNameBuffers& buffers)
      : context_(context), buffers_(buffers) {}

  bool enter_expr(const pysyntax::Expr& expression) {
    // Tested here, where it is inlined: most expressions are not calls.
    if (expression.kind == pysyntax::ExprKind::Call) classify_call_expr(context_, expression, buffers_);
    return true;
  }

 private:
  FunctionContext& context_;
  CallNameBuffers& buffers_;
};

void raise_branches(FunctionMetrics& metrics, std::uint32_t branches) {
  metrics.max_branches = std::max(metrics.max_branches, branches);
}

void scan_branch_subject(const pysyntax::Expr& subject, FunctionMetrics& metrics) {
  bool flag = false;
  scan_routing_names(subject, flag);
  if (flag) metrics.has_branch_on_llm = true;
}

}  // namespace

void MetricsCollector::collect_body(pysyntax::Span<pysyntax::Stmt*> body) {
  for (const pysyntax::Stmt* statement : body) collect(*statement);
}

void MetricsCollector::collect(const pysyntax::Stmt& statement) {
  FunctionMetrics& metrics = context_.metrics;
  switch (statement.kind) {
    case pysyntax::StmtKind::If: {
      // The elif tests are neither scanned nor walked: only the chain's first test decides.
      const auto& s = statement.as<pysyntax::If>();
      raise_branches(metrics, 1 + s.clauses.size());
      scan_branch_subject(*s.test, metrics);
      collect_body(s.body);
      for (const pysyntax::ElifElseClause& clause : s.clauses) collect_body(clause.body);
      return;
    }
    case pysyntax::StmtKind::Match: {
      const auto& s = statement.as<pysyntax::Match>();
      raise_branches(metrics, s.cases.size());
      scan_branch_subject(*s.subject, metrics);
      for (const pysyntax::MatchCase& c : s.cases) collect_body(c.body);
      return;
    }
    case pysyntax::StmtKind::For: {
      const auto& s = statement.as<pysyntax::For>();
      metrics.has_loop = true;
      collect_body(s.body);
      collect_body(s.orelse);
      return;
    }
    case pysyntax::StmtKind::While:
      metrics.has_loop = true;
      collect_body(statement.as<pysyntax::While>().body);
      return;
    case pysyntax::StmtKind::Try: {
      const auto& s = statement.as<pysyntax::Try>();
      collect_body(s.body);
      for (const pysyntax::ExceptHandler& handler : s.handlers) collect_body(handler.body);
      return;
    }
    default: {
      CallClassifier walk(context_, buffers_);
      walk.visit_stmt(statement);
      return;
    }
  }
}

}  // namespace detect
