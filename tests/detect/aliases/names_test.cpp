// Import tables, dotted names and resolved names. The main table runs whole sources through the
// parser: the source's imports fill the table, its last line is the expression whose resolved
// name is checked.
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "common/seeded_hash.h"
#include "names/names.h"
#include "pysyntax/parse.h"

namespace detect {
namespace {

bool parser_ready() {
  pysyntax::Arena arena;
  return pysyntax::parse_module("pass\n", arena).ok();
}

struct Parsed {
  pysyntax::Arena arena;
  const pysyntax::Module* module = nullptr;
};

ImportAliases collect(const pysyntax::Module& module) {
  HashSeeds seeds;
  ImportAliases aliases(seeds.next());
  for (const pysyntax::Stmt* statement : module.body) collect_import_aliases(*statement, aliases);
  return aliases;
}

struct NameCase {
  const char* source;      // imports and other statements; the last line is the expression
  const char* resolved;    // the expected resolved name; null for none
};

const NameCase kNameCases[] = {
    {"import os\nos.getcwd()", "os.getcwd"},
    {"import os.path\nos.path.join(a, b)", "os.path.path.join"},
    {"import a.b\na.x", "a.b.x"},
    {"import a.b.c as x\nx.y()", "a.b.c.y"},
    {"import a, b.c as d\nd.e", "b.c.e"},
    {"import a, b.c as d\na.f", "a.f"},
    {"import numpy as np\nnp.array(x)", "numpy.array"},
    {"import x as k\nimport y as k\nk.run", "y.run"},
    {"from pkg.mod import Cls as Alias\nAlias()", "pkg.mod.Cls"},
    {"from pkg.mod import Cls as Alias\nAlias.create()", "pkg.mod.Cls.create"},
    {"from m import x, y as z\nz", "m.y"},
    {"from os import path\npath.join", "os.path.join"},
    {"from ..core import Agent\nAgent()", "core.Agent"},
    {"from core import Agent\nAgent()", "core.Agent"},
    {"from . import tasks\ntasks.run()", "tasks.run"},
    {"from .. import tasks as t\nt.run()", "t.run"},
    {"from m import *\nx.y", "x.y"},
    {"x = foo()\nfoo()", "foo"},
    // Insertion replaces, in visiting order; there is no scope.
    {"from a import X\ndef f():\n    from b import X\nX()", "b.X"},
    {"def f():\n    from b import X\nfrom a import X\nX()", "a.X"},
    // Where imports are looked for.
    {"class C:\n    def m(self):\n        def inner():\n            import q as z\nz.f", "q.f"},
    {"if c:\n    pass\nelif d:\n    import q as z\nz.f", "q.f"},
    {"if c:\n    pass\nelse:\n    import q as z\nz.f", "q.f"},
    {"try:\n    pass\nexcept E:\n    import q as z\nz.f", "q.f"},
    {"try:\n    pass\nexcept* E:\n    import q as z\nz.f", "q.f"},
    {"try:\n    import q as z\nfinally:\n    pass\nz.f", "q.f"},
    {"try:\n    pass\nexcept E:\n    pass\nelse:\n    import q as z\nz.f", "z.f"},
    {"try:\n    pass\nfinally:\n    import q as z\nz.f", "z.f"},
    {"with c:\n    import q as z\nz.f", "z.f"},
    {"for i in c:\n    import q as z\nz.f", "z.f"},
    {"for i in c:\n    pass\nelse:\n    import q as z\nz.f", "z.f"},
    {"async def g():\n    async for i in c:\n        import q as z\nz.f", "z.f"},
    {"while c:\n    import q as z\nz.f", "z.f"},
    {"match c:\n    case 1:\n        import q as z\nz.f", "z.f"},
    // Calls along the chain vanish; anything else in it leaves no name.
    {"factory().build().run()", "factory.build.run"},
    {"import a as b\nb()().c", "a.c"},
    {"A().b", "A.b"},
    {"handlers[0]()", nullptr},
    {"(lambda: 1)()", nullptr},
    {"'-'.join(x)", nullptr},
    {"obj.items[0].run()", nullptr},
    {"(a if b else c).d", nullptr},
    {"(y := f).g", nullptr},
};

TEST(ResolvedName, FollowsTheFilesImports) {
  if (!parser_ready()) GTEST_SKIP() << "the parser does not accept code yet";
  // One buffer for every case, as the passes use it: a longer earlier name must not leak into
  // a later one.
  std::string buffer = "a.much.longer.name.left.over.from.before";
  for (const NameCase& c : kNameCases) {
    Parsed parsed;
    const std::string source = c.source;
    const pysyntax::ParseResult result = pysyntax::parse_module(source, parsed.arena);
    ASSERT_TRUE(result.ok()) << c.source;
    const ImportAliases aliases = collect(*result.module);
    const pysyntax::Stmt& last = *result.module->body.back();
    ASSERT_EQ(last.kind, pysyntax::StmtKind::ExprStmt) << c.source;
    const pysyntax::Expr& expression = *last.as<pysyntax::ExprStmt>().value;

    const std::optional<std::string> resolved = resolved_name(expression, aliases);
    EXPECT_EQ(resolved_name(expression, aliases, buffer), c.resolved != nullptr) << c.source;
    if (c.resolved == nullptr) {
      EXPECT_FALSE(resolved.has_value()) << c.source;
      EXPECT_FALSE(dotted_name(expression).has_value()) << c.source;
      continue;
    }
    EXPECT_EQ(resolved, std::optional<std::string>(c.resolved)) << c.source;
    EXPECT_EQ(buffer, c.resolved) << c.source;
    // The resolved name is resolve_dotted of the dotted name, or the dotted name itself.
    const std::optional<std::string> dotted = dotted_name(expression);
    ASSERT_TRUE(dotted.has_value()) << c.source;
    ASSERT_TRUE(dotted_name(expression, buffer));
    EXPECT_EQ(buffer, *dotted);
    EXPECT_EQ(resolve_dotted(*dotted, aliases).value_or(*dotted), c.resolved) << c.source;
  }
}

// A name of kMaxNameBytes is a name; one byte more is none, and an import of such a target is
// ignored, so that no name costs more than the bound at every call that shows it.
TEST(ResolvedName, NoNameIsLongerThanTheBound) {
  if (!parser_ready()) GTEST_SKIP() << "the parser does not accept code yet";
  auto path_of = [](std::size_t size) {  // "xx...x.yyy...y.yyy...y": `size` bytes in 64-byte segments
    const std::size_t segments = (size - 1) / 64;
    std::string path(size - 64 * segments, 'x');
    for (std::size_t i = 0; i < segments; ++i) path += "." + std::string(63, 'y');
    return path;
  };
  const std::string at_bound = path_of(kMaxNameBytes);
  const std::string past_bound = path_of(kMaxNameBytes + 1);
  // "from {module} import {last segment}" has the whole path as its target.
  auto from_import = [](const std::string& path) {
    const std::size_t dot = path.rfind('.');
    return "from " + path.substr(0, dot) + " import " + path.substr(dot + 1) + " as m\nm";
  };
  struct Case {
    std::string source;
    std::optional<std::string> resolved;
  };
  const Case cases[] = {
      {at_bound + "()", at_bound},
      {past_bound + "()", std::nullopt},
      {"import " + at_bound + " as m\nm", at_bound},
      {"import " + past_bound + " as m\nm", "m"},
      {from_import(at_bound), at_bound},
      {from_import(past_bound), "m"},
      // The later import is the one ignored: the earlier one stands.
      {"import a as m\nimport " + past_bound + " as m\nm", "a"},
  };
  for (const Case& c : cases) {
    Parsed parsed;
    const pysyntax::ParseResult result = pysyntax::parse_module(c.source, parsed.arena);
    ASSERT_TRUE(result.ok()) << c.source.size();
    const pysyntax::Stmt& last = *result.module->body.back();
    EXPECT_EQ(resolved_name(*last.as<pysyntax::ExprStmt>().value, collect(*result.module)), c.resolved)
        << c.source.size();
  }
}

TEST(ImportAliases, HoldWholeModulePathsAndTheStarKey) {
  if (!parser_ready()) GTEST_SKIP() << "the parser does not accept code yet";
  Parsed parsed;
  const pysyntax::ParseResult result = pysyntax::parse_module(
      "import os.path\nimport a.b.c as x\nfrom m import *\nfrom .rel import n as k\nfrom . import gone\n",
      parsed.arena);
  ASSERT_TRUE(result.ok());
  const ImportAliases aliases = collect(*result.module);
  EXPECT_EQ(aliases.size(), 4u);
  for (const auto& [key, value] : {std::pair{"os", "os.path"}, {"x", "a.b.c"}, {"*", "m.*"}, {"k", "rel.n"}}) {
    ASSERT_NE(aliases.find(key), nullptr) << key;
    EXPECT_EQ(*aliases.find(key), value) << key;
  }
}

TEST(ResolveDotted, LooksUpOnlyTheFirstSegment) {
  HashSeeds seeds;
  ImportAliases aliases(seeds.next());
  aliases.insert_or_assign("np", "numpy");
  aliases.insert_or_assign("a", "a.b");
  aliases.insert_or_assign("x.y", "never");
  struct Case {
    const char* name;
    const char* resolved;  // null for none
  };
  for (const Case& c : {Case{"np", "numpy"}, Case{"np.array", "numpy.array"}, Case{"np.", "numpy."},
                        Case{"np..z", "numpy..z"}, Case{"a.b.f", "a.b.b.f"}, Case{"x.y", nullptr},
                        Case{"x.y.z", nullptr}, Case{"npx", nullptr}, Case{"", nullptr}, Case{".np", nullptr}}) {
    const std::optional<std::string> resolved = resolve_dotted(c.name, aliases);
    if (c.resolved == nullptr) {
      EXPECT_FALSE(resolved.has_value()) << c.name;
    } else {
      EXPECT_EQ(resolved, std::optional<std::string>(c.resolved)) << c.name;
    }
  }
  // An empty key, which no import makes, is looked up like any other.
  aliases.insert_or_assign("", "E");
  EXPECT_EQ(resolve_dotted("", aliases), std::optional<std::string>("E"));
  EXPECT_EQ(resolve_dotted(".np", aliases), std::optional<std::string>("E.np"));
}

}  // namespace
}  // namespace detect
