// Import rules by module: the tree of module segments and the table of module heads.
#include "manifest/import_rule_index.h"

#include <algorithm>
#include <cstring>

namespace detect {
namespace {

void make_key(std::uint32_t node, std::string_view segment, std::string& key) {
  key.resize(sizeof node);
  std::memcpy(key.data(), &node, sizeof node);
  key.append(segment);
}

}  // namespace

ImportRuleIndex::ImportRuleIndex(const std::vector<FrameworkPack>& packs, HashSeeds& seeds)
    : children_(seeds.next()), node_lists_{kNoList}, heads_(seeds.next()) {
  std::string key;
  for (const FrameworkPack& pack : packs) {
    for (const ImportRule& rule : pack.detect.imports) {
      const auto position = static_cast<std::uint32_t>(rules_.size());
      rules_.push_back({pack.id, &rule});
      const std::string_view module = rule.module;
      std::uint32_t node = kRoot;
      for (std::size_t start = 0;;) {
        const std::size_t dot = std::min(module.find('.', start), module.size());
        const std::string_view segment = module.substr(start, dot - start);
        if (const std::uint32_t* found = child(node, segment, key)) {
          node = *found;
        } else {
          const auto created = static_cast<std::uint32_t>(node_lists_.size());
          node_lists_.push_back(kNoList);
          make_key(node, segment, key);
          children_.try_insert(key, created);
          node = created;
        }
        if (dot == module.size()) break;
        start = dot + 1;
      }
      if (node_lists_[node] == kNoList) node_lists_[node] = new_list();
      lists_[node_lists_[node]].push_back(position);
      const std::string_view head = module.substr(0, module.find('.'));
      const std::uint32_t* head_list = heads_.find(head);
      const std::uint32_t list = head_list != nullptr ? *head_list : new_list();
      if (head_list == nullptr) heads_.try_insert(head, list);
      lists_[list].push_back(position);
    }
  }
}

const std::uint32_t* ImportRuleIndex::child(std::uint32_t node, std::string_view segment, std::string& key) const {
  make_key(node, segment, key);
  return children_.find(key);
}

std::uint32_t ImportRuleIndex::new_list() {
  lists_.emplace_back();
  return static_cast<std::uint32_t>(lists_.size() - 1);
}

void ImportRuleIndex::modules_along(std::string_view target, std::vector<std::uint32_t>& lists,
                                    std::string& key) const {
  // The node reached after a segment is the module equal to the target read so far: a match when
  // the target ends there or goes on with the "." that follows the segment.
  std::uint32_t node = kRoot;
  for (std::size_t start = 0;;) {
    const std::size_t dot = std::min(target.find('.', start), target.size());
    const std::uint32_t* found = child(node, target.substr(start, dot - start), key);
    if (found == nullptr) return;  // no module goes on this way
    node = *found;
    if (node_lists_[node] != kNoList) lists.push_back(node_lists_[node]);
    if (dot == target.size()) return;
    start = dot + 1;
  }
}

void ImportRuleIndex::match(const ImportAliases& aliases, std::vector<std::uint32_t>& positions) const {
  positions.clear();
  if (rules_.empty()) return;
  std::vector<std::uint32_t> lists;
  std::string key;
  for (const auto& entry : aliases) {
    const std::string_view target = entry.second;
    modules_along(target, lists, key);
    if (const std::uint32_t* head_list = heads_.find(target)) lists.push_back(*head_list);
  }
  // Many targets of a file share prefixes: each list is taken once, so every rule is met at most
  // twice (by its module and by its head), and the cost follows what matched.
  std::sort(lists.begin(), lists.end());
  lists.erase(std::unique(lists.begin(), lists.end()), lists.end());
  for (const std::uint32_t list : lists) positions.insert(positions.end(), lists_[list].begin(), lists_[list].end());
  std::sort(positions.begin(), positions.end());
  positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
}

}  // namespace detect
