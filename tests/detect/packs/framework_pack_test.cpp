// Framework packs: the record with its detect section and idiom rules, the enumeration forms, free
// values and what makes them fail. The loader never shows these errors, but they decide whether a
// pack is kept, and their paths and positions are checked here all the same.
#include <string>

#include <gtest/gtest.h>

#include "detect/packs.h"

namespace detect {
namespace {

const std::string kHead = "schema_version: \"1\"\nkind: framework\nid: fw\n";

std::string error_of(const std::string& text) {
  const PackRead<FrameworkPack> read = read_framework_pack(text);
  EXPECT_NE(read.pack.has_value(), read.error.has_value());
  return read.error ? read.error->display() : "(read)";
}

TEST(FrameworkPackRecord, TakesItsDefaults) {
  for (const std::string& text : {kHead, kHead + "detect:\nidioms:\nsuggest:\nadapter: null\n"}) {
    const PackRead<FrameworkPack> read = read_framework_pack(text);
    ASSERT_TRUE(read.pack.has_value()) << text << read.error->display();
    const FrameworkPack& pack = *read.pack;
    EXPECT_EQ(pack.id, "fw");
    EXPECT_EQ(pack.display_name + pack.homepage + pack.maintainer + pack.version, "");
    EXPECT_TRUE(pack.detect.imports.empty());
    EXPECT_TRUE(pack.detect.symbol_patterns.empty());
    EXPECT_TRUE(pack.idioms.empty());
    EXPECT_TRUE(pack.suggest.empty());
    EXPECT_FALSE(pack.adapter.has_value());
  }
}

TEST(FrameworkPackRecord, ReadsDetectRulesInOrder) {
  const PackRead<FrameworkPack> read = read_framework_pack(kHead +
                                                           "detect:\n"
                                                           "  imports:\n"
                                                           "    - &imp {module: langchain, weight: 0.5}\n"
                                                           "    - *imp\n"
                                                           "    - {module: crewai.x, weight: 1}\n"
                                                           "  symbol_patterns:\n"
                                                           "    - {kind: class_instantiation, class: a.B, weight: .25}\n"
                                                           "    - {kind: \"decorator\", name: tool, class: null, weight: 1}\n"
                                                           "    - {kind: !function_call, class: \"null\", weight: 2}\n"
                                                           "    - kind: !decorator ~\n"
                                                           "      weight: 3\n");
  ASSERT_TRUE(read.pack.has_value()) << read.error->display();
  const auto& imports = read.pack->detect.imports;
  ASSERT_EQ(imports.size(), 3u);
  EXPECT_EQ(imports[0].module, "langchain");
  EXPECT_EQ(imports[1].module, "langchain");
  EXPECT_EQ(imports[1].weight, 0.5f);
  EXPECT_EQ(imports[2].module, "crewai.x");
  EXPECT_EQ(imports[2].weight, 1.0f);
  const auto& rules = read.pack->detect.symbol_patterns;
  ASSERT_EQ(rules.size(), 4u);
  EXPECT_EQ(rules[0].kind, DetectRuleKind::ClassInstantiation);
  EXPECT_EQ(rules[0].class_name, "a.B");
  EXPECT_FALSE(rules[0].name.has_value());
  EXPECT_EQ(rules[0].weight, 0.25f);
  EXPECT_EQ(rules[1].kind, DetectRuleKind::Decorator);
  EXPECT_FALSE(rules[1].class_name.has_value());
  EXPECT_EQ(rules[1].name, "tool");
  EXPECT_EQ(rules[2].kind, DetectRuleKind::FunctionCall);
  EXPECT_EQ(rules[2].class_name, "null");
  EXPECT_EQ(rules[3].kind, DetectRuleKind::Decorator);
  EXPECT_EQ(rules[3].weight, 3.0f);
}

TEST(FrameworkPackRecord, ReadsIdiomsByCategoryInBytewiseOrder) {
  const PackRead<FrameworkPack> read = read_framework_pack(kHead +
                                                           "idioms:\n"
                                                           "  tool:\n"
                                                           "    - {kind: kwarg_value}\n"
                                                           "  agent:\n"
                                                           "    - {kind: function_call}\n"
                                                           "  Agent:\n"
                                                           "  llm_call: []\n"
                                                           "  agent:\n"
                                                           "    - kind: class_instantiation\n"
                                                           "      class: ''\n"
                                                           "      name:\n"
                                                           "      target: !function\n"
                                                           "      kwarg: model\n"
                                                           "      extra: {any: [thing]}\n"
                                                           "      capture:\n"
                                                           "        model: first\n"
                                                           "        b: ~\n"
                                                           "        model: \"{kwarg('model')}\"\n"
                                                           "        B: ''\n"
                                                           "        a:\n");
  ASSERT_TRUE(read.pack.has_value()) << read.error->display();
  const auto& idioms = read.pack->idioms;
  std::string categories;
  for (const auto& [name, rules] : idioms) categories += name + ",";
  EXPECT_EQ(categories, "Agent,agent,llm_call,tool,");
  EXPECT_TRUE(idioms.at("Agent").empty());
  ASSERT_EQ(idioms.at("agent").size(), 1u) << "a category named twice keeps its later list";
  const IdiomRule& rule = idioms.at("agent")[0];
  EXPECT_EQ(rule.kind, IdiomKind::ClassInstantiation);
  EXPECT_EQ(rule.class_name, "");
  EXPECT_FALSE(rule.name.has_value());
  EXPECT_EQ(rule.target, IdiomTarget::Function);
  EXPECT_EQ(rule.kwarg, "model");
  std::string captures;
  for (const auto& [key, value] : rule.capture) captures += key + "=" + value + ";";
  EXPECT_EQ(captures, "B=;a=;b=~;model={kwarg('model')};");
  EXPECT_EQ(idioms.at("tool")[0].kind, IdiomKind::KwargValue);
}

TEST(FrameworkPackRecord, AcceptsFreeValuesOfAnyShape) {
  const char* accepted[] = {
      "suggest: [1, x, [a, [b]], {k: v}, !local {x: 1}, ~, !!bool true, !!int -0x10, !!float 1, !!null ~]\n",
      "adapter: {1: a, 1.0: b, \"1\": c, true: d, ~: e, [a]: f, {x: 1}: g}\n",
      "adapter: !tagged\n",
      "adapter: &a {x: [1]}\nsuggest: [*a, *a]\n",
      "suggest:\n- \n- {a: 1, b: 2}\n- {b: 2, a: 1}\n",
  };
  for (const char* text : accepted) {
    const PackRead<FrameworkPack> read = read_framework_pack(kHead + text);
    EXPECT_TRUE(read.pack.has_value()) << text << read.error->display();
  }
  const PackRead<FrameworkPack> read = read_framework_pack(kHead + "suggest: [1, [2], {}]\nadapter: 0\n");
  ASSERT_TRUE(read.pack.has_value());
  EXPECT_EQ(read.pack->suggest.size(), 3u);
  EXPECT_TRUE(read.pack->adapter.has_value());
}

TEST(FrameworkPackErrors, NameTheFailingNode) {
  struct Case {
    std::string text;
    std::string display;
  };
  const std::string rules = "detect:\n  symbol_patterns:\n";
  const std::string rule = "    - {kind: decorator, name: n, weight: 1}\n";
  const Case cases[] = {
      {"id: fw\n", "missing field `schema_version`"},
      {"schema_version: 1\nid: fw\n", "missing field `kind`"},
      {"- " + kHead, "invalid type: sequence, expected struct FrameworkPack"},
      {"ID: fw\nschema_version: 1\nkind: framework\n", "missing field `id`"},
      {kHead + "detect: ~\n", "detect: invalid type: unit value, expected struct DetectSection at line 4 column 9"},
      {kHead + "detect: []\n", "detect: invalid type: sequence, expected struct DetectSection at line 4 column 9"},
      {kHead + "detect:\n  imports: ~\n",
       "detect.imports: invalid type: unit value, expected a sequence at line 5 column 12"},
      {kHead + "detect:\n  imports:\n    - weight: 1\n",
       "detect.imports[0]: missing field `module` at line 6 column 7"},
      {kHead + "detect:\n  imports:\n    - module: m\n", "detect.imports[0]: missing field `weight` at line 6 column 7"},
      {kHead + "detect:\n  imports:\n    - x\n",
       "detect.imports[0]: invalid type: string \"x\", expected struct ImportRule at line 6 column 7"},
      {kHead + rules + rule + rule + "    - {kind: decorator, weight: \"1\"}\n",
       "detect.symbol_patterns[2].weight: invalid type: string \"1\", expected f32 at line 8 column 33"},
      {kHead + rules + "    -\n", "detect.symbol_patterns[0]: missing field `kind` at line 6 column 6"},
      {kHead + rules + "    - name: n\n      class: c\n",
       "detect.symbol_patterns[0]: missing field `kind` at line 6 column 7"},
      {kHead + rules + "    - kind: decorator\n", "detect.symbol_patterns[0]: missing field `weight` at line 6 column 7"},
      {kHead + rules + "    - {kind: Decorator, weight: 1}\n",
       "detect.symbol_patterns[0].kind: unknown variant `Decorator`, expected one of `class_instantiation`, "
       "`decorator`, `function_call` at line 6 column 14"},
      {kHead + rules + "    - {kind: ~, weight: 1}\n",
       "detect.symbol_patterns[0].kind: unknown variant `~`, expected one of `class_instantiation`, "
       "`decorator`, `function_call` at line 6 column 14"},
      {kHead + rules + "    - {kind: !Decorator , weight: 1}\n",
       "detect.symbol_patterns[0].kind: unknown variant `Decorator`, expected one of `class_instantiation`, "
       "`decorator`, `function_call` at line 6 column 14"},
      {kHead + rules + "    - {kind: !decorator x, weight: 1}\n",
       "detect.symbol_patterns[0].kind: invalid value: string \"x\", expected null at line 6 column 14"},
      {kHead + rules + "    - {kind: {decorator: 1}, weight: 1}\n",
       "detect.symbol_patterns[0].kind: invalid type: map, expected a YAML tag starting with '!' at line 6 column 14"},
      {kHead + rules + "    - {kind: decorator, weight: 1, kind: decorator}\n",
       "detect.symbol_patterns[0]: duplicate field `kind` at line 6 column 7"},
      {kHead + rules + "    - {kind: decorator, weight: 1, class: !!null x}\n",
       "detect.symbol_patterns[0].class: invalid value: string \"x\", expected null at line 6 column 43"},
      {kHead + "idioms: x\n", "idioms: invalid type: string \"x\", expected a map at line 4 column 9"},
      {kHead + "idioms:\n  agent: ~\n", "idioms.agent: invalid type: unit value, expected a sequence at line 5 column 10"},
      {kHead + "idioms:\n  agent:\n    - class: x\n", "idioms.agent[0]: missing field `kind` at line 6 column 7"},
      {kHead + "idioms:\n  agent:\n    - ~\n",
       "idioms.agent[0]: invalid type: unit value, expected struct IdiomRule at line 6 column 7"},
      {kHead + "idioms:\n  [a]: []\n", "idioms: invalid type: sequence, expected a string at line 5 column 3"},
      {kHead + "idioms:\n  agent:\n    - {kind: decorator, target: Class}\n",
       "idioms.agent[0].target: unknown variant `Class`, expected `function` or `class` at line 6 column 33"},
      {kHead + "idioms:\n  agent:\n    - {kind: Decorator}\n",
       "idioms.agent[0].kind: unknown variant `Decorator`, expected one of `class_instantiation`, `decorator`, "
       "`kwarg_value`, `function_call` at line 6 column 14"},
      {kHead + "idioms:\n  agent:\n    - {kind: decorator, capture: ~}\n",
       "idioms.agent[0].capture: invalid type: unit value, expected a map at line 6 column 34"},
      {kHead + "idioms:\n  agent:\n    - {kind: decorator, capture: {model: [x]}}\n",
       "idioms.agent[0].capture.model: invalid type: sequence, expected a string at line 6 column 42"},
      {kHead + "suggest: x\n", "suggest: invalid type: string \"x\", expected a sequence at line 4 column 10"},
      {kHead + "suggest: {a: 1}\n", "suggest: invalid type: map, expected a sequence at line 4 column 10"},
      {kHead + "display_name: {a: 1}\n", "display_name: invalid type: map, expected a string at line 4 column 15"},
      {kHead + "---\n", "deserializing from YAML containing more than one document is not supported"},
  };
  for (const Case& c : cases) EXPECT_EQ(error_of(c.text), c.display) << c.text;
}

TEST(FrameworkPackErrors, FreeValuesFailOnRepeatedKeysAndMisfittingCoreTags) {
  const char* rejected[] = {
      "adapter: {a: 1, a: 2}\n",
      "adapter: {a: 1, \"a\": 1}\n",
      "adapter: {1: a, 0x1: b}\n",
      "adapter: {~: a, null: b}\n",
      "adapter: {.nan: a, .NaN: b}\n",
      "adapter: {[a, b]: 1, [a, b]: 2}\n",
      "adapter: {{a: 1, b: 2}: x, {b: 2, a: 1}: y}\n",
      "adapter: {!t a: 1, !t a: 2}\n",
      "suggest: [[{x: 1, x: 2}]]\n",
      "adapter: !!int x\n",
      "adapter: !!bool yes\n",
      "adapter: !!float 0x10\n",
      "adapter: !!null\n",
      "suggest: [!!null 0]\n",
      "adapter: &a {k: v}\nsuggest: [{*a : 1, {k: v}: 2}]\n",
      "adapter: {[[a, {b: 1, c: 2}]]: 1, [[a, {c: 2, b: 1}]]: 2}\n",
  };
  for (const char* text : rejected) {
    EXPECT_FALSE(read_framework_pack(kHead + text).pack.has_value()) << text;
  }
  EXPECT_EQ(error_of(kHead + "adapter:\n  x: 1\n  x: 2\n"), "adapter: duplicate entry in YAML map at line 5 column 3");
  // Keys that are collections too large to stand for themselves compare by all they hold.
  const std::string x(70, 'x');
  const std::string large = "[" + x + ", {" + x + ": [" + x + "]}]";
  EXPECT_EQ(error_of(kHead + "adapter: {" + large + ": 1, " + large + ": 2}\n"),
            "adapter: duplicate entry in YAML map at line 4 column 10");
  EXPECT_EQ(error_of(kHead + "adapter: {" + large + ": 1, [" + x + ", {" + x + ": [" + x + "y]}]: 2}\n"), "(read)");
}

}  // namespace
}  // namespace detect
