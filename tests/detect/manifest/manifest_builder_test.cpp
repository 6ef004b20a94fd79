// Manifest assembly over parsed files: import evidence, pooled and replaced weights, candidate
// order, the call-category table, file order and what the per-function pass receives.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "detect/analysis.h"
#include "detect/metrics/parsed_source.h"
#include "detect/walker/pack_fixtures.h"
#include "manifest/assembly.h"

namespace detect {
namespace {

using testing::call_idiom;
using testing::class_idiom;
using testing::class_rule;
using testing::decorator_idiom;
using testing::decorator_rule;
using testing::framework_pack;

struct SourceFile {
  std::string path;
  std::string text;
};

BuildManifest analyse(const std::vector<SourceFile>& files, const std::vector<FrameworkPack>& packs,
                      const std::vector<PatternPack>& patterns = {}) {
  ManifestBuilder builder(packs, patterns);
  for (const SourceFile& file : files) {
    testing::ParsedSource parsed(file.text);
    builder.add_file(file.path, parsed.statements(), file.text.size());
  }
  return std::move(builder).finish();
}

FrameworkPack import_pack(std::string id, std::vector<ImportRule> imports) {
  return framework_pack(std::move(id), {}, {}, std::move(imports));
}

// "{id}:{confidence}" of every candidate, in order.
std::vector<std::string> ranking(const BuildManifest& manifest) {
  std::vector<std::string> out;
  for (const FrameworkCandidate& c : manifest.framework_candidates) out.push_back(c.id + ":" + std::to_string(c.confidence));
  return out;
}

TEST(ManifestBuilder, NothingToAnalyse) {
  BuildManifest manifest = analyse({}, {import_pack("fw", {{"p", 1.0f}})});
  EXPECT_EQ(manifest.schema_version, "0.2.0");
  EXPECT_FALSE(manifest.framework.has_value());
  EXPECT_TRUE(manifest.framework_candidates.empty());
  EXPECT_TRUE(manifest.agents.empty() && manifest.tools.empty() && manifest.llm_clients.empty());
  EXPECT_TRUE(manifest.patterns.empty() && manifest.unclassified_calls.empty() && manifest.warnings.empty());
  EXPECT_TRUE(manifest.spawn_graph.empty());
  EXPECT_FALSE(manifest.deploy_target.has_value());
}

TEST(ManifestBuilder, WithoutFrameworkPacksFunctionsAreStillAnalysed) {
  PatternPack every_function;
  every_function.id = "any";
  BuildManifest manifest = analyse({{"a.py", "import p\ndef f():\n    client.frob()\n"}}, {}, {every_function});
  EXPECT_TRUE(manifest.framework_candidates.empty());
  ASSERT_EQ(manifest.patterns.size(), 1u);
  EXPECT_EQ(manifest.patterns[0].function, "f");
  ASSERT_EQ(manifest.unclassified_calls.size(), 1u);
  EXPECT_EQ(manifest.unclassified_calls[0].callee, "client.frob");
  EXPECT_EQ(manifest.unclassified_calls[0].location.file, "a.py");
}

TEST(ManifestBuilder, ImportEvidenceMatchesImportTargets) {
  struct Case {
    const char* source;
    const char* module;
    bool matches;
  };
  const Case cases[] = {
      {"import p\n", "p.q", true},             // the top package of the module
      {"import p.q\n", "p.q", true},           // the module itself (local name p)
      {"from p.q import X\n", "p.q", true},    // under the module
      {"from p.q.r import s\n", "p.q", true},
      {"from p import x\n", "p.q", false},
      {"import pq\n", "p.q", false},
      {"import p.q\n", "p.q.r", false},       // above the module, but not its top package
      {"import p.qr\n", "p.q", false},
      {"import p as z\n", "p", true},          // values count, not local names
      {"import p as z\n", "z", false},
      {"from . import p\n", "p", false},       // adds no alias at all
      {"def f():\n    import p\n", "p", true},
      {"for x in y:\n    import p\n", "p", false},
      {"x = p.q\n", "p", false},
  };
  for (const Case& c : cases) {
    BuildManifest manifest = analyse({{"a.py", c.source}}, {import_pack("fw", {{c.module, 0.5f}})});
    if (!c.matches) {
      EXPECT_TRUE(manifest.framework_candidates.empty()) << c.source << " / " << c.module;
      continue;
    }
    ASSERT_EQ(manifest.framework_candidates.size(), 1u) << c.source << " / " << c.module;
    EXPECT_EQ(manifest.framework_candidates[0].matched_rules, (std::vector<std::string>{std::string("import:") + c.module}));
  }
}

// The run's evidence after the import evidence of each source in turn, as "{id}/{text}={weight}"
// in insertion order.
std::vector<std::string> import_evidence(const std::vector<FrameworkPack>& packs,
                                         const std::vector<std::string>& sources) {
  HashSeeds seeds;
  FrameworkEvidence evidence(seeds.next());
  const ImportRuleIndex rules(packs, seeds);
  for (const std::string& source : sources) {
    testing::ParsedSource parsed(source);
    add_import_evidence(rules, parsed.aliases, evidence, seeds);
  }
  std::vector<std::string> out;
  for (const auto& [id, weights] : evidence.entries())
    for (const auto& [text, weight] : weights.entries()) out.push_back(id + "/" + text + "=" + std::to_string(weight));
  return out;
}

// One item per matching rule however many aliases match it, by whichever condition: items in rule
// order pack by pack, a text already present keeping its place and taking the later weight.
TEST(ImportEvidence, ItemsInRuleOrderPackByPack) {
  // p.q is matched by all three: an alias value equal to it (a), one under it (X) and its top
  // package (p); p.z and p.q.X.Y by the top package alone; r.s.t by none, as r.s is above it.
  const std::string all_three = "import p.q as a\nfrom p.q import X\nimport p\nimport r.s\n";
  const std::vector<FrameworkPack> packs{
      import_pack("zeta", {{"p.z", 0.125f}, {"p.q.X", 0.25f}, {"nothing", 1.0f}, {"p", 0.375f}, {"p.q", 0.5f},
                           {"p.q.X.Y", 1.0f}, {"r", 0.625f}, {"p.z", 0.75f}, {"s", 1.0f}, {"r.s.t", 0.875f}}),
      import_pack("alpha", {{"r.s", 0.25f}, {"p.q", 0.125f}}),
      import_pack("zeta", {{"p.q", 0.0625f}, {"q", 1.0f}, {"new", 0.5f}}),
  };
  EXPECT_EQ(import_evidence(packs, {all_three}),
            (std::vector<std::string>{"zeta/import:p.z=0.750000", "zeta/import:p.q.X=0.250000",
                                      "zeta/import:p=0.375000", "zeta/import:p.q=0.062500",
                                      "zeta/import:p.q.X.Y=1.000000", "zeta/import:r=0.625000",
                                      "alpha/import:r.s=0.250000", "alpha/import:p.q=0.125000"}));
  // A later file writes its items into the entries the earlier ones made, in its rule order.
  EXPECT_EQ(import_evidence(packs, {"import r.s\n", "import new\nimport p.q.X\n"}),
            (std::vector<std::string>{"zeta/import:r=0.625000", "zeta/import:p.q.X=0.250000",
                                      "zeta/import:p=0.375000", "zeta/import:p.q=0.062500",
                                      "zeta/import:new=0.500000", "alpha/import:r.s=0.250000",
                                      "alpha/import:p.q=0.125000"}));
}

TEST(ManifestBuilder, EvidenceTextsAreReplacedNeverAdded) {
  // The later of two rules for one module wins, also across two packs of one id, and a text
  // found in many files counts once.
  std::vector<FrameworkPack> packs{import_pack("fw", {{"p", 0.25f}, {"p", 0.5f}})};
  EXPECT_EQ(ranking(analyse({{"a.py", "import p\n"}, {"b.py", "import p.x\n"}, {"c.py", "from p import y\n"}}, packs)),
            (std::vector<std::string>{"fw:0.500000"}));

  FrameworkPack first = import_pack("fw", {{"p", 0.25f}, {"q", 0.125f}});
  first.display_name = "";
  FrameworkPack second = import_pack("fw", {{"p", 0.5f}});
  BuildManifest manifest = analyse({{"a.py", "import p, q\n"}}, {first, second});
  ASSERT_EQ(manifest.framework_candidates.size(), 1u);
  EXPECT_EQ(manifest.framework_candidates[0].display_name, "");
  EXPECT_FLOAT_EQ(manifest.framework_candidates[0].confidence, 0.625f);
  EXPECT_EQ(manifest.framework_candidates[0].matched_rules, (std::vector<std::string>{"import:p", "import:q"}));

  // A replacing write is made even when the weights compare equal: the sign of zero survives.
  for (const float later : {0.0f, -0.0f}) {
    BuildManifest zero = analyse({{"a.py", "import p\n"}}, {import_pack("fw", {{"p", -later}, {"p", later}})});
    ASSERT_EQ(zero.framework_candidates.size(), 1u);
    EXPECT_EQ(std::signbit(zero.framework_candidates[0].confidence), std::signbit(later));
  }
}

TEST(ManifestBuilder, FilePassEvidenceIsPooledWithImportEvidence) {
  FrameworkPack pack = framework_pack("fw", {{"agent", {class_idiom("sdk.Agent")}}},
                                      {class_rule("sdk.Agent", 0.25f), decorator_rule("sdk.tool", 0.25f)},
                                      {{"sdk", 0.25f}});
  BuildManifest manifest = analyse({{"a.py", "import sdk\nsdk.Agent()\n"}, {"b.py", "@sdk.tool\ndef t():\n    pass\n"}},
                                   {pack});
  ASSERT_TRUE(manifest.framework.has_value());
  EXPECT_EQ(manifest.framework->id, "fw");
  EXPECT_EQ(manifest.framework->display_name, "fw display");
  EXPECT_FLOAT_EQ(manifest.framework->confidence, 0.75f);
  EXPECT_EQ(manifest.framework->matched_rules,
            (std::vector<std::string>{"class_instantiation:sdk.Agent", "decorator:sdk.tool", "import:sdk"}));
  ASSERT_EQ(manifest.agents.size(), 1u);
}

TEST(ManifestBuilder, CandidatesByDescendingConfidenceTiesInFirstInsertionOrder) {
  std::vector<FrameworkPack> packs{import_pack("b", {{"b", 0.5f}}), import_pack("a", {{"a", 0.5f}}),
                                   import_pack("c", {{"c", 0.75f}}), import_pack("neg", {{"n", -0.5f}}),
                                   import_pack("zero", {{"z", 0.0f}}), import_pack("negzero", {{"nz", -0.0f}})};
  // a is met before b (file order beats pack order); c is found last but ranks first; -0.0 and
  // 0.0 are equal, so negzero keeps its place behind zero.
  BuildManifest manifest = analyse({{"1.py", "import a, z\n"}, {"2.py", "import nz, b, n\n"}, {"3.py", "import c\n"}},
                                   packs);
  EXPECT_EQ(ranking(manifest), (std::vector<std::string>{"c:0.750000", "a:0.500000", "b:0.500000", "zero:0.000000",
                                                         "negzero:-0.000000", "neg:-0.500000"}));
  EXPECT_EQ(manifest.framework->id, "c");

  BuildManifest negative = analyse({{"1.py", "import n\n"}}, packs);
  ASSERT_TRUE(negative.framework.has_value());
  EXPECT_EQ(negative.framework->id, "neg");
  EXPECT_FLOAT_EQ(negative.framework->confidence, -0.5f);
}

TEST(MakeCandidate, SumsInSinglePrecisionFromNegativeZeroCappedByMinNum) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    std::vector<float> weights;
    float confidence;
  };
  const Case cases[] = {
      {{0.7f, 0.6f}, 1.0f},
      {{0.5f, -0.25f}, 0.25f},
      {{2.0f}, 1.0f},
      {{nan}, 1.0f},
      {{0.5f, nan, 0.25f}, 1.0f},
      {{-inf}, -inf},
      {{1e8f, 1.0f, -1e8f}, 0.0f},  // 1e8 + 1 rounds back to 1e8 in single precision
  };
  HashSeeds seeds;
  for (const Case& c : cases) {
    EvidenceWeights weights(seeds.next());
    for (std::size_t i = 0; i < c.weights.size(); ++i) weights.insert_or_assign(std::to_string(i), c.weights[i]);
    FrameworkCandidate candidate = make_candidate({}, "fw", std::move(weights));
    EXPECT_EQ(candidate.confidence, c.confidence) << c.weights.size() << " weights, first " << c.weights[0];
  }
  EvidenceWeights negative_zero(seeds.next());
  negative_zero.insert_or_assign("t", -0.0f);
  EXPECT_TRUE(std::signbit(make_candidate({}, "fw", std::move(negative_zero)).confidence));
}

