// The file pass: class-instantiation and decorator rules over a parsed source, the hits they
// push (with their repetitions) and the evidence they write.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "detect/metrics/parsed_source.h"
#include "detect/walker/pack_fixtures.h"
#include "pysyntax/parse.h"
#include "walker/file_pass.h"

namespace detect {
namespace {

using testing::class_idiom;
using testing::class_rule;
using testing::decorator_idiom;
using testing::decorator_rule;
using testing::framework_pack;

// One file run through `decorator_pass`, statement by statement.
struct FilePass {
  FilePass(std::string source, std::vector<FrameworkPack> framework_packs)
      : parsed(std::move(source)),
        packs(std::move(framework_packs)),
        rules(packs, parsed.seeds),
        context("src/app.py", parsed.aliases, rules, expander, parsed.seeds, budget) {
    for (const pysyntax::Stmt* statement : parsed.statements()) decorator_pass(context, *statement);
  }

  std::vector<std::string> agent_names() const {
    std::vector<std::string> out;
    for (const AgentEntry& agent : context.agents) out.push_back(agent.name);
    return out;
  }
  // "{id}/{text}={weight}" for every evidence item, in insertion order.
  std::vector<std::string> evidence() const {
    std::vector<std::string> out;
    for (const auto& [id, weights] : context.evidence.entries())
      for (const auto& [text, weight] : weights.entries()) out.push_back(id + "/" + text + "=" + std::to_string(weight));
    return out;
  }

  testing::ParsedSource parsed;
  std::vector<FrameworkPack> packs;
  RuleIndex rules;
  CaptureExpander expander{parsed.seeds.next()};
  OutputBudget budget;
  FileContext context;
};

TEST(FilePass, AgentNamedFromCaptures) {
  const std::map<std::string, std::string> with_name{{"name", "{kwarg('name')}"}, {"model", "{kwarg('llm')}"}};
  struct Case {
    const char* call;
    std::map<std::string, std::string> capture;
    const char* rule_class;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"Agent(name='researcher', llm=cfg.model)", with_name, "pkg.Agent", {"researcher"}},
      {"Agent(llm=cfg.model)", with_name, "pkg.Agent", {""}},
      {"Agent(name='researcher')", {{"model", "m"}}, "pkg.Agent", {"pkg.Agent"}},
      {"pkg_alias.Agent()", {}, "pkg.Agent", {}},  // not imported: resolves to itself
      {"Agent()", {}, "Agent", {}},                // only the resolved callee is compared
  };
  for (const Case& c : cases) {
    FilePass pass(std::string("from pkg import Agent\na = ") + c.call + "\n",
                  {framework_pack("fw", {{"agent", {class_idiom(c.rule_class, c.capture)}}})});
    EXPECT_EQ(pass.agent_names(), c.names) << c.call;
    for (const AgentEntry& agent : pass.context.agents) {
      EXPECT_EQ(agent.class_path, "pkg.Agent");
      EXPECT_EQ(agent.framework_id, "fw");
      EXPECT_EQ(agent.location.file, "src/app.py");
      EXPECT_EQ(agent.location.line, 0u);
    }
  }
}

TEST(FilePass, ClassRuleComparedWithTheWholeResolvedCallee) {
  struct Case {
    const char* source;
    const char* rule_class;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"import pkg as p\np.sub.Agent()\n", "pkg.sub.Agent", {"pkg.sub.Agent"}},
      {"from pkg import Agent\nAgent().build()\n", "pkg.Agent.build", {"pkg.Agent.build"}},
      {"import pkg as p\np.sub.Agent()\n", "other.sub.Agent", {}},  // same last attribute only
      {"import pkg as p\np.sub.Agent()\n", "pkg.sub.Agents", {}},
      {"from pkg import Agent\nAgent()\n", "pkg.Agent", {"pkg.Agent"}},
      {"import pkg.sub\npkg.Agent()\n", "pkg.sub.Agent", {"pkg.sub.Agent"}},
  };
  for (const Case& c : cases) {
    FilePass pass(c.source, {framework_pack("fw", {{"agent", {class_idiom(c.rule_class)}}})});
    EXPECT_EQ(pass.agent_names(), c.names) << c.source << " / " << c.rule_class;
  }
}

