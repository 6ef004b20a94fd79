// What one function is measured for: its LLM calls, tool calls and agent spawns, its widest if
// chain or match, whether it loops, fans work out in parallel or branches on a routing value, and
// the dotted calls that nothing classified.
//
// Calls are classified in two tiers: an exact name in the run's `CallCategoryTable` decides a
// call alone; only without one are the built-in fragment tables tried (builtin_tables.h). A local
// variable bound to a callee (`llm = ChatModel()`) lets a method call on it be looked up in the
// category table under the callee's name first (`ChatModel.invoke`).
//
//   detect::FunctionMetrics metrics;
//   detect::MetricsCollector collector(aliases, categories, bindings, metrics);
//   for (const pysyntax::Stmt* s : def.body) collector.collect(*s);
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/exclusive_use.h"
#include "common/seeded_hash.h"
#include "detect/text_store.h"
#include "manifest/output_budget.h"
#include "metrics/call_category.h"
#include "names/names.h"
#include "pysyntax/ast.h"

namespace detect {

// One dotted call that neither tier classified. The texts are kept in the collector's
// `TextStore`, where the records made from the site view them in turn; a callee that resolves to
// itself is stored once and viewed twice.
struct CallSite {
  std::string_view callee;                           // the dotted name as written
  std::string_view resolved_callee;                  // through the import aliases, else `callee`
  std::optional<std::string_view> receiver_rewrite;  // "{bound callee}.{rest}" when the receiver is bound
};

struct FunctionMetrics {
  std::string function;  // qualified name, made by the per-function pass once a record needs it; not read here
  std::vector<CallSite> call_sites;  // in the order the calls were classified
  std::uint32_t llm_call_count = 0;
  std::uint32_t tool_call_count = 0;
  std::uint32_t agent_spawn_count = 0;
  std::uint32_t max_branches = 0;   // widest if chain (1 + elif/else clauses) or match (cases)
  bool has_loop = false;
  bool has_parallel = false;
  bool has_branch_on_llm = false;   // a routing word in an if test (not elif) or a match subject
};

// Local variable name -> the dotted callee it was first assigned from.
using LocalBindings = TextMap<std::string>;

// What the call classifier reads and writes while the library walk runs over one statement.
struct FunctionContext {
  const ImportAliases& aliases;
  const CallCategoryTable& categories;
  const LocalBindings& bindings;
  FunctionMetrics& metrics;
  TextStore& texts;       // where call sites keep their texts
  OutputBudget& budget;   // charged for each call site's texts, which its record will show
};

// Texts reused from call to call, so that classifying a call allocates only when a name outgrows
// them (or becomes a `CallSite`). Only `classify_call_expr` writes them, and it views them only
// while it runs: it must never run again inside itself (checked in the sanitizer build).
struct CallNameBuffers {
  std::string raw;
  std::string resolved;
  std::string rewritten;
  ExclusiveUse use;
};

// Classifies `expression` when it is a call; anything else is left alone. Sub-expressions are not
// visited: the caller's walk goes on into them.
void classify_call_expr(FunctionContext& context, const pysyntax::Expr& expression,
                        CallNameBuffers& buffers);

// Measures statements of one function into `metrics`. Opens if, match, for, while and try itself;
// every other statement (nested definitions and with included) is walked whole, classifying calls
// only. Holds references to all six arguments; the texts of call sites go to `texts`, and once
// `budget` is spent no further call site is kept.
class MetricsCollector {
 public:
  MetricsCollector(const ImportAliases& aliases, const CallCategoryTable& categories,
                   const LocalBindings& bindings, FunctionMetrics& metrics, TextStore& texts,
                   OutputBudget& budget)
      : context_{aliases, categories, bindings, metrics, texts, budget} {}

  void collect(const pysyntax::Stmt& statement);

 private:
  void collect_body(pysyntax::Span<pysyntax::Stmt*> body);

  FunctionContext context_;
  CallNameBuffers buffers_;
};

// Sets `flag` when a name in `expression` holds a routing word; never clears it. Looks into
// names, attributes, operators, comparisons, subscripts, calls (callee and positional arguments)
// and list and tuple displays; nothing else.
void scan_routing_names(const pysyntax::Expr& expression, bool& flag);

// Sets `flag` when `word`, lowercased by the full Unicode mapping, contains a routing word.
void check_routing_word(bool& flag, std::string_view word);

}  // namespace detect