TEST(MakeCandidate, NamesAndRules) {
  HashSeeds seeds;
  EvidenceWeights weights(seeds.next());
  for (const char* text : {"import:\xc3\xa9", "import:z", "decorator:a", "import:"}) weights.insert_or_assign(text, 0.0f);
  std::vector<FrameworkPack> packs{framework_pack("other"), framework_pack("fw"), framework_pack("fw")};
  packs[2].display_name = "second";
  FrameworkCandidate candidate = make_candidate(packs, "fw", std::move(weights));
  EXPECT_EQ(candidate.id, "fw");
  EXPECT_EQ(candidate.display_name, "fw display");
  // Bytewise and unsigned: "é" (0xC3...) sorts after "z".
  EXPECT_EQ(candidate.matched_rules,
            (std::vector<std::string>{"decorator:a", "import:", "import:z", "import:\xc3\xa9"}));
  EXPECT_EQ(make_candidate(packs, "unknown", EvidenceWeights(seeds.next())).display_name, "unknown");
}

TEST(CallCategories, LastRuleInPackCategoryAndListOrderWins) {
  IdiomRule unnamed_call = call_idiom(std::nullopt);
  IdiomRule unnamed_class = class_idiom("x");
  unnamed_class.class_name.reset();
  std::vector<FrameworkPack> packs{
      framework_pack("one", {{"tool_call", {call_idiom("both"), call_idiom("across")}},
                             {"llm_call", {call_idiom("both"), call_idiom(""), class_idiom("sdk.Chat"),
                                           unnamed_call, unnamed_class, decorator_idiom("deco")}},
                             {"LLM_call", {call_idiom("cased")}},
                             {"llm_call ", {call_idiom("spaced")}},
                             {"agent_spawn", {call_idiom("spawn")}}}),
      framework_pack("two", {{"llm_call", {call_idiom("across")}}, {"parallel_call", {call_idiom("spawn")}}}),
  };
  HashSeeds seeds;
  CallCategoryTable table = build_call_categories(packs, seeds.next());
  struct Case {
    const char* name;
    std::optional<CallCategory> category;
  };
  const Case cases[] = {
      {"both", CallCategory::ToolCall},  // category order within a pack, not key order
      {"across", CallCategory::LlmCall},  // a later pack takes it over
      {"", CallCategory::LlmCall},
      {"sdk.Chat", CallCategory::LlmCall},
      {"spawn", CallCategory::ParallelCall},
      {"deco", std::nullopt},
      {"cased", std::nullopt},
      {"spaced", std::nullopt},
  };
  for (const Case& c : cases) {
    const CallCategory* found = table.find(c.name);
    EXPECT_EQ(found ? std::optional<CallCategory>(*found) : std::nullopt, c.category) << c.name;
  }
  EXPECT_EQ(table.size(), 5u);
}