TEST(FilePass, LlmClientFromCaptures) {
  struct Case {
    const char* call;
    const char* model_template;
    const char* model;
  };
  const Case cases[] = {
      {"Client()", "{kwarg('model')}", ""},
      {"Client(model='small')", "{kwarg('model')}", "small"},
      {"Client(model='small')", "acme/{kwarg('model')}", "acme/small"},
  };
  for (const Case& c : cases) {
    FilePass pass(std::string("import sdk\nsdk.") + c.call + "\n",
                  {framework_pack("fw", {{"llm_client", {class_idiom(
                                                            "sdk.Client", {{"provider", "acme"},
                                                                           {"model", c.model_template}})}}})});
    ASSERT_EQ(pass.context.llm_clients.size(), 1u) << c.call;
    EXPECT_EQ(pass.context.llm_clients[0].provider, "acme");
    EXPECT_EQ(pass.context.llm_clients[0].model, c.model);
  }
}

TEST(FilePass, OrchestratorPathsAndCategoriesWithoutEntries) {
  IdiomRule flow = decorator_idiom("flow");
  IdiomRule empty_class = decorator_idiom("flow");
  empty_class.class_name = "";
  FilePass pass("from pkg import Crew\n@flow\ndef run():\n    pass\nCrew()\n",
                {framework_pack("fw", {{"orchestrator", {class_idiom("pkg.Crew"), flow, empty_class}},
                                       {"llm_call", {class_idiom("pkg.Crew")}},
                                       {"Agent", {class_idiom("pkg.Crew")}}})});
  std::vector<std::string> paths;
  for (const AgentEntry& agent : pass.context.agents) paths.push_back(agent.name + " " + agent.class_path);
  EXPECT_EQ(paths, (std::vector<std::string>{"run flow#orchestrator", "run #orchestrator",
                                             "pkg.Crew pkg.Crew#orchestrator"}));
  EXPECT_TRUE(pass.context.tools.empty());
  EXPECT_TRUE(pass.context.llm_clients.empty());
  EXPECT_TRUE(pass.evidence().empty());
}

TEST(FilePass, HitsFollowPackOrderThenCategoryKeyOrder) {
  FilePass pass("X()\n", {framework_pack("one", {{"tool", {class_idiom("X")}}, {"agent", {class_idiom("X")}}}),
                          framework_pack("two", {{"agent", {class_idiom("X"), class_idiom("X", {{"name", "b"}})}}})});
  std::vector<std::string> agents;
  for (const AgentEntry& agent : pass.context.agents) agents.push_back(agent.framework_id + ":" + agent.name);
  EXPECT_EQ(agents, (std::vector<std::string>{"one:X", "two:X", "two:b"}));
  ASSERT_EQ(pass.context.tools.size(), 1u);
  EXPECT_EQ(pass.context.tools[0].function_path, "X");
}

