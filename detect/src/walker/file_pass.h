// The file pass: framework evidence ("class_instantiation:{}", "decorator:{}" with the weight of
// the pack's symbol rule) and idiom hits (agents, tools, LLM clients) found in one source file.
//
// `decorator_pass` runs once per top-level statement. It matches the decorators of every
// definition it reaches (top level, or directly in the body of a reached definition), recurses
// into the bodies of those definitions, and then walks the whole statement again, definitions
// included, applying the class rules to each call that `ClassRuleCalls` meets on the way, in
// source order. So an expression inside k nested reached definitions is handled k + 1 times, and
// every hit it yields is pushed that often: a class `Pipeline` whose methods m1 and m2 call A1()
// and A2() gives A1, A1, A2, A2, A1, A2.
// The pass walks each statement only once, though: that walk lists the calls that meet class
// rules, and each reached statement, once its body is done, goes over the calls listed since it
// was reached.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "captures/captures.h"
#include "common/seeded_hash.h"
#include "detect/manifest.h"
#include "detect/packs.h"
#include "manifest/output_budget.h"
#include "names/names.h"
#include "pysyntax/ast.h"
#include "pysyntax/visitor.h"

namespace detect {

// Evidence text -> weight of one framework id; writing a present text replaces its weight.
using EvidenceWeights = OrderedTextMap<float>;
// Framework id -> its evidence. Both levels iterate in first-insertion order, so the order in
// which weights are summed and candidates of equal confidence are listed is reproducible.
using FrameworkEvidence = OrderedTextMap<EvidenceWeights>;

// What a hit of an idiom category becomes: an agent, an orchestrator, a tool or an LLM client
// entry, or nothing for every other category key (compared bytewise).
enum class HitCategory { None, Agent, Orchestrator, Tool, LlmClient };
[[nodiscard]] HitCategory hit_category(std::string_view category);

// One rule as the file pass applies it: a symbol rule, which writes evidence, or an idiom rule of
// a category that has an entry kind, which pushes a hit.
struct IndexedRule {
  std::string_view framework_id;        // the pack's id
  const DetectRule* symbol = nullptr;   // set for a symbol rule
  const IdiomRule* idiom = nullptr;     // set for an idiom rule
  HitCategory category = HitCategory::None;
};

// The class-instantiation and decorator rules of all packs (symbol and idiom rules), by the name
// each compares: a class rule's `class`, a decorator rule's `name`. A call or decorator then meets
// only the rules that name it, whatever the packs hold besides. Each name's rules are in the order
// the pass applies them: packs in load order; within a pack the symbol rules in list order, then
// the idiom categories in ascending key order with each category's rules in list order. Idioms of
// categories without an entry kind, and rules without the field they compare, can yield nothing
// and are left out. The index points into the packs, which must outlive it.
class RuleIndex {
 public:
  RuleIndex(const std::vector<FrameworkPack>& packs, HashSeeds& seeds);

  [[nodiscard]] std::span<const IndexedRule> class_rules(std::string_view resolved) const {
    return rules_of(classes_, resolved);
  }
  [[nodiscard]] std::span<const IndexedRule> decorator_rules(std::string_view resolved) const {
    return rules_of(decorators_, resolved);
  }
  [[nodiscard]] bool has_class_rules() const { return !classes_.empty(); }
  // Whether a call of `x.{attribute}` (calls along the chain allowed) may meet a class rule.
  // Whatever the import table makes of the chain's head, the resolved name ends with "." and the
  // attribute, so only a dotted class name ending so can match; the call's name need not be built
  // to rule it out.
  [[nodiscard]] bool may_end_in(std::string_view attribute) const { return last_segments_.contains(attribute); }

 private:
  std::span<const IndexedRule> rules_of(const TextMap<std::uint32_t>& names, std::string_view name) const {
    const std::uint32_t* list = names.find(name);
    return list == nullptr ? std::span<const IndexedRule>() : std::span<const IndexedRule>(lists_[*list]);
  }
  void add(TextMap<std::uint32_t>& names, std::string_view name, IndexedRule rule);
  void add_class(std::string_view name, IndexedRule rule);

  TextMap<std::uint32_t> classes_;     // class name -> its list in `lists_`
  TextMap<std::uint32_t> decorators_;  // decorator name -> its list in `lists_`
  TextMap<bool> last_segments_;        // of the dotted class names: the text after the last dot
  std::vector<std::vector<IndexedRule>> lists_;
};

// A call that meets at least one class rule, and the rules it meets. They all name its resolved
// callee, which is therefore the `class` of each of them.
struct MatchedCall {
  const pysyntax::Call* call;
  std::span<const IndexedRule> rules;
};

// Writes a weight under (framework id, text), creating the id's table when it has none.
void put_evidence(FrameworkEvidence& evidence, HashSeeds& seeds, std::string_view framework_id,
                  std::string_view text, float weight);

// The state of the pass over one file. The lists and `evidence` start empty and are only added
// to; the caller takes them out afterwards.
struct FileContext {
  std::string file;  // the file's path as text, copied into every SourceLocation
  std::vector<AgentEntry> agents;
  std::vector<ToolEntry> tools;
  std::vector<LlmClientEntry> llm_clients;
  FrameworkEvidence evidence;
  const ImportAliases& aliases;
  // Shared by the whole analysis.
  const RuleIndex& rules;
  CaptureExpander& capture_expander;
  HashSeeds& seeds;
  // Charged for every entry; once it is spent no further entry is made.
  OutputBudget& budget;
  // The list of `decorator_pass`, kept from one statement to the next for its memory.
  std::vector<MatchedCall> matched_calls;

  FileContext(std::string file_text, const ImportAliases& file_aliases, const RuleIndex& rule_index,
              CaptureExpander& expander, HashSeeds& hash_seeds, OutputBudget& output_budget)
      : file(std::move(file_text)),
        evidence(hash_seeds.next()),
        aliases(file_aliases),
        rules(rule_index),
        capture_expander(expander),
        seeds(hash_seeds),
        budget(output_budget) {}
};

void decorator_pass(FileContext& context, const pysyntax::Stmt& statement);

// Appends to `found`, in source order, every call of what it is handed (through the visitor's
// entry points) that meets a class rule.
class ClassRuleCalls : public pysyntax::SourceOrderVisitor<ClassRuleCalls> {
 public:
  ClassRuleCalls(const FileContext& context, std::vector<MatchedCall>& found) : context_(context), found_(found) {}
  bool enter_expr(const pysyntax::Expr& expression);

 private:
  const FileContext& context_;
  std::vector<MatchedCall>& found_;
  std::string resolved_;  // the name of the call at hand; no view of it outlives `enter_expr`
};

// The hits and evidence of one matched call: each of its rules in turn.
void apply_class_rules(FileContext& context, const MatchedCall& matched);

void match_decorator(FileContext& context, const pysyntax::Expr& decorator, bool decorated_is_class,
                     std::string_view decorated_name);

void add_evidence(FileContext& context, std::string_view framework_id, std::string_view text, float weight);

// The texts an entry shows: agents, orchestrators and tools their name, LLM clients their
// provider and model.
struct HitTexts {
  std::string name;
  std::string provider;
  std::string model;
};

// Pushes one entry for the categories that have one; any other category gives nothing.
void emit_idiom_hit(FileContext& context, std::string_view framework_id, HitCategory category,
                    const IdiomRule& rule, HitTexts texts);

}  // namespace detect