TEST(ManifestBuilder, ResultsFollowFileOrderWithThePathAsText) {
  std::vector<FrameworkPack> packs{framework_pack("fw", {{"agent", {class_idiom("A")}}, {"tool", {class_idiom("T")}}})};
  BuildManifest manifest = analyse({{"pkg/one.py", "A(name='x')\nT()\n"}, {"pkg/b\xff\xfe.py", "T()\nA()\n"}}, packs);
  std::vector<std::string> agents, tools;
  for (const AgentEntry& a : manifest.agents) agents.push_back(a.location.file);
  for (const ToolEntry& t : manifest.tools) tools.push_back(t.location.file);
  const std::string replaced = "pkg/b\xef\xbf\xbd\xef\xbf\xbd.py";
  EXPECT_EQ(agents, (std::vector<std::string>{"pkg/one.py", replaced}));
  EXPECT_EQ(tools, (std::vector<std::string>{"pkg/one.py", replaced}));
}

// The factory map is complete before any function of the file is analysed, and of two top-level
// definitions of one name the later one that returns a call wins.
TEST(ManifestBuilder, FactoryMapOfTheWholeFile) {
  struct Case {
    const char* source;
    std::optional<std::string> rewrite;
  };
  const Case cases[] = {
      {"from llmkit import ChatModel\n"
       "def use():\n    llm = make_llm()\n    llm.frob()\n"
       "def make_llm():\n    return ChatModel(model=m)\n",
       "llmkit.ChatModel.frob"},
      {"from llmkit import ChatModel, Other\n"
       "def make_llm():\n    return ChatModel()\n"
       "def make_llm():\n    return Other()\n"
       "def use():\n    llm = make_llm()\n    llm.frob()\n",
       "llmkit.Other.frob"},
      {"from llmkit import ChatModel\n"
       "def make_llm():\n    return ChatModel()\n"
       "def make_llm():\n    return 1\n"
       "def use():\n    llm = make_llm()\n    llm.frob()\n",
       "llmkit.ChatModel.frob"},
      {"from llmkit import ChatModel\n"
       "class K:\n    def make_llm(self):\n        return ChatModel()\n"
       "def use():\n    llm = make_llm()\n    llm.frob()\n",
       std::nullopt},
      {"from llmkit import ChatModel\n"
       "if ready:\n    def make_llm():\n        return ChatModel()\n"
       "def use():\n    llm = make_llm()\n    llm.frob()\n",
       std::nullopt},
  };
  for (const Case& c : cases) {
    BuildManifest manifest = analyse({{"a.py", c.source}}, {});
    const UnclassifiedCall* frob = nullptr;
    for (const UnclassifiedCall& call : manifest.unclassified_calls)
      if (call.callee == "llm.frob") frob = &call;
    ASSERT_NE(frob, nullptr) << c.source;
    EXPECT_EQ(frob->receiver_rewrite, c.rewrite) << c.source;
  }
}

