// One analysis, file by file: the run's tables live here from the first file to `finish`; each
// file's import table, file pass and factory map live only while the file is added.
#include <utility>

#include "detect/analysis.h"
#include "detect/path.h"
#include "functions/functions.h"
#include "manifest/assembly.h"
#include "walker/file_pass.h"

namespace detect {

struct ManifestBuilder::State {
  const std::vector<FrameworkPack>& framework_packs;
  const std::vector<PatternPack>& pattern_packs;
  HashSeeds seeds;
  CallCategoryTable categories;
  RuleIndex rules;
  ImportRuleIndex import_rules;
  CaptureExpander capture_expander;
  FrameworkEvidence run_evidence;
  BuildManifest manifest;
  FunctionRecords records;

  State(const std::vector<FrameworkPack>& frameworks, const std::vector<PatternPack>& patterns, HashSeeds own_seeds)
      : framework_packs(frameworks),
        pattern_packs(patterns),
        seeds(own_seeds),
        categories(build_call_categories(frameworks, seeds.next())),
        rules(frameworks, seeds),
        import_rules(frameworks, seeds),
        capture_expander(seeds.next()),
        run_evidence(seeds.next()),
        records(manifest, patterns) {}
};

ManifestBuilder::ManifestBuilder(const std::vector<FrameworkPack>& framework_packs,
                                 const std::vector<PatternPack>& pattern_packs)
    : state_(std::make_unique<State>(framework_packs, pattern_packs, HashSeeds())) {}
ManifestBuilder::ManifestBuilder(const std::vector<FrameworkPack>& framework_packs,
                                 const std::vector<PatternPack>& pattern_packs, HashSeeds& call_seeds)
    : state_(std::make_unique<State>(framework_packs, pattern_packs, call_seeds.fork())) {}
ManifestBuilder::~ManifestBuilder() = default;
ManifestBuilder::ManifestBuilder(ManifestBuilder&&) noexcept = default;
ManifestBuilder& ManifestBuilder::operator=(ManifestBuilder&&) noexcept = default;

namespace {

template <typename T>
void append_all(std::vector<T>& to, std::vector<T>& from) {
  to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
}

// Top-level function name -> the callee its first suitable return gives; a later definition of
// the name that returns a call replaces an earlier one.
FactoryMap map_factories(pysyntax::Span<pysyntax::Stmt*> statements, const ImportAliases& aliases, HashKey key) {
  FactoryMap factories(key);
  for (const pysyntax::Stmt* statement : statements) {
    const auto* def = statement->try_as<pysyntax::FunctionDef>();
    if (def == nullptr) continue;
    for (const pysyntax::Stmt* inner : def->body) {
      if (auto callee = find_factory_return(*inner, aliases)) {
        factories.insert_or_assign(def->name.id, std::move(*callee));
        break;
      }
    }
  }
  return factories;
}

}  // namespace

void ManifestBuilder::add_file(std::string_view path, pysyntax::Span<pysyntax::Stmt*> statements,
                               std::size_t source_bytes) {
  State& s = *state_;
  s.records.budget.allow_source(source_bytes);
  if (s.records.budget.exceeded()) return;
  ImportAliases aliases(s.seeds.next());
  for (const pysyntax::Stmt* statement : statements) collect_import_aliases(*statement, aliases);

  add_import_evidence(s.import_rules, aliases, s.run_evidence, s.seeds);

  FileContext context(path_to_text(path), aliases, s.rules, s.capture_expander, s.seeds, s.records.budget);
  for (const pysyntax::Stmt* statement : statements) decorator_pass(context, *statement);
  for (auto& [id, weights] : context.evidence.entries())
    for (const auto& [text, weight] : weights.entries()) put_evidence(s.run_evidence, s.seeds, id, text, weight);
  append_all(s.manifest.agents, context.agents);
  append_all(s.manifest.tools, context.tools);
  append_all(s.manifest.llm_clients, context.llm_clients);

  const FactoryMap factories = map_factories(statements, aliases, s.seeds.next());
  const std::string_view file = s.records.texts.add(context.file);
  for (const pysyntax::Stmt* statement : statements) {
    analyze_functions(*statement, aliases, s.categories, factories, s.pattern_packs, file, s.seeds.next(),
                      s.records);
  }
}

bool ManifestBuilder::within_output_budget() const { return !state_->records.budget.exceeded(); }

std::size_t ManifestBuilder::output_limit() const { return state_->records.budget.limit(); }

BuildManifest ManifestBuilder::finish() && {
  State& s = *state_;
  BuildManifest manifest = std::move(s.manifest);
  manifest.framework_candidates = score_candidates(s.framework_packs, std::move(s.run_evidence));
  if (!manifest.framework_candidates.empty()) manifest.framework = manifest.framework_candidates.front();
  state_.reset();
  return manifest;
}

}  // namespace detect
