// libFuzzer target for the Python parser. Beyond "no crash, no sanitizer report, no hang", it
// checks what every consumer of the tree relies on:
//   - an error's range lies inside the text, start <= end;
//   - every statement, expression and pattern has start <= end and lies inside the range of the
//     node it belongs to, and the module's range is the text;
//   - call arguments and string parts lie inside their node, in source order;
//   - a source-order walk of the whole tree completes.
// Inputs that are not valid UTF-8 are refused at once: callers guarantee UTF-8.
//
//   fuzz/parse_fuzzer -dict=../fuzz/parse.dict CORPUS_DIR ../fuzz/seeds/parse
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "../tools/source_files.h"
#include "pysyntax/parse.h"
#include "pysyntax/visitor.h"

namespace {

using namespace pysyntax;

[[noreturn]] void fail(const char* what, Range inner, Range outer) {
  std::fprintf(stderr, "parse_fuzzer: %s: %u..%u not inside %u..%u\n", what, inner.start, inner.end, outer.start,
               outer.end);
  std::abort();
}

void check_inside(const char* what, Range inner, Range outer) {
  if (inner.start > inner.end || inner.start < outer.start || inner.end > outer.end) fail(what, inner, outer);
}

// Checks each node against the innermost enclosing node's range while walking in source order.
class RangeChecker : public SourceOrderVisitor<RangeChecker> {
  using Base = SourceOrderVisitor<RangeChecker>;

 public:
  explicit RangeChecker(Range module) { parents_.push_back(module); }

  void visit_stmt(const Stmt& stmt) {
    enter("statement", stmt.range);
    Base::visit_stmt(stmt);
    parents_.pop_back();
  }
  void visit_expr(const Expr& expr) {
    enter("expression", expr.range);
    check_parts(expr);
    Base::visit_expr(expr);
    parents_.pop_back();
  }
  void visit_pattern(const Pattern& pattern) {
    enter("pattern", pattern.range);
    Base::visit_pattern(pattern);
    parents_.pop_back();
  }

  size_t nodes = 0;

 private:
  void enter(const char* what, Range range) {
    check_inside(what, range, parents_.back());
    parents_.push_back(range);
    ++nodes;
  }

  template <class T>
  static void check_in_order(const char* what, Span<T> items, Range outer) {
    uint32_t previous_end = outer.start;
    for (const T& item : items) {
      check_inside(what, item.range, outer);
      if (item.range.start < previous_end) fail(what, item.range, Range{previous_end, outer.end});
      previous_end = item.range.end;
    }
  }

  static void check_parts(const Expr& expr) {
    switch (expr.kind) {
      case ExprKind::Call: {
        const auto& call = expr.as<Call>();
        check_inside("call arguments", call.arguments_range, call.range);
        check_in_order("call argument", call.arguments, call.arguments_range);
        break;
      }
      case ExprKind::StringLiteral: check_in_order("string part", expr.as<StringLiteral>().parts, expr.range); break;
      case ExprKind::BytesLiteral: check_in_order("bytes part", expr.as<BytesLiteral>().parts, expr.range); break;
      case ExprKind::FString: check_in_order("f-string part", expr.as<FString>().parts, expr.range); break;
      case ExprKind::TString: check_in_order("t-string part", expr.as<TString>().parts, expr.range); break;
      default: break;
    }
  }

  std::vector<Range> parents_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (!tools::is_valid_utf8(text)) return -1;  // not worth keeping in the corpus

  Arena arena;
  ParseResult result = parse_module(text, arena);
  const Range whole{0, static_cast<uint32_t>(size)};
  if (!result.ok()) {
    check_inside("error", result.error->range, whole);
    return 0;
  }
  if (result.module->range != whole) fail("module", result.module->range, whole);
  RangeChecker checker(whole);
  checker.visit_module(*result.module);
  return 0;
}
