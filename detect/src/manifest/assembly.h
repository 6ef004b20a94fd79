// The steps of manifest assembly that stand on their own: the run's call-category table, the
// import evidence of one file, and scoring one framework's evidence into a candidate.
#pragma once

#include <string_view>
#include <vector>

#include "common/seeded_hash.h"
#include "detect/manifest.h"
#include "detect/packs.h"
#include "manifest/import_rule_index.h"
#include "metrics/call_category.h"
#include "names/names.h"
#include "walker/file_pass.h"

namespace detect {

// Idiom rules of the four call categories, pack by pack in load order and within a pack in the
// fixed category order llm_call, tool_call, agent_spawn, parallel_call; a later rule naming the
// same call takes it over.
[[nodiscard]] CallCategoryTable build_call_categories(const std::vector<FrameworkPack>& packs, HashKey key);

// "import:{module}" for every import rule whose module one of the file's import targets is,
// lies under, or is the top package of; written straight into the run's evidence, one item per
// rule, pack by pack in load order and each pack's rules in list order.
void add_import_evidence(const ImportRuleIndex& rules, const ImportAliases& aliases, FrameworkEvidence& run_evidence,
                         HashSeeds& seeds);

// One framework's candidate: weights summed in single precision from -0.0 in the table's order,
// capped at 1.0 (a NaN sum gives 1.0), rules sorted bytewise.
[[nodiscard]] FrameworkCandidate make_candidate(const std::vector<FrameworkPack>& packs,
                                                std::string_view framework_id, EvidenceWeights weights);

// Every framework of the run's evidence as a candidate, stably sorted by descending confidence.
[[nodiscard]] std::vector<FrameworkCandidate> score_candidates(const std::vector<FrameworkPack>& packs,
                                                               FrameworkEvidence run_evidence);

}  // namespace detect