// Every rule that names a call's class, of every pack and category: packs in load order, within a
// pack the symbol rules in list order and then the idiom categories in key order, each category's
// rules in list order. The evidence texts go in as first met and keep the last rule's weight.
TEST(FilePass, RulesOfSeveralPacksAndCategoriesMeetOneCall) {
  auto named = [](const char* class_name, const char* name) { return class_idiom(class_name, {{"name", name}}); };
  IdiomRule keyless_llm = class_idiom("sdk.X", {{"provider", "p"}});
  struct Case {
    const char* source;
    std::vector<FrameworkPack> packs;
    std::vector<std::string> agents;  // "{framework}:{name}:{path}"
    std::vector<std::string> evidence;
  };
  const Case cases[] = {
      {"from sdk import X\nX()\n",
       {framework_pack("zeta",
                       {{"orchestrator", {named("sdk.X", "z-orch")}},
                        {"agent", {named("sdk.X", "z1"), named("sdk.Y", "no"), named("sdk.X", "z2")}},
                        {"notes", {named("sdk.X", "none")}},
                        {"llm_client", {keyless_llm}}},
                       {class_rule("sdk.X", 0.25f), class_rule("sdk.Y", 1.0f), class_rule("sdk.X", 0.5f)}),
        framework_pack("alpha", {{"tool", {named("sdk.X", "tool")}}, {"agent", {named("sdk.X", "a1")}}},
                       {class_rule("sdk.X", 0.125f)}),
        framework_pack("zeta", {{"agent", {named("sdk.X", "z3")}}}, {class_rule("sdk.X", 0.75f)}),
        framework_pack("other", {{"agent", {named("sdk.Y", "no")}}}, {class_rule("other.X", 1.0f)})},
       {"zeta:z1:sdk.X", "zeta:z2:sdk.X", "zeta:z-orch:sdk.X#orchestrator", "alpha:a1:sdk.X", "zeta:z3:sdk.X"},
       {"zeta/class_instantiation:sdk.X=0.750000", "alpha/class_instantiation:sdk.X=0.125000"}},
      // Calls in source order, each with its rules in the order above; a text already written
      // keeps its place when a later call writes it again.
      {"import sdk\nsdk.Y(sdk.X())\nsdk.X()\n",
       {framework_pack("one", {{"agent", {named("sdk.X", "x"), named("sdk.Y", "y")}}},
                       {class_rule("sdk.X", 0.25f), class_rule("sdk.Y", 0.5f)}),
        framework_pack("two", {{"agent", {named("sdk.Y", "y2"), named("sdk.X", "x2")}}}, {class_rule("sdk.X", 1.0f)})},
       {"one:y:sdk.Y", "two:y2:sdk.Y", "one:x:sdk.X", "two:x2:sdk.X", "one:x:sdk.X", "two:x2:sdk.X"},
       {"one/class_instantiation:sdk.Y=0.500000", "one/class_instantiation:sdk.X=0.250000",
        "two/class_instantiation:sdk.X=1.000000"}},
  };
  for (const Case& c : cases) {
    FilePass pass(c.source, c.packs);
    std::vector<std::string> agents;
    for (const AgentEntry& agent : pass.context.agents)
      agents.push_back(agent.framework_id + ":" + agent.name + ":" + agent.class_path);
    EXPECT_EQ(agents, c.agents) << c.source;
    EXPECT_EQ(pass.evidence(), c.evidence) << c.source;
  }
  FilePass pass("from sdk import X\nX()\n", cases[0].packs);
  ASSERT_EQ(pass.context.tools.size(), 1u);
  EXPECT_EQ(pass.context.tools[0].name, "tool");
  ASSERT_EQ(pass.context.llm_clients.size(), 1u);
  EXPECT_EQ(pass.context.llm_clients[0].provider, "p");
}

// Decorator rules by name, with the target that admits functions, classes or both; the hits of
// one decorator in pack, category and list order.
TEST(FilePass, DecoratorRulesByNameAndTarget) {
  auto rule = [](const char* name, std::optional<IdiomTarget> target, const char* path) {
    IdiomRule idiom = decorator_idiom(name, target);
    idiom.class_name = path;
    return idiom;
  };
  const std::vector<FrameworkPack> packs{
      framework_pack("one",
                     {{"orchestrator", {rule("sdk.flow", IdiomTarget::Class, "o-class")}},
                      {"agent", {rule("sdk.flow", IdiomTarget::Class, "class"), rule("sdk.flow", std::nullopt, "any"),
                                 rule("sdk.other", std::nullopt, "other"),
                                 rule("sdk.flow", IdiomTarget::Function, "function")}}},
                     {decorator_rule("sdk.flow", 0.25f), decorator_rule("sdk.other", 1.0f)}),
      framework_pack("two", {{"agent", {rule("sdk.flow", IdiomTarget::Function, "two-function")}}},
                     {decorator_rule("sdk.flow", 0.5f)}),
  };
  struct Case {
    const char* source;
    std::vector<std::string> agents;  // "{framework}:{name}:{path}"
  };
  const Case cases[] = {
      {"from sdk import flow\n@flow\ndef f():\n    pass\n",
       {"one:f:any", "one:f:function", "two:f:two-function"}},
      {"import sdk\n@sdk.flow(x=1)\nclass C:\n    pass\n",
       {"one:C:class", "one:C:any", "one:C:o-class#orchestrator"}},
      {"import sdk\n@sdk.other\n@sdk.flow\nclass C:\n    @sdk.flow\n    def m(self):\n        pass\n",
       {"one:C:other", "one:C:class", "one:C:any", "one:C:o-class#orchestrator", "one:m:any", "one:m:function",
        "two:m:two-function"}},
  };
  for (const Case& c : cases) {
    FilePass pass(c.source, packs);
    std::vector<std::string> agents;
    for (const AgentEntry& agent : pass.context.agents)
      agents.push_back(agent.framework_id + ":" + agent.name + ":" + agent.class_path);
    EXPECT_EQ(agents, c.agents) << c.source;
  }
  FilePass pass(cases[2].source, packs);
  EXPECT_EQ(pass.evidence(), (std::vector<std::string>{"one/decorator:sdk.other=1.000000",
                                                       "one/decorator:sdk.flow=0.250000",
                                                       "two/decorator:sdk.flow=0.500000"}));
}

