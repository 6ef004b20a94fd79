// Framework evidence from what a file imports, matched on the import targets (never the local
// names): the module itself, anything under it, or its top package.
#include <utility>

#include "manifest/assembly.h"

namespace detect {
namespace {

bool target_matches(std::string_view target, std::string_view module) {
  if (target == module) return true;
  if (target.size() > module.size() && target.substr(0, module.size()) == module && target[module.size()] == '.')
    return true;
  return target == module.substr(0, module.find('.'));
}

bool file_imports(const ImportAliases& aliases, std::string_view module) {
  for (const auto& entry : aliases)
    if (target_matches(entry.second, module)) return true;
  return false;
}

}  // namespace

void add_import_evidence(const std::vector<FrameworkPack>& packs, const ImportAliases& aliases,
                         FrameworkEvidence& run_evidence, HashSeeds& seeds) {
  if (aliases.empty()) return;
  std::vector<std::pair<std::string, float>> items;
  for (const FrameworkPack& pack : packs) {
    items.clear();
    for (const ImportRule& rule : pack.detect.imports)
      if (file_imports(aliases, rule.module)) items.emplace_back("import:" + rule.module, rule.weight);
    for (const auto& [text, weight] : items) put_evidence(run_evidence, seeds, pack.id, text, weight);
  }
}

}  // namespace detect
