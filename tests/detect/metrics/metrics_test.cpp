// The measurement of one function: which statements are opened, which calls are classified and
// how, and which become call sites. Each case is the body of `f` in a small module.
#include "metrics/metrics.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "functions/bindings.h"
#include "functions/functions.h"
#include "metrics/builtin_tables.h"
#include "detect/metrics/parsed_source.h"

namespace detect {
namespace {

using testing::ParsedSource;

struct Measured {
  TextStore texts;
  OutputBudget budget;
  FunctionMetrics metrics;
  bool parsed = false;
};

// Measures `f` the way the per-function pass does: bindings first, then every body statement.
Measured measure(const std::string& source,
                 const std::vector<std::pair<std::string, CallCategory>>& table = {}) {
  ParsedSource parsed(source);
  Measured out;
  const pysyntax::FunctionDef* f = parsed.function("f");
  if (f == nullptr) return out;
  out.parsed = true;
  CallCategoryTable categories(parsed.seeds.next());
  for (const auto& [name, category] : table) categories.insert_or_assign(name, category);
  FactoryMap factories(parsed.seeds.next());
  LocalBindings bindings(parsed.seeds.next());
  for (const pysyntax::Stmt* s : f->body) collect_bindings(bindings, *s, parsed.aliases, factories);
  MetricsCollector collector(parsed.aliases, categories, bindings, out.metrics, out.texts, out.budget);
  for (const pysyntax::Stmt* s : f->body) collector.collect(*s);
  return out;
}

struct Counts {
  std::uint32_t llm = 0, tool = 0, spawn = 0, branches = 0;
  bool loop = false, parallel = false, routing = false;
  friend bool operator==(const Counts&, const Counts&) = default;
  friend std::ostream& operator<<(std::ostream& os, const Counts& c) {
    return os << "{llm " << c.llm << ", tool " << c.tool << ", spawn " << c.spawn << ", branches "
              << c.branches << ", loop " << c.loop << ", parallel " << c.parallel << ", routing "
              << c.routing << "}";
  }
};

Counts counts_of(const FunctionMetrics& m) {
  return {m.llm_call_count, m.tool_call_count, m.agent_spawn_count, m.max_branches,
          m.has_loop,       m.has_parallel,    m.has_branch_on_llm};
}

struct CountCase {
  const char* what;
  const char* source;
  Counts expected;
};

TEST(FunctionMetrics, CountsFlagsAndBranches) {
  const CountCase cases[] = {
      {"no branch statement", "def f():\n    x = 1\n", {}},
      {"if/elif/elif/else gives 4; a 3-case match inside it leaves 4",
       "def f():\n    if a:\n        match y:\n            case 1: pass\n            case 2: pass\n"
       "            case _: pass\n    elif b: pass\n    elif c: pass\n    else: pass\n",
       {.branches = 4}},
      {"a match counts its cases, the wildcard included",
       "def f():\n    match y:\n        case 1: pass\n        case _: pass\n", {.branches = 2}},
      {"branches and loops inside a with body add nothing",
       "def f():\n    with open(p) as h:\n        if a: pass\n        else: pass\n        for x in h: pass\n",
       {}},
      {"a call in an if test is not classified",
       "def f():\n    if llm.invoke(q) == 1:\n        pass\n", {.branches = 1}},
      {"the same call in the if body counts once",
       "def f():\n    if ok:\n        llm.invoke(q)\n", {.llm = 1, .branches = 1}},
      {"an elif test is not scanned for routing words",
       "def f():\n    if ready:\n        pass\n    elif intent:\n        pass\n", {.branches = 2}},
      {"a routing word inside a string literal does not count",
       "def f():\n    if x == 'intent':\n        pass\n", {.branches = 1}},
      {"a match subject is scanned", "def f():\n    match user.intent:\n        case _: pass\n",
       {.branches = 1, .routing = true}},
      {"calls in a match subject, pattern and guard are not classified",
       "def f():\n    match llm.invoke(q):\n        case Agent(): pass\n        case _ if llm.ask(): pass\n",
       {.branches = 2}},
      {"for: the iterable's call is not classified, the loop is recorded",
       "def f():\n    for x in client.invoke():\n        pass\n", {.loop = true}},
      {"a comprehension is no loop, but its calls count",
       "def f():\n    ys = [c.invoke() for c in cs]\n", {.llm = 1}},
      {"for else body is measured",
       "def f():\n    for x in xs:\n        pass\n    else:\n        llm.invoke(q)\n", {.llm = 1, .loop = true}},
      {"while test and else body are not",
       "def f():\n    while llm.invoke(q):\n        pass\n    else:\n        llm.invoke(q)\n", {.loop = true}},
      {"try: body and handlers count; handler types, else and finally do not",
       "def f():\n    try:\n        llm.invoke(a)\n    except tool_call() as e:\n        llm.invoke(b)\n"
       "    else:\n        llm.invoke(c)\n    finally:\n        llm.invoke(d)\n",
       {.llm = 2}},
      {"asyncio.gather is parallel, its arguments are classified on their own",
       "import asyncio\ndef f():\n    asyncio.gather(client.invoke(), runner.ask())\n",
       {.llm = 2, .parallel = true}},
      {"ThreadPoolExecutor is parallel from any module", "def f():\n    pool.ThreadPoolExecutor(4)\n",
       {.parallel = true}},
      {"client.chat.completions.create counts once",
       "def f():\n    client.chat.completions.create(model=m)\n", {.llm = 1}},
      {"Agent() imported from agents spawns only",
       "from agents import Agent\ndef f():\n    Agent(name=x)\n", {.spawn = 1}},
      {"Agent.run matches no spawn entry, but 'run'",
       "from agents import Agent\ndef f():\n    Agent.run(x)\n", {.llm = 1}},
      {"a name that holds several spawn entries spawns once", "def f():\n    autogen.AssistantAgent(x)\n",
       {.spawn = 1}},
      {"Runner.run spawns and calls an LLM", "def f():\n    Runner.run(a)\n", {.llm = 1, .spawn = 1}},
      {"self.tools.run is an LLM call and a tool call", "def f():\n    self.tools.run()\n",
       {.llm = 1, .tool = 1}},
      {"a class ending in Agent spawns, Agentic does not",
       "def f():\n    ChatAgent()\n    Agentic()\n", {.spawn = 1}},
      {"fragments match anywhere: asyncio.run and run_forever are LLM calls",
       "import asyncio\ndef f():\n    asyncio.run(main())\n    task.run_forever()\n", {.llm = 2}},
      {"case matters", "def f():\n    client.INVOKE()\n    threadpoolexecutor()\n", {}},
      {"calls of an inner function, its decorators and defaults count",
       "def f():\n    @hub.ask()\n    def g(x=client.invoke()):\n        other.predict()\n",
       {.llm = 3}},
      {"calls without a dotted name are not classified",
       "def f():\n    x[0].run()\n    ', '.join(xs)\n    (lambda: 1)()\n", {}},
  };
  for (const CountCase& c : cases) {
    SCOPED_TRACE(c.what);
    Measured m = measure(c.source);
    ASSERT_TRUE(m.parsed);
    EXPECT_EQ(counts_of(m.metrics), c.expected);
  }
}

// Every entry of the built-in tables, called by its own name (and, for the spawn table, by a
// name that only ends with it), is classified by its table: the quick test that passes over
// tables a name cannot match must never pass over one that it does.
TEST(FunctionMetrics, EveryBuiltinEntryMatchesItsTable) {
  auto stem = [](std::string_view entry) {
    while (entry.ends_with('(')) entry.remove_suffix(1);
    return std::string(entry);
  };
  auto check = [&](auto& entries, auto matched) {
    for (std::string_view entry : entries) {
      std::string name = stem(entry);
      if (name.starts_with('.')) name = "self" + name + "x";  // ".tools." sits inside a name
      for (const std::string& called : {name, "pkg.Sub" + name}) {
        SCOPED_TRACE(called);
        Measured m = measure("def f():\n    " + called + "()\n");
        ASSERT_TRUE(m.parsed);
        EXPECT_TRUE(matched(m.metrics));
      }
    }
  };
  check(builtin_parallel_calls, [](const FunctionMetrics& m) { return m.has_parallel; });
  check(builtin_agent_spawns, [](const FunctionMetrics& m) { return m.agent_spawn_count == 1; });
  check(builtin_llm_calls, [](const FunctionMetrics& m) { return m.llm_call_count == 1; });
  check(builtin_tool_calls, [](const FunctionMetrics& m) { return m.tool_call_count == 1; });
}

TEST(FunctionMetrics, CategoryTableDecidesAlone) {
  struct Case {
    const char* what;
    const char* source;
    std::vector<std::pair<std::string, CallCategory>> table;
    Counts expected;
  };
  const Case cases[] = {
      {"a tool call by table is not also an LLM call through 'run'", "def f():\n    tools.run_it()\n",
       {{"tools.run_it", CallCategory::ToolCall}}, {.tool = 1}},
      {"the table sees the effective name", "from kit import Spawner\ndef f():\n    Spawner()\n",
       {{"kit.Spawner", CallCategory::AgentSpawn}, {"Spawner", CallCategory::LlmCall}}, {.spawn = 1}},
      {"parallel by table", "def f():\n    fan.out()\n", {{"fan.out", CallCategory::ParallelCall}},
       {.parallel = true}},
      {"the rewritten name is looked up before the effective name",
       "from llmkit import ChatModel\ndef f():\n    llm = ChatModel()\n    llm.invoke(q)\n",
       {{"llmkit.ChatModel.invoke", CallCategory::ToolCall}, {"llm.invoke", CallCategory::AgentSpawn}},
       {.tool = 1}},
      {"then the effective name",
       "from llmkit import ChatModel\ndef f():\n    llm = ChatModel()\n    llm.invoke(q)\n",
       {{"llm.invoke", CallCategory::AgentSpawn}}, {.spawn = 1}},
      {"neither: the built-in tables see the effective name only",
       "from llmkit import ChatModel\ndef f():\n    llm = ChatModel()\n    llm.invoke(q)\n", {}, {.llm = 1}},
      {"the empty key acts for every call without a dotted name",
       "def f():\n    x[0].run()\n    ''.join(xs)\n    print(x)\n", {{"", CallCategory::ToolCall}}, {.tool = 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Measured m = measure(c.source, c.table);
    ASSERT_TRUE(m.parsed);
    EXPECT_EQ(counts_of(m.metrics), c.expected);
    EXPECT_TRUE(m.metrics.call_sites.empty());
  }
}

std::vector<std::string> describe(const std::vector<CallSite>& sites) {
  std::vector<std::string> out;
  for (const CallSite& s : sites) {
    out.push_back(std::string(s.callee) + " | " + std::string(s.resolved_callee) + " | " +
                  std::string(s.receiver_rewrite.value_or("-")));
  }
  return out;
}

TEST(FunctionMetrics, UnmatchedDottedCallsBecomeCallSitesInClassificationOrder) {
  Measured m = measure(
      "import os\nfrom dbkit import create_engine\n"
      "def f():\n"
      "    print(x)\n"                         // no dot: not listed
      "    outer.wrap(os.path.join(a, b))\n"   // outer call first, then its argument
      "    db.connect()\n"                     // bound below the call: the binding still applies
      "    db = create_engine()\n"
      "    client.invoke(q)\n");               // matched: not listed
  ASSERT_TRUE(m.parsed);
  EXPECT_EQ(describe(m.metrics.call_sites),
            (std::vector<std::string>{"outer.wrap | outer.wrap | -", "os.path.join | os.path.join | -",
                                      "db.connect | db.connect | dbkit.create_engine.connect"}));
}

TEST(FunctionMetrics, CallSiteCarriesTheResolvedName) {
  Measured m = measure("import numpy as np\ndef f():\n    np.array(x)\n");
  ASSERT_TRUE(m.parsed);
  EXPECT_EQ(describe(m.metrics.call_sites), std::vector<std::string>{"np.array | numpy.array | -"});
}

TEST(FunctionMetrics, RoutingWordsInIfTests) {
  struct Case {
    const char* test;
    bool routing;
  };
  const Case cases[] = {
      {"intent == x", true},        {"result.Category", true},     {"route_name in table", true},
      {"x[label]", true},           {"not DECISION", true},        {"a and (b or choice_made)", true},
      {"[a, classification]", true}, {"pick(choice)", true},       {"classify(x)", false},
      {"check(kind=label)", false},  {"f'{intent}'", false},        {"(lambda: intent)()", false},
      {"intent if a else b", false}, {"check(*labels)", false},     {"İNTENT", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.test);
    Measured m = measure(std::string("def f():\n    if ") + c.test + ":\n        pass\n");
    ASSERT_TRUE(m.parsed);
    EXPECT_EQ(m.metrics.has_branch_on_llm, c.routing);
  }
}

TEST(RoutingWord, FullUnicodeLowercase) {
  struct Case {
    const char* word;
    bool routing;
  };
  const Case cases[] = {
      {"intent", true},
      {"USER_INTENT", true},
      {"nextRoute", true},
      {"naïve_label", true},          // non-ASCII text still finds an ASCII word
      {"ΣCHOICEΣ", true},             // sigma maps (final or not) beside the word
      {"\xC4\xB0NTENT", false},       // U+0130 lowercases to "i" U+0307, not "i"
      {"DEC\xC4\xB0S\xC4\xB0ON", false},
      {"\xEF\xBC\xAC\xEF\xBC\xA1\xEF\xBC\xA2\xEF\xBC\xA5\xEF\xBC\xAC", false},  // fullwidth LABEL
      {"kind", false},
      {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    bool flag = false;
    check_routing_word(flag, c.word);
    EXPECT_EQ(flag, c.routing);
  }
  bool already = true;
  check_routing_word(already, "kind");
  EXPECT_TRUE(already) << "the flag is never cleared";
}

}  // namespace
}  // namespace detect
