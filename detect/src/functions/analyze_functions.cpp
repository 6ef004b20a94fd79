// Finding the functions of a statement and turning each one's metrics into manifest records.
#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
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
  FunctionRecords& records;
};

// A fresh measurement in the memory of the previous one: the name and the call list keep their
// capacity from function to function.
FunctionMetrics& start_measuring(FunctionMetrics& metrics) {
  std::string function = std::move(metrics.function);
  std::vector<CallSite> call_sites = std::move(metrics.call_sites);
  metrics = FunctionMetrics{};
  call_sites.clear();
  metrics.function = std::move(function);
  metrics.call_sites = std::move(call_sites);
  return metrics;
}

void analyze_function(const FilePass& pass, const pysyntax::FunctionDef& def,
                      std::optional<std::string_view> class_prefix) {
  FunctionRecords& records = pass.records;
  FunctionMetrics& metrics = start_measuring(records.measuring);
  {
    // Every binding is made before anything is measured: one made below a call applies to it.
    LocalBindings bindings(pass.bindings_key);
    for (const pysyntax::Stmt* statement : def.body) {
      collect_bindings(bindings, *statement, pass.aliases, pass.factories);
    }
    MetricsCollector collector(pass.aliases, pass.categories, bindings, metrics, records.texts, records.budget);
    for (const pysyntax::Stmt* statement : def.body) collector.collect(*statement);
  }
  // The qualified name is made and stored once, and only for a function that gets a record: a
  // long class name over many methods would otherwise cost its length for every one of them.
  std::optional<std::string_view> function;
  auto function_text = [&] {
    if (!function) {
      if (class_prefix) {
        metrics.function.assign(*class_prefix).append(".").append(def.name.id);
      } else {
        metrics.function.assign(def.name.id);
      }
      function = records.texts.add(metrics.function);
    }
    return *function;
  };
  // A call site was charged for its own texts when it was kept; its record adds these two.
  const std::size_t name_bytes = (class_prefix ? class_prefix->size() + 1 : 0) + def.name.id.size();
  const std::size_t shared_bytes = name_bytes + pass.file.size();
  for (const CallSite& site : metrics.call_sites) {
    if (!records.budget.charge(shared_bytes)) return;
    records.unclassified_calls.push_back(UnclassifiedCall{site.callee, site.resolved_callee, site.receiver_rewrite,
                                                          function_text(), TextLocation{pass.file, 0}});
  }
  for (std::size_t i = 0; i < pass.pattern_packs.size(); ++i) {
    const PatternPack& pack = pass.pattern_packs[i];
    if (!meets_pattern(pack.match, metrics)) continue;
    const FunctionRecords::PackTexts& texts = records.pack_texts[i];
    if (!records.budget.charge_record(texts.id.size() + texts.display_name.size() + shared_bytes)) return;
    records.patterns.push_back(
        PatternHit{texts.id, texts.display_name, pack.confidence, function_text(), TextLocation{pass.file, 0}});
  }
}

void visit(const FilePass& pass, const pysyntax::Stmt& statement, std::optional<std::string_view> class_prefix) {
  // Once the budget is spent the call fails, so nothing more is measured.
  if (pass.records.budget.exceeded()) return;
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

FunctionRecords::FunctionRecords(BuildManifest& manifest, const std::vector<PatternPack>& pattern_packs)
    : texts(manifest.texts), patterns(manifest.patterns), unclassified_calls(manifest.unclassified_calls) {
  pack_texts.reserve(pattern_packs.size());
  for (const PatternPack& pack : pattern_packs)
    pack_texts.push_back(PackTexts{texts.add(pack.id), texts.add(pack.display_name)});
}

void analyze_functions(const pysyntax::Stmt& statement, const ImportAliases& aliases,
                       const CallCategoryTable& categories, const FactoryMap& factories,
                       const std::vector<PatternPack>& pattern_packs, std::string_view file,
                       HashKey bindings_key, FunctionRecords& records,
                       std::optional<std::string_view> class_prefix) {
  const FilePass pass{aliases, categories, factories, pattern_packs, file, bindings_key, records};
  visit(pass, statement, class_prefix);
}

}  // namespace detect