// A call is handled once for every reached statement that holds it: the top-level statement
// and each definition between it and the call.
TEST(FilePass, DefinitionBodiesAreWalkedAgainAtEveryLevel) {
  struct Case {
    const char* source;
    std::vector<std::string> agents;
  };
  const Case cases[] = {
      {"class Pipeline:\n"
       "    def m1(self):\n        A1()\n"
       "    def m2(self):\n        A2()\n",
       {"A1", "A1", "A2", "A2", "A1", "A2"}},
      {"if c:\n    class K:\n        def m(self):\n            A1()\n", {"A1"}},
      {"def f():\n    A1()\n", {"A1", "A1"}},
      {"def f():\n    def g():\n        A1()\n", {"A1", "A1", "A1"}},
      {"def f():\n    for x in y:\n        def g():\n            A1()\n", {"A1", "A1"}},
      {"@A1()\ndef f(a=A2()) -> A1:\n    pass\n", {"A1", "A2"}},
      {"class K(A1()):\n    x = A2()\n", {"A2", "A1", "A2"}},
  };
  for (const Case& c : cases) {
    FilePass pass(c.source, {framework_pack("fw", {{"agent", {class_idiom("A1"), class_idiom("A2")}}})});
    EXPECT_EQ(pass.agent_names(), c.agents) << c.source;
  }
}

TEST(FilePass, CallsInSourceOrderEachBeforeItsParts) {
  struct Case {
    const char* source;
    std::vector<std::string> agents;
  };
  const Case cases[] = {
      {"outer(inner())\n", {"outer", "inner"}},
      {"a().b()\n", {"a.b", "a"}},
      {"make()()\n", {"make", "make"}},
      {"handlers[0](inner())\n", {"inner"}},
      {"outer(x, k=a(), *b())\n", {"outer", "a", "b"}},
      {"x = [a() for v in b() if inner()]\n", {"a", "b", "inner"}},
      {"x = {a(): b() for v in inner()}\n", {"a", "b", "inner"}},
      {"x = a() if b() else inner()\n", {"a", "b", "inner"}},
      {"x = {a(): b(), **inner()}\n", {"a", "b", "inner"}},
      {"x = lambda v=a(): b()\n", {"a", "b"}},
      {"x = f'{a()!r:{b()}}'\n", {"a", "b"}},
      {"for v in a():\n    b()\nelse:\n    inner()\n", {"a", "b", "inner"}},
      {"with a() as v, b():\n    inner()\n", {"a", "b", "inner"}},
      {"try:\n    a()\nexcept b():\n    inner()\nelse:\n    outer()\nfinally:\n    make()\n",
       {"a", "b", "inner", "outer", "make"}},
      {"match a():\n    case {1: v} if b():\n        inner()\n", {"a", "b", "inner"}},
      {"x: a() = b()\n", {"a", "b"}},
      {"assert a(), b()\n", {"a", "b"}},
      {"raise a() from b()\n", {"a", "b"}},
  };
  std::vector<IdiomRule> rules;
  for (const char* name : {"outer", "inner", "a", "a.b", "b", "make"}) rules.push_back(class_idiom(name));
  for (const Case& c : cases) {
    FilePass pass(c.source, {framework_pack("fw", {{"agent", rules}})});
    EXPECT_EQ(pass.agent_names(), c.agents) << c.source;
  }
}

TEST(FilePass, ClassEvidenceKeepsTheLastRulesWeight) {
  FilePass pass("def f():\n    sdk.Chat()\n",
                {framework_pack("fw", {}, {class_rule("sdk.Chat", 0.25f), class_rule("sdk.Chat", 0.5f),
                                           class_rule("other", 1.0f)})});
  EXPECT_EQ(pass.evidence(), (std::vector<std::string>{"fw/class_instantiation:sdk.Chat=0.500000"}));
}

