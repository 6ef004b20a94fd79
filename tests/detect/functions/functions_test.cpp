// The per-function pass over a file: which functions are analysed and under what qualified name,
// the records made for them, receiver bindings and factories, and the pattern test.
#include "functions/functions.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "functions/pattern_test.h"
#include "detect/metrics/parsed_source.h"

namespace detect {
namespace {

using testing::ParsedSource;

constexpr std::string_view kFile = "pkg/app.py";

// The records of one file, in a manifest of their own (which also holds their texts).
struct FileRecords {
  BuildManifest manifest;
  const RecordList<PatternHit>& patterns() const { return manifest.patterns; }
  const RecordList<UnclassifiedCall>& calls() const { return manifest.unclassified_calls; }
};

// The file's factory map as the manifest builder makes it: for each top-level function, the first
// factory return among its body statements.
FactoryMap factory_map(const ParsedSource& parsed) {
  FactoryMap factories(HashKey{1, 2});
  for (const pysyntax::Stmt* statement : parsed.statements()) {
    const auto* def = statement->try_as<pysyntax::FunctionDef>();
    if (def == nullptr) continue;
    for (const pysyntax::Stmt* inner : def->body) {
      if (std::optional<std::string> callee = find_factory_return(*inner, parsed.aliases)) {
        factories.try_insert(def->name.id, std::move(*callee));
        break;
      }
    }
  }
  return factories;
}

FileRecords analyze(const std::string& source, const std::vector<PatternPack>& packs) {
  ParsedSource parsed(source);
  const CallCategoryTable categories(HashKey{3, 4});
  const FactoryMap factories = factory_map(parsed);
  FileRecords out;
  FunctionRecords records(out.manifest, packs);
  for (const pysyntax::Stmt* statement : parsed.statements()) {
    analyze_functions(*statement, parsed.aliases, categories, factories, packs, kFile, HashKey{5, 6}, records);
  }
  return out;
}

PatternPack pack(std::string id, PatternMatch match = {}) {
  PatternPack p;
  p.id = std::move(id);
  p.display_name = "Shown";
  p.match = match;
  return p;
}

// Every analysed function, in order, by qualified name (a pack that matches everything).
std::vector<std::string> analysed(const std::string& source) {
  std::vector<std::string> names;
  const FileRecords records = analyze(source, {pack("any")});
  for (const PatternHit& hit : records.patterns()) names.push_back(std::string(hit.function));
  return names;
}

TEST(AnalyzeFunctions, QualifiedNamesAndWhichDefinitionsAreAnalysed) {
  struct Case {
    const char* what;
    const char* source;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"methods, nested classes, functions in methods and in functions",
       "class A:\n    def m(self):\n        def inner(): pass\n    class B:\n        def m(self): pass\n"
       "def f():\n    def g(): pass\n    class K:\n        def m(self): pass\n",
       {"A.m", "A.inner", "B.m", "f", "g", "K.m"}},
      {"under a module-level if, its elif and its else",
       "if a:\n    def f(): pass\nelif b:\n    def g(): pass\nelse:\n    class C:\n        def m(self): pass\n",
       {"f", "g", "C.m"}},
      {"not under try, with, for, while or match",
       "try:\n    def t(): pass\nexcept E:\n    pass\n"
       "with x:\n    def w(): pass\n"
       "for i in y:\n    class C:\n        def m(self): pass\n"
       "while z:\n    def l(): pass\n"
       "match v:\n    case _:\n        def c(): pass\n"
       "def f():\n    for i in y:\n        def in_loop(): pass\n",
       {"f"}},
      {"async functions, and a function defined twice",
       "async def f(): pass\ndef f(): pass\n", {"f", "f"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(analysed(c.source), c.names);
  }
}

std::vector<std::string> listed(const FileRecords& records) {
  std::vector<std::string> out;
  for (const UnclassifiedCall& call : records.calls()) {
    EXPECT_EQ(call.location.file, kFile);
    EXPECT_EQ(call.location.line, 0u);
    std::string line(call.function);
    line.append(": ").append(call.callee).append(" | ").append(call.resolved_callee).append(" | ");
    line.append(call.receiver_rewrite.value_or("-"));
    out.push_back(std::move(line));
  }
  return out;
}

TEST(AnalyzeFunctions, UnclassifiedCallsPerFunction) {
  const FileRecords records = analyze(
      "import os\n"
      "top.level()\n"
      "class A:\n"
      "    body.call()\n"
      "    @deco.make(arg.x())\n"
      "    def m(self, d=default.value()):\n"
      "        os.getcwd()\n"
      "def f():\n"
      "    def g():\n"
      "        inner.call()\n"
      "    for i in xs:\n"
      "        def h():\n"
      "            loop.call()\n",
      {});
  EXPECT_EQ(listed(records), (std::vector<std::string>{
                                 "A.m: os.getcwd | os.getcwd | -",
                                 "f: inner.call | inner.call | -",
                                 "f: loop.call | loop.call | -",
                                 "g: inner.call | inner.call | -",
                             }));
}

TEST(AnalyzeFunctions, PatternHitsFollowPackOrder) {
  PatternMatch two_llm_calls;
  two_llm_calls.min_llm_calls_per_function = 2;
  PatternMatch loops;
  loops.has_loop = true;
  PatternPack shown = pack("first");
  shown.confidence = 0.25f;
  const FileRecords records = analyze(
      "def a():\n    c.invoke()\n    c.ask()\n"
      "def b():\n    for x in y:\n        pass\n",
      {shown, pack("two", two_llm_calls), pack("loop", loops)});
  std::vector<std::string> hits;
  for (const PatternHit& hit : records.patterns()) {
    EXPECT_EQ(hit.display_name, "Shown");
    EXPECT_EQ(hit.location.file, kFile);
    hits.push_back(std::string(hit.function) + ": " + std::string(hit.id));
  }
  EXPECT_EQ(hits, (std::vector<std::string>{"a: first", "a: two", "b: first", "b: loop"}));
  EXPECT_EQ(records.patterns().front().confidence, 0.25f);
  EXPECT_TRUE(analyze("def a(): pass\n", {}).patterns().empty());
}

TEST(PatternTest, BoundsAreInclusiveAndUnsetConstraintsHold) {
  // Distinct counts and mixed flags, so that a constraint tested against the wrong metric fails.
  FunctionMetrics m;
  m.llm_call_count = 2;
  m.tool_call_count = 5;
  m.agent_spawn_count = 7;
  m.max_branches = 3;
  m.has_loop = false;
  m.has_parallel = true;
  m.has_branch_on_llm = false;
  struct Case {
    const char* what;
    void (*set)(PatternMatch&);
    bool holds;
  };
  const Case cases[] = {
      {"nothing set", [](PatternMatch&) {}, true},
      {"min llm equal", [](PatternMatch& p) { p.min_llm_calls_per_function = 2; }, true},
      {"min llm above", [](PatternMatch& p) { p.min_llm_calls_per_function = 3; }, false},
      {"max llm equal", [](PatternMatch& p) { p.max_llm_calls_per_function = 2; }, true},
      {"max llm below", [](PatternMatch& p) { p.max_llm_calls_per_function = 1; }, false},
      {"min tool equal", [](PatternMatch& p) { p.min_tool_calls_per_function = 5; }, true},
      {"min tool above", [](PatternMatch& p) { p.min_tool_calls_per_function = 6; }, false},
      {"max tool equal", [](PatternMatch& p) { p.max_tool_calls_per_function = 5; }, true},
      {"max tool below", [](PatternMatch& p) { p.max_tool_calls_per_function = 4; }, false},
      {"min spawns equal", [](PatternMatch& p) { p.min_agent_spawns_per_function = 7; }, true},
      {"min spawns above", [](PatternMatch& p) { p.min_agent_spawns_per_function = 8; }, false},
      {"min branches equal", [](PatternMatch& p) { p.min_branches = 3; }, true},
      {"min branches above", [](PatternMatch& p) { p.min_branches = 4; }, false},
      {"has_loop false", [](PatternMatch& p) { p.has_loop = false; }, true},
      {"has_loop true", [](PatternMatch& p) { p.has_loop = true; }, false},
      {"has_parallel true", [](PatternMatch& p) { p.has_parallel = true; }, true},
      {"has_parallel false", [](PatternMatch& p) { p.has_parallel = false; }, false},
      {"has_branch_on_llm false", [](PatternMatch& p) { p.has_branch_on_llm = false; }, true},
      {"has_branch_on_llm true", [](PatternMatch& p) { p.has_branch_on_llm = true; }, false},
      {"min above max",
       [](PatternMatch& p) {
         p.min_llm_calls_per_function = 3;
         p.max_llm_calls_per_function = 1;
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PatternMatch match;
    c.set(match);
    EXPECT_EQ(meets_pattern(match, m), c.holds);
  }
  PatternMatch none_allowed;
  none_allowed.max_llm_calls_per_function = 0;
  EXPECT_TRUE(meets_pattern(none_allowed, FunctionMetrics{}));
}

// The receiver rewrite of the probe call `x.probe()` in `f`, which shows what `x` is bound to.
std::optional<std::string> binding_of_x(const std::string& source) {
  const FileRecords records = analyze(source, {});
  for (const UnclassifiedCall& call : records.calls()) {
    if (call.function == "f" && call.callee == "x.probe") {
      if (!call.receiver_rewrite) return std::nullopt;
      return std::string(*call.receiver_rewrite);
    }
  }
  ADD_FAILURE() << "no probe call listed";
  return std::nullopt;
}

TEST(Bindings, WhatAVariableIsBoundTo) {
  const std::string imports = "import os, json\nfrom llmkit import ChatModel, Other\n";
  struct Case {
    const char* what;
    const char* body;
    std::optional<std::string> bound;
  };
  const Case cases[] = {
      {"an imported class", "    x = ChatModel()\n", "llmkit.ChatModel.probe"},
      {"an annotated assignment", "    x: ChatModel = ChatModel()\n", "llmkit.ChatModel.probe"},
      {"an annotation alone", "    x: ChatModel\n", std::nullopt},
      {"several targets", "    x = y = ChatModel()\n", std::nullopt},
      {"an attribute target", "    self.x = ChatModel()\n", std::nullopt},
      {"an augmented assignment", "    x += ChatModel()\n", std::nullopt},
      {"a tuple target", "    x, y = ChatModel(), 1\n", std::nullopt},
      {"the first binding stays", "    x = ChatModel()\n    x = Other()\n", "llmkit.ChatModel.probe"},
      {"a dotted callee", "    x = os.getcwd()\n", "os.getcwd.probe"},
      {"a dotted callee that does not resolve", "    x = kit.build()\n", std::nullopt},
      {"a bare name that resolves to itself", "    x = json()\n", std::nullopt},
      {"a class of the same file", "    x = Local()\n", std::nullopt},
      {"an awaited call", "    x = await ChatModel()\n", std::nullopt},
      {"not a call", "    x = ChatModel\n", std::nullopt},
      {"inside a match case", "    match v:\n        case _:\n            x = ChatModel()\n", std::nullopt},
      {"inside a nested function", "    def g():\n        x = ChatModel()\n", std::nullopt},
      {"inside a while else body", "    while a:\n        pass\n    else:\n        x = ChatModel()\n",
       std::nullopt},
      {"inside a for else body", "    for i in a:\n        pass\n    else:\n        x = ChatModel()\n",
       "llmkit.ChatModel.probe"},
      {"inside an elif", "    if a:\n        pass\n    elif b:\n        x = ChatModel()\n", "llmkit.ChatModel.probe"},
      {"inside a with", "    with a:\n        x = ChatModel()\n", "llmkit.ChatModel.probe"},
      {"inside a finally block", "    try:\n        pass\n    finally:\n        x = ChatModel()\n",
       "llmkit.ChatModel.probe"},
      {"a factory of the file, defined below", "    x = make_llm()\n", "llmkit.ChatModel.probe"},
      {"a factory reached through a module", "    x = tools.make_llm()\n", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(binding_of_x(imports + "def f():\n" + c.body + "    x.probe()\n" +
                           "def make_llm():\n    return ChatModel(model=m)\n"),
              c.bound);
  }
}

TEST(FactoryReturn, FirstSuitableReturnedCall) {
  struct Case {
    const char* what;
    const char* body;
    std::optional<std::string> found;
  };
  const Case cases[] = {
      {"a returned imported class", "    return ChatModel(model=m)\n", "llmkit.ChatModel"},
      {"a dotted imported callee", "    return os.getcwd()\n", "os.getcwd"},
      {"a dotted callee that does not resolve", "    return kit.build()\n", std::nullopt},
      {"a local callee is passed over for a later import",
       "    if a:\n        return helper()\n    return ChatModel()\n", "llmkit.ChatModel"},
      {"a bare return and a non-call", "    return\n    return ChatModel\n", std::nullopt},
      {"in a with body", "    with a:\n        return ChatModel()\n", "llmkit.ChatModel"},
      {"in an if's else clause", "    if a:\n        pass\n    else:\n        return ChatModel()\n",
       "llmkit.ChatModel"},
      {"in a for body", "    for i in a:\n        return ChatModel()\n", "llmkit.ChatModel"},
      {"only in a for else body", "    for i in a:\n        pass\n    else:\n        return ChatModel()\n",
       std::nullopt},
      {"only in a while else body", "    while a:\n        pass\n    else:\n        return ChatModel()\n",
       std::nullopt},
      {"only in an except handler",
       "    try:\n        pass\n    except E:\n        return ChatModel()\n", std::nullopt},
      {"only in a finally block", "    try:\n        pass\n    finally:\n        return ChatModel()\n",
       std::nullopt},
      {"only in a match case", "    match v:\n        case _:\n            return ChatModel()\n", std::nullopt},
      {"only in a nested function", "    def g():\n        return ChatModel()\n", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ParsedSource parsed(std::string("import os\nfrom llmkit import ChatModel\ndef make():\n") + c.body);
    const pysyntax::FunctionDef* make = parsed.function("make");
    ASSERT_NE(make, nullptr);
    std::optional<std::string> found;
    for (const pysyntax::Stmt* statement : make->body) {
      if ((found = find_factory_return(*statement, parsed.aliases))) break;
    }
    EXPECT_EQ(found, c.found);
  }
}

namespace deep {

std::string indent(std::uint32_t level) { return std::string(level, ' '); }

// `def d0():` ... `def dN():` nested, the innermost holding an if whose test is a `+` chain of
// the greatest admitted height and a call nested as deep as brackets may go.
std::string nested_definitions(std::uint32_t levels, std::uint32_t height, std::uint32_t calls) {
  std::string text;
  for (std::uint32_t i = 0; i < levels; ++i) text += indent(i) + "def d" + std::to_string(i) + "():\n";
  text += indent(levels) + "if intent";
  for (std::uint32_t i = 1; i < height; ++i) text += " + a";
  text += ":\n" + indent(levels + 1) + "x = ";
  for (std::uint32_t i = 0; i < calls; ++i) text += "c.invoke(";
  text += std::string(calls, ')') + "\n";
  return text;
}

// A factory whose return stands under as many compound statements as indentation allows.
std::string nested_factory(std::uint32_t levels) {
  static const char* const openers[] = {"if a:", "for i in a:", "while a:", "with a:", "try:"};
  std::string text = "def make():\n";
  std::vector<bool> is_try;
  for (std::uint32_t i = 0; i + 1 < levels; ++i) {
    const char* opener = openers[i % 5];
    text += indent(i + 1) + opener + "\n";
    is_try.push_back(i % 5 == 4);
  }
  text += indent(levels) + "return ChatModel()\n";
  // Close the try statements from the inside out.
  for (std::uint32_t i = static_cast<std::uint32_t>(is_try.size()); i-- > 0;) {
    if (is_try[i]) text += indent(i + 1) + "finally:\n" + indent(i + 2) + "pass\n";
  }
  return text;
}

}  // namespace deep

TEST(AnalyzeFunctions, DeepestAdmittedNestingIsWalkedWithoutExhaustingTheStack) {
  // Indentation levels count the unindented one; the innermost definition's if and its body take
  // the last two.
  const std::uint32_t levels = pysyntax::kMaxIndentationLevels - 2;
  const std::uint32_t height = pysyntax::kMaxExpressionHeight;
  const std::uint32_t calls = pysyntax::kMaxBracketDepth;
  PatternMatch routing;
  routing.has_branch_on_llm = true;
  PatternMatch every_call;
  every_call.min_llm_calls_per_function = calls;
  const FileRecords records = analyze("from llmkit import ChatModel\n" +
                                          deep::nested_definitions(levels, height, calls) +
                                          deep::nested_factory(levels + 1) +
                                          "def use():\n    m = make()\n    m.probe()\n",
                                      {pack("routing", routing), pack("calls", every_call)});
  std::vector<std::string> routing_hits;
  std::size_t call_hits = 0;
  for (const PatternHit& hit : records.patterns()) {
    if (hit.id == "routing") routing_hits.push_back(std::string(hit.function));
    if (hit.id == "calls") ++call_hits;
  }
  // Only the innermost function opens the if; every enclosing one counts its calls.
  EXPECT_EQ(routing_hits, std::vector<std::string>{"d" + std::to_string(levels - 1)});
  EXPECT_EQ(call_hits, levels);
  ASSERT_EQ(records.calls().size(), 1u);
  EXPECT_EQ(records.calls()[0].receiver_rewrite, "llmkit.ChatModel.probe");
}

}  // namespace
}  // namespace detect
