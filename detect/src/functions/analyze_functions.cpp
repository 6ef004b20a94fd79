// Finding the functions of a statement and turning each one's metrics into manifest records.
#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "functions/bindings.h"
#include "functions/functions.h"
#include "functions/pattern_test.h"
#include "metrics/metrics.h"

namespace detect {
namespace {

struct FilePass {
  const ImportAliases& aliases;
  const CallCategoryTable& categories;
  const FactoryMap& factories;
  const std::vector<PatternPack>& pattern_packs;
  std::string_view file;
  HashKey bindings_key;
  std::vector<PatternHit>& patterns;
  std::vector<UnclassifiedCall>& unclassified_calls;
};

std::string qualified_name(std::optional<std::string_view> class_prefix, std::string_view name) {
  if (!class_prefix) return std::string(name);
  std::string text;
  text.reserve(class_prefix->size() + 1 + name.size());
  text.append(*class_prefix).append(".").append(name);
  return text;
}

// Room for `more` records. The two lists of a run grow by four times rather than two: every
// growth writes all records again into memory touched for the first time, which on a large tree
// costs more than the analysis that makes them; room not yet written takes no memory.
template <typename Record>
void make_room(std::vector<Record>& records, std::size_t more) {
  const std::size_t needed = records.size() + more;
  if (needed <= records.capacity()) return;
  records.reserve(std::max({needed, records.capacity() * 4, std::size_t{64}}));
}

void analyze_function(const FilePass& pass, const pysyntax::FunctionDef& def,
                      std::optional<std::string_view> class_prefix) {
  FunctionMetrics metrics;
  metrics.function = qualified_name(class_prefix, def.name.id);
  {
    // Every binding is made before anything is measured: one made below a call applies to it.
    LocalBindings bindings(pass.bindings_key);
    for (const pysyntax::Stmt* statement : def.body) {
      collect_bindings(bindings, *statement, pass.aliases, pass.factories);
    }
    MetricsCollector collector(pass.aliases, pass.categories, bindings, metrics);
    for (const pysyntax::Stmt* statement : def.body) collector.collect(*statement);
  }
  make_room(pass.unclassified_calls, metrics.call_sites.size());
  for (CallSite& site : metrics.call_sites) {
    pass.unclassified_calls.push_back(UnclassifiedCall{std::move(site.callee), std::move(site.resolved_callee),
                                                       std::move(site.receiver_rewrite), metrics.function,
                                                       SourceLocation{std::string(pass.file), 0}});
  }
  for (const PatternPack& pack : pass.pattern_packs) {
    if (!meets_pattern(pack.match, metrics)) continue;
    make_room(pass.patterns, 1);
    pass.patterns.push_back(PatternHit{pack.id, pack.display_name, pack.confidence, metrics.function,
                                       SourceLocation{std::string(pass.file), 0}});
  }
}

void visit(const FilePass& pass, const pysyntax::Stmt& statement, std::optional<std::string_view> class_prefix) {
  switch (statement.kind) {
    case pysyntax::StmtKind::FunctionDef: {
      // A function nested in a function keeps the enclosing class's prefix, not the function's name.
      const auto& def = statement.as<pysyntax::FunctionDef>();
      analyze_function(pass, def, class_prefix);
      for (const pysyntax::Stmt* inner : def.body) visit(pass, *inner, class_prefix);
      return;
    }
    case pysyntax::StmtKind::ClassDef: {
      const auto& cls = statement.as<pysyntax::ClassDef>();
      for (const pysyntax::Stmt* inner : cls.body) visit(pass, *inner, cls.name.id);
      return;
    }
    case pysyntax::StmtKind::If: {
      const auto& s = statement.as<pysyntax::If>();
      for (const pysyntax::Stmt* inner : s.body) visit(pass, *inner, class_prefix);
      for (const pysyntax::ElifElseClause& clause : s.clauses) {
        for (const pysyntax::Stmt* inner : clause.body) visit(pass, *inner, class_prefix);
      }
      return;
    }
    default:
      return;
  }
}

}  // namespace

void analyze_functions(const pysyntax::Stmt& statement, const ImportAliases& aliases,
                       const CallCategoryTable& categories, const FactoryMap& factories,
                       const std::vector<PatternPack>& pattern_packs, std::string_view file,
                       HashKey bindings_key, std::vector<PatternHit>& patterns,
                       std::vector<UnclassifiedCall>& unclassified_calls,
                       std::optional<std::string_view> class_prefix) {
  const FilePass pass{aliases, categories, factories, pattern_packs, file, bindings_key, patterns, unclassified_calls};
  visit(pass, statement, class_prefix);
}

}  // namespace detect
