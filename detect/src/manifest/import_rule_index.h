// The import rules of all packs arranged by the module each names, so that a file's import
// targets meet only the rules they match, whatever the packs hold besides. A rule for module M
// matches an import target P when P equals M, when P begins with M and ".", or when P equals the
// part of M before its first "." (all of M when it has none).
//
// The modules are kept as a tree of their dotted segments: walking a target's segments down the
// tree passes every module that equals the target or one of the prefixes it continues with ".",
// at a cost linear in the target's length however many modules share those prefixes. A second
// table gives the rules by the head of their module.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/seeded_hash.h"
#include "detect/packs.h"
#include "names/names.h"

namespace detect {

class ImportRuleIndex {
 public:
  // Rule positions count the import rules pack by pack in load order, each pack's in list order.
  struct Rule {
    std::string_view framework_id;
    const ImportRule* rule;
  };

  ImportRuleIndex(const std::vector<FrameworkPack>& packs, HashSeeds& seeds);

  // The positions of the rules that at least one target of `aliases` matches, ascending and each
  // once, written into `positions` (replacing its content).
  void match(const ImportAliases& aliases, std::vector<std::uint32_t>& positions) const;
  [[nodiscard]] const Rule& rule(std::uint32_t position) const { return rules_[position]; }

 private:
  static constexpr std::uint32_t kNoList = UINT32_MAX;
  static constexpr std::uint32_t kRoot = 0;

  // The node below `node` along `segment`, or none; `key` is scratch room for the lookup.
  const std::uint32_t* child(std::uint32_t node, std::string_view segment, std::string& key) const;
  std::uint32_t new_list();
  // The lists of the rules whose module `target` is, or continues with "."; appended to `lists`.
  void modules_along(std::string_view target, std::vector<std::uint32_t>& lists, std::string& key) const;

  std::vector<Rule> rules_;
  // (parent node as 4 bytes, segment) -> node; node 0 is the root, above the first segment.
  TextMap<std::uint32_t> children_;
  std::vector<std::uint32_t> node_lists_;  // node -> the list of rules whose module ends there
  TextMap<std::uint32_t> heads_;           // head of a module -> the list of its rules
  std::vector<std::vector<std::uint32_t>> lists_;  // rule positions, ascending
};

}  // namespace detect