// Imports and factories of one file say nothing about the next one.
TEST(ManifestBuilder, PerFileTablesStartEmpty) {
  BuildManifest manifest = analyse({{"a.py", "from llmkit import ChatModel\nimport numpy as np\n"
                                              "def make_llm():\n    return ChatModel()\n"},
                                    {"b.py", "def use():\n    llm = make_llm()\n    llm.frob()\n    np.array(x)\n"}},
                                   {});
  std::vector<std::string> calls;
  for (const UnclassifiedCall& call : manifest.unclassified_calls) {
    std::string line(call.callee);
    line.append(" | ").append(call.resolved_callee).append(" | ").append(call.receiver_rewrite.value_or("-"));
    calls.push_back(std::move(line));
  }
  EXPECT_EQ(calls, (std::vector<std::string>{"llm.frob | llm.frob | -", "np.array | np.array | -"}));
}

// One long text repeated by every record of a file would make a manifest out of all proportion
// to the source; past the budget no record is made and the builder says so.
TEST(ManifestBuilder, RecordsStopWhereTheOutputBudgetEnds) {
  auto repeated = [](const char* line, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += line;
    return text;
  };
  std::string functions;
  for (int i = 0; i < 2000; ++i) functions += "def f" + std::to_string(i) + "():\n    pass\n";
  PatternPack verbose;
  verbose.id = "every";
  verbose.display_name = std::string(64 * 1024, 'd');
  PatternPack terse = verbose;
  terse.display_name = "every function";
  struct Case {
    const char* name;
    std::string source;
    std::vector<PatternPack> patterns;
    bool within;
  };
  const Case cases[] = {
      {"a long function name over many calls", "def " + std::string(100'000, 'f') + "():\n" + repeated("    a.b()\n", 3000),
       {}, false},
      {"the same calls under a short name", "def f():\n" + repeated("    a.b()\n", 3000), {}, true},
      {"a long pattern name over many functions", functions, {verbose}, false},
      {"a short pattern name over the same functions", functions, {terse}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<FrameworkPack> no_packs;
    ManifestBuilder builder(no_packs, c.patterns);
    testing::ParsedSource parsed(c.source);
    builder.add_file("m.py", parsed.statements(), c.source.size());
    EXPECT_EQ(builder.within_output_budget(), c.within);
    EXPECT_EQ(builder.output_limit(), (std::size_t{8} << 20) + 32 * c.source.size());
    const BuildManifest manifest = std::move(builder).finish();
    const std::size_t records = manifest.unclassified_calls.size() + manifest.patterns.size();
    if (c.within) {
      EXPECT_EQ(records, c.patterns.empty() ? 3000u : 2000u);
    } else {
      EXPECT_LT(records, 200u);  // each record would take 64 kB or more
    }
  }
}

// An agent named by a long keyword value, met under 99 enclosing definitions: each hit is made
// again for every definition around it, so the hits alone pass the budget, while the same calls
// without the agent idiom stay within it.
TEST(ManifestBuilder, IdiomHitsStopWhereTheOutputBudgetEnds) {
  std::string source = "from k import A\n";
  for (int level = 0; level < 99; ++level) source += std::string(level, ' ') + "def f" + std::to_string(level) + "():\n";
  const std::string call = std::string(99, ' ') + "A(name='" + std::string(4000, 'n') + "')\n";
  for (int i = 0; i < 60; ++i) source += call;
  const std::vector<FrameworkPack> agents = {
      testing::framework_pack("fw", {{"agent", {testing::class_idiom("k.A", {{"name", "{kwarg('name')}"}})}}})};
  const std::vector<FrameworkPack> no_packs;
  const std::vector<PatternPack> no_patterns;
  for (const bool with_idiom : {true, false}) {
    SCOPED_TRACE(with_idiom ? "with the agent idiom" : "without it");
    ManifestBuilder builder(with_idiom ? agents : no_packs, no_patterns);
    testing::ParsedSource parsed(source);
    builder.add_file("m.py", parsed.statements(), source.size());
    EXPECT_EQ(builder.within_output_budget(), !with_idiom);
    const BuildManifest manifest = std::move(builder).finish();
    // Every hit would take 4 kB: the budget holds fewer than the 6,000 the nesting repeats.
    if (with_idiom) {
      EXPECT_LT(manifest.agents.size(), 6000u);
    }
  }
}

}  // namespace
}  // namespace detect
