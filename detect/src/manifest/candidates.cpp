// Scoring the run's framework evidence into candidates.
#include <algorithm>
#include <cmath>

#include "manifest/assembly.h"

namespace detect {

FrameworkCandidate make_candidate(const std::vector<FrameworkPack>& packs, std::string_view framework_id,
                                  EvidenceWeights weights) {
  FrameworkCandidate candidate;
  candidate.id = std::string(framework_id);
  auto pack = std::find_if(packs.begin(), packs.end(),
                           [&](const FrameworkPack& p) { return p.id == framework_id; });
  candidate.display_name = pack != packs.end() ? pack->display_name : candidate.id;
  float sum = -0.0f;
  candidate.matched_rules.reserve(weights.size());
  for (auto& [text, weight] : weights.entries()) {
    sum += weight;
    candidate.matched_rules.push_back(std::move(text));
  }
  // fmin is IEEE minNum: a NaN sum gives the other operand.
  candidate.confidence = std::fmin(sum, 1.0f);
  std::sort(candidate.matched_rules.begin(), candidate.matched_rules.end());
  return candidate;
}

std::vector<FrameworkCandidate> score_candidates(const std::vector<FrameworkPack>& packs,
                                                 FrameworkEvidence run_evidence) {
  std::vector<FrameworkCandidate> candidates;
  candidates.reserve(run_evidence.size());
  for (auto& [id, weights] : run_evidence.entries())
    candidates.push_back(make_candidate(packs, id, std::move(weights)));
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const FrameworkCandidate& a, const FrameworkCandidate& b) { return a.confidence > b.confidence; });
  return candidates;
}

}  // namespace detect
