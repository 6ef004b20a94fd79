// The per-function pass over one source file: finds the functions that a statement holds, gives
// each its qualified name ("Class.method", or the bare name), measures it, and appends a
// `PatternHit` for every pattern pack whose thresholds it meets and an `UnclassifiedCall` for
// every dotted call in it that nothing classified. Also `find_factory_return`, from which the
// caller builds the file's `FactoryMap` before the file's first `analyze_functions` call.
//
//   detect::FactoryMap factories(seeds.next());
//   for (const pysyntax::Stmt* s : statements)
//     if (auto* def = s->try_as<pysyntax::FunctionDef>())
//       for (const pysyntax::Stmt* b : def->body)
//         if (auto callee = detect::find_factory_return(*b, aliases)) {
//           factories.try_insert(def->name.id, std::move(*callee));
//           break;
//         }
//   detect::FunctionRecords records(manifest, pattern_packs);
//   const std::string_view file = manifest.texts.add(path_text);
//   for (const pysyntax::Stmt* s : statements)
//     detect::analyze_functions(*s, aliases, categories, factories, pattern_packs, file,
//                               seeds.next(), records);
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/seeded_hash.h"
#include "detect/manifest.h"
#include "detect/packs.h"
#include "manifest/output_budget.h"
#include "metrics/call_category.h"
#include "metrics/metrics.h"
#include "names/names.h"
#include "pysyntax/ast.h"

namespace detect {

// Name of a top-level function of the file -> the resolved name of the first call it returns.
using FactoryMap = TextMap<std::string>;

// Where the pass writes: the manifest's two bulk lists, and its text store, which already holds
// each pattern pack's id and display name (in pack order) for the hits to view.
class FunctionRecords {
 public:
  FunctionRecords(BuildManifest& manifest, const std::vector<PatternPack>& pattern_packs);

  TextStore& texts;
  RecordList<PatternHit>& patterns;
  RecordList<UnclassifiedCall>& unclassified_calls;
  struct PackTexts {
    std::string_view id;
    std::string_view display_name;
  };
  std::vector<PackTexts> pack_texts;
  // The measurement of the function being analysed, reused from one to the next.
  FunctionMetrics measuring;
  // What the analysis may still make; the records of the file pass are charged here too.
  OutputBudget budget;
};

// Opens def, class and if statements (an if's body, then its elif and else clauses) and analyses
// every function found there; a definition inside a loop, with, try or match is not analysed on
// its own. `file` is the file's path as text, viewed by every record's location, so it must live
// as long as the records (normally it is a text of `records.texts`).
// `bindings_key` keys the hash tables of local bindings made while the statement is analysed.
// `class_prefix` is the innermost enclosing class name; leave it out for top-level statements.
void analyze_functions(const pysyntax::Stmt& statement, const ImportAliases& aliases,
                       const CallCategoryTable& categories, const FactoryMap& factories,
                       const std::vector<PatternPack>& pattern_packs, std::string_view file,
                       HashKey bindings_key, FunctionRecords& records,
                       std::optional<std::string_view> class_prefix = std::nullopt);

// The resolved name of the first returned call in `statement` that names an imported or dotted
// callee, searching if/elif/else, with, loop and try bodies in order (not loop else bodies, not
// handlers, else or finally blocks, not nested definitions or match statements).
[[nodiscard]] std::optional<std::string> find_factory_return(const pysyntax::Stmt& statement,
                                                             const ImportAliases& aliases);

}  // namespace detect
