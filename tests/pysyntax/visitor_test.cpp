// The source-order walk: which expressions it reaches, in which order, and that a hook which
// declines to descend skips the sub-expressions (so a hook can walk them itself).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pysyntax/parse.h"
#include "pysyntax/visitor.h"

namespace pysyntax {
namespace {

struct Recorder : SourceOrderVisitor<Recorder> {
  std::string_view text;
  std::vector<std::string> seen;
  bool enter_expr(const Expr& e) {
    seen.emplace_back(text.substr(e.range.start, e.range.end - e.range.start));
    return true;
  }
};

std::vector<std::string> walk(std::string_view text) {
  Arena arena;
  ParseResult result = parse_module(text, arena);
  EXPECT_TRUE(result.ok()) << text;
  if (!result.ok()) return {};
  Recorder recorder;
  recorder.text = text;
  recorder.visit_module(*result.module);
  return recorder.seen;
}

using Names = std::vector<std::string>;

TEST(Visitor, VisitsEachConstructInSourceOrder) {
  struct Case {
    const char* text;
    Names order;
  };
  const Case cases[] = {
      {"@d\ndef f[T: b = c](p: a1 = v1, *q: a2, **r: a3) -> ret: body\n",
       {"d", "b", "c", "a1", "v1", "a2", "a3", "ret", "body"}},
      {"@d\nclass C[T](B, k=v, *s): x\n", {"d", "B", "v", "*s", "s", "x"}},
      {"a = b = c\n", {"a", "b", "c"}},
      {"t: ann = v\n", {"t", "ann", "v"}},
      {"t += v\n", {"t", "v"}},
      {"for t in it:\n  b\nelse:\n  e\n", {"t", "it", "b", "e"}},
      {"while w:\n  b\nelse:\n  e\n", {"w", "b", "e"}},
      {"if a:\n  b\nelif c:\n  d\nelse:\n  e\n", {"a", "b", "c", "d", "e"}},
      {"with m as t, n:\n  b\n", {"m", "t", "n", "b"}},
      {"match s:\n  case K(1, y=V.x) if g:\n    b\n  case {k.x: p}:\n    c\n",
       {"s", "K", "1", "V.x", "V", "g", "b", "k.x", "k", "c"}},
      {"try:\n  a\nexcept E:\n  h\nelse:\n  e\nfinally:\n  f\n", {"a", "E", "h", "e", "f"}},
      {"raise x from y\nassert t, m\ndel a, b\nreturn r\n", {"x", "y", "t", "m", "a", "b", "r"}},
      {"type A[T: b] = v\n", {"A", "b", "v"}},
      {"f(a, *b, k=c, **d)\n", {"f(a, *b, k=c, **d)", "f", "a", "*b", "b", "c", "d"}},
      {"a().b()\n", {"a().b()", "a().b", "a()", "a"}},
      {"x if t else y\n", {"x if t else y", "x", "t", "y"}},
      {"{k: v for a in b if c}\n", {"{k: v for a in b if c}", "k", "v", "a", "b", "c"}},
      {"{k: v, **m}\n", {"{k: v, **m}", "k", "v", "m"}},
      {"lambda a=d: body\n", {"lambda a=d: body", "d", "body"}},
      {"f'{x!r:{w}}'\n", {"f'{x!r:{w}}'", "x", "w"}},
      {"a[l:u:s]\n", {"a[l:u:s]", "a", "l:u:s", "l", "u", "s"}},
      {"(n := v)\n", {"n := v", "n", "v"}},
      {"a < b or not c\n", {"a < b or not c", "a < b", "a", "b", "not c", "c"}},
  };
  for (const Case& c : cases) EXPECT_EQ(walk(c.text), c.order) << c.text;
}

TEST(Visitor, HookDecidesWhetherToDescend) {
  // Only calls are recorded; the hook walks a call's children itself, as the analysis does.
  struct CallsOnly : SourceOrderVisitor<CallsOnly> {
    std::string_view text;
    std::vector<std::string> seen;
    bool enter_expr(const Expr& e) {
      if (e.kind != ExprKind::Call) return true;
      seen.emplace_back(text.substr(e.range.start, e.range.end - e.range.start));
      walk_expr(e);
      return false;
    }
  };
  const std::string text = "outer(inner(x), y.m())\n";
  Arena arena;
  ParseResult result = parse_module(text, arena);
  ASSERT_TRUE(result.ok());
  CallsOnly visitor;
  visitor.text = text;
  visitor.visit_module(*result.module);
  EXPECT_EQ(visitor.seen, (Names{"outer(inner(x), y.m())", "inner(x)", "y.m()"}));
}

TEST(Visitor, WalksTheDeepestAcceptedTrees) {
  // Just under the nesting bound, in the shapes that nest deepest: a walk must not exhaust the
  // stack (this runs under ASan too).
  const size_t n = kMaxExpressionHeight - 2;
  std::string chain = "x", lambdas, calls = "f";
  for (size_t i = 0; i < n; ++i) chain += "+x", lambdas += "lambda:", calls += "()";
  for (const std::string& text : {chain, lambdas + "x", calls}) EXPECT_EQ(walk(text).size() > n, true);
}

}  // namespace
}  // namespace pysyntax
