// Framework evidence from what a file imports, matched on the import targets (never the local
// names): the module itself, anything under it, or its top package.
#include "manifest/assembly.h"

namespace detect {

void add_import_evidence(const ImportRuleIndex& rules, const ImportAliases& aliases, FrameworkEvidence& run_evidence,
                         HashSeeds& seeds) {
  if (aliases.empty()) return;
  std::vector<std::uint32_t> matched;
  rules.match(aliases, matched);
  // Positions run pack by pack, each pack's rules in list order: the order the items are written.
  for (const std::uint32_t position : matched) {
    const ImportRuleIndex::Rule& rule = rules.rule(position);
    put_evidence(run_evidence, seeds, rule.framework_id, "import:" + rule.rule->module, rule.rule->weight);
  }
}

}  // namespace detect