TEST(FilePass, DecoratorsOfReachedDefinitions) {
  struct Case {
    const char* source;
    std::vector<std::string> evidence;
    std::vector<std::string> tools;
  };
  const std::vector<std::string> evidence{"fw/decorator:app.tool=0.400000"};
  const Case cases[] = {
      {"@app.tool()\ndef search():\n    pass\n", evidence, {"search"}},
      {"@app.tool\nclass Search:\n    pass\n", evidence, {"Search"}},
      {"import app as application\n@application.tool\ndef search():\n    pass\n", evidence, {"search"}},
      {"class K:\n    @app.tool\n    def m(self):\n        pass\n", evidence, {"m"}},
      {"def f():\n    @app.tool\n    def g():\n        pass\n", evidence, {"g"}},
      {"if c:\n    @app.tool\n    def search():\n        pass\n", {}, {}},
      {"try:\n    @app.tool\n    def search():\n        pass\nexcept E:\n    pass\n", {}, {}},
      {"@tool\ndef search():\n    pass\n", {}, {}},
  };
  for (const Case& c : cases) {
    FilePass pass(c.source,
                  {framework_pack("fw",
                                  {{"tool", {decorator_idiom("app.tool", IdiomTarget::Function),
                                             decorator_idiom("app.tool", IdiomTarget::Class)}}},
                                  {decorator_rule("app.tool", 0.4f)})});
    EXPECT_EQ(pass.evidence(), c.evidence) << c.source;
    std::vector<std::string> tools;
    for (const ToolEntry& tool : pass.context.tools) {
      tools.push_back(tool.name);
      EXPECT_EQ(tool.function_path, "app.tool");
    }
    EXPECT_EQ(tools, c.tools) << c.source;
  }
}

TEST(FilePass, DecoratorCallMeetsClassRulesToo) {
  FilePass pass("@app.tool(name=Agent())\ndef search():\n    pass\n",
                {framework_pack("fw", {{"agent", {class_idiom("Agent")}}, {"llm_client", {decorator_idiom("app.tool")}}},
                                {class_rule("app.tool", 0.5f)})});
  EXPECT_EQ(pass.evidence(), (std::vector<std::string>{"fw/class_instantiation:app.tool=0.500000"}));
  EXPECT_EQ(pass.agent_names(), (std::vector<std::string>{"Agent"}));
  ASSERT_EQ(pass.context.llm_clients.size(), 1u);  // from the decorator: captures never expanded
  EXPECT_EQ(pass.context.llm_clients[0].provider, "");
  EXPECT_EQ(pass.context.llm_clients[0].model, "");
}

// The parser bounds nesting; at its deepest the passes (which recurse along the source) must
// still finish. Built as deep as the parser admits: nested definitions, each body one indentation
// level deeper, holding a call nested in brackets to the bracket bound, and then the highest
// unary-minus chain over a call that the parser still takes at that depth (its bound counts the
// enclosing statements too).
TEST(FilePass, DeepestNestingTheParserAccepts) {
  const std::size_t definitions = pysyntax::kMaxIndentationLevels - 1;
  const std::size_t calls = pysyntax::kMaxBracketDepth;
  std::string prefix;
  for (std::size_t level = 0; level < definitions; ++level)
    prefix += std::string(level, ' ') + "def f" + std::to_string(level) + "():\n";
  prefix += std::string(definitions, ' ');
  for (std::size_t i = 0; i < calls; ++i) prefix += "A(";
  prefix += std::string(calls, ')') + "\n" + std::string(definitions, ' ') + "x = ";
  std::string source;
  for (std::size_t minus = pysyntax::kMaxExpressionHeight; minus > 0; --minus) {
    source = prefix + std::string(minus, '-') + "A()\n";
    pysyntax::Arena arena;
    if (pysyntax::parse_module(source, arena).ok()) break;
  }
  FilePass pass(source, {framework_pack("fw", {{"agent", {class_idiom("A")}}})});
  EXPECT_EQ(pass.context.agents.size(), (definitions + 1) * (calls + 1));
}

}  // namespace
}  // namespace detect
