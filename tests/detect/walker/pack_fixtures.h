// Test helper: framework packs made in memory, only the fields the analysis reads.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "detect/packs.h"

namespace detect::testing {

inline DetectRule class_rule(std::string class_name, float weight) {
  DetectRule rule;
  rule.kind = DetectRuleKind::ClassInstantiation;
  rule.class_name = std::move(class_name);
  rule.weight = weight;
  return rule;
}

inline DetectRule decorator_rule(std::string name, float weight) {
  DetectRule rule;
  rule.kind = DetectRuleKind::Decorator;
  rule.name = std::move(name);
  rule.weight = weight;
  return rule;
}

inline IdiomRule class_idiom(std::string class_name, std::map<std::string, std::string> capture = {}) {
  IdiomRule rule;
  rule.kind = IdiomKind::ClassInstantiation;
  rule.class_name = std::move(class_name);
  rule.capture = std::move(capture);
  return rule;
}

inline IdiomRule decorator_idiom(std::string name, std::optional<IdiomTarget> target = std::nullopt) {
  IdiomRule rule;
  rule.kind = IdiomKind::Decorator;
  rule.name = std::move(name);
  rule.target = target;
  return rule;
}

inline IdiomRule call_idiom(std::optional<std::string> name) {
  IdiomRule rule;
  rule.kind = IdiomKind::FunctionCall;
  rule.name = std::move(name);
  return rule;
}

inline FrameworkPack framework_pack(std::string id, std::map<std::string, std::vector<IdiomRule>> idioms = {},
                                    std::vector<DetectRule> symbols = {}, std::vector<ImportRule> imports = {}) {
  FrameworkPack pack;
  pack.id = std::move(id);
  pack.display_name = pack.id + " display";
  pack.idioms = std::move(idioms);
  pack.detect.symbol_patterns = std::move(symbols);
  pack.detect.imports = std::move(imports);
  return pack;
}

}  // namespace detect::testing
