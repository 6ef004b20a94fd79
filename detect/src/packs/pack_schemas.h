// The field tables of the pack records and the spellings of their enumerations, in declaration
// order: the order in which required keys are looked up and unknown spellings are listed.
#pragma once

#include <array>
#include <tuple>

#include "detect/packs.h"
#include "packs/record_reader.h"

namespace detect::packs {

template <>
struct EnumSchema<DetectRuleKind> {
  static constexpr std::array spellings{
      Spelling<DetectRuleKind>{"class_instantiation", DetectRuleKind::ClassInstantiation},
      Spelling<DetectRuleKind>{"decorator", DetectRuleKind::Decorator},
      Spelling<DetectRuleKind>{"function_call", DetectRuleKind::FunctionCall},
  };
};

template <>
struct EnumSchema<IdiomKind> {
  static constexpr std::array spellings{
      Spelling<IdiomKind>{"class_instantiation", IdiomKind::ClassInstantiation},
      Spelling<IdiomKind>{"decorator", IdiomKind::Decorator},
      Spelling<IdiomKind>{"kwarg_value", IdiomKind::KwargValue},
      Spelling<IdiomKind>{"function_call", IdiomKind::FunctionCall},
  };
};

template <>
struct EnumSchema<IdiomTarget> {
  static constexpr std::array spellings{
      Spelling<IdiomTarget>{"function", IdiomTarget::Function},
      Spelling<IdiomTarget>{"class", IdiomTarget::Class},
  };
};

template <>
struct RecordSchema<ImportRule> {
  static constexpr std::string_view expecting = "struct ImportRule";
  static constexpr std::tuple fields{
      required("module", &ImportRule::module),
      required("weight", &ImportRule::weight),
  };
};

template <>
struct RecordSchema<DetectRule> {
  static constexpr std::string_view expecting = "struct DetectRule";
  static constexpr std::tuple fields{
      required("kind", &DetectRule::kind),
      defaulted("class", &DetectRule::class_name),
      defaulted("name", &DetectRule::name),
      required("weight", &DetectRule::weight),
  };
};

template <>
struct RecordSchema<DetectSection> {
  static constexpr std::string_view expecting = "struct DetectSection";
  static constexpr std::tuple fields{
      defaulted("imports", &DetectSection::imports),
      defaulted("symbol_patterns", &DetectSection::symbol_patterns),
  };
};

template <>
struct RecordSchema<IdiomRule> {
  static constexpr std::string_view expecting = "struct IdiomRule";
  static constexpr std::tuple fields{
      required("kind", &IdiomRule::kind),
      defaulted("class", &IdiomRule::class_name),
      defaulted("name", &IdiomRule::name),
      defaulted("target", &IdiomRule::target),
      defaulted("kwarg", &IdiomRule::kwarg),
      defaulted("capture", &IdiomRule::capture),
  };
};

template <>
struct RecordSchema<FrameworkPack> {
  static constexpr std::string_view expecting = "struct FrameworkPack";
  static constexpr std::tuple fields{
      required("schema_version", &FrameworkPack::schema_version),
      required("kind", &FrameworkPack::kind),
      required("id", &FrameworkPack::id),
      defaulted("display_name", &FrameworkPack::display_name),
      defaulted("homepage", &FrameworkPack::homepage),
      defaulted("maintainer", &FrameworkPack::maintainer),
      defaulted("version", &FrameworkPack::version),
      defaulted("detect", &FrameworkPack::detect),
      defaulted("idioms", &FrameworkPack::idioms),
      defaulted("suggest", &FrameworkPack::suggest),
      defaulted("adapter", &FrameworkPack::adapter),
  };
};

template <>
struct RecordSchema<PatternMatch> {
  static constexpr std::string_view expecting = "struct PatternMatch";
  static constexpr std::tuple fields{
      defaulted("min_llm_calls_per_function", &PatternMatch::min_llm_calls_per_function),
      defaulted("max_llm_calls_per_function", &PatternMatch::max_llm_calls_per_function),
      defaulted("min_tool_calls_per_function", &PatternMatch::min_tool_calls_per_function),
      defaulted("max_tool_calls_per_function", &PatternMatch::max_tool_calls_per_function),
      defaulted("min_agent_spawns_per_function", &PatternMatch::min_agent_spawns_per_function),
      defaulted("min_branches", &PatternMatch::min_branches),
      defaulted("has_loop", &PatternMatch::has_loop),
      defaulted("has_parallel", &PatternMatch::has_parallel),
      defaulted("has_branch_on_llm", &PatternMatch::has_branch_on_llm),
  };
};

template <>
struct RecordSchema<PatternPack> {
  static constexpr std::string_view expecting = "struct PatternPack";
  static constexpr std::tuple fields{
      required("schema_version", &PatternPack::schema_version),
      required("kind", &PatternPack::kind),
      required("id", &PatternPack::id),
      defaulted("display_name", &PatternPack::display_name),
      defaulted("homepage", &PatternPack::homepage),
      defaulted("maintainer", &PatternPack::maintainer),
      defaulted("version", &PatternPack::version),
      defaulted("match", &PatternPack::match),
      defaulted("confidence", &PatternPack::confidence),
  };
};

}  // namespace detect::packs
