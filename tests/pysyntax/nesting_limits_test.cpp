// Every grammar form that nests or chains, against the parser's bounds. A form that nests gives
// its error one level past its bound and far beyond it (never a signal), and at its bound it is
// parsed and analysed on a thread with a small stack; a form that chains flat stays flat at
// 10^5 repetitions, on the same stack, with a tree proportionate to its text.
#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "address_sanitizer.h"
#include "detect/analysis.h"
#include "detect/walker/pack_fixtures.h"
#include "pysyntax/parse.h"

namespace pysyntax {
namespace {

// What every accepted text must fit in. ASan's frames are about four times the release
// build's (redzones around the locals whose address is taken, fewer shared slots), so that
// build gets four times the stack.
constexpr size_t kStackBytes = size_t{VESK_ADDRESS_SANITIZER ? 4 : 1} << 20;

constexpr size_t kFar = 100'000;
// Nested blocks need as many indentation bytes as their level on each line, so their text
// grows with the square of the depth: far beyond their bound means a thousand levels.
constexpr size_t kFarBlocks = 1'000;

// Runs `work` on a thread of its own whose stack is `kStackBytes`.
void run_on_small_stack(const std::function<void()>& work) {
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, kStackBytes), 0);
  pthread_t thread;
  auto start = [](void* argument) -> void* {
    (*static_cast<const std::function<void()>*>(argument))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attributes, start, const_cast<std::function<void()>*>(&work)), 0);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
  pthread_attr_destroy(&attributes);
}

// Packs whose rules match the calls `f(a=1)` and the decorators `@a` of the texts below, so
// that every pass of the analysis has work on them.
const std::vector<detect::FrameworkPack>& framework_packs() {
  using namespace detect::testing;
  static const std::vector<detect::FrameworkPack> packs{framework_pack(
      "k",
      {{"agent", {class_idiom("f", {{"name", "{kwarg('a')}"}})}},
       {"llm_call", {call_idiom("f")}},
       {"tool", {decorator_idiom("a")}}},
      {class_rule("f", 0.5f), decorator_rule("a", 0.5f)}, {{"k", 0.5f}})};
  return packs;
}

const std::vector<detect::PatternPack>& pattern_packs() {
  static const std::vector<detect::PatternPack> packs = [] {
    detect::PatternPack every_function;
    every_function.id = "every";
    return std::vector<detect::PatternPack>{every_function};
  }();
  return packs;
}

struct Outcome {
  std::string error;  // the debug text of the error, empty when the text parses
  size_t arena_bytes = 0;
};

// Parses `text` and, when it parses, analyses it, both on the small stack.
Outcome parse_and_analyse(const std::string& text) {
  Outcome outcome;
  run_on_small_stack([&] {
    Arena arena;
    ParseResult result = parse_module(text, arena);
    outcome.arena_bytes = arena.bytes_used();
    if (!result.ok()) {
      outcome.error = error_debug_text(*result.error);
      return;
    }
    detect::ManifestBuilder builder(framework_packs(), pattern_packs());
    builder.add_file("m.py", result.module->body, text.size());
    detect::BuildManifest manifest = std::move(builder).finish();
  });
  return outcome;
}

std::string repeated(std::string_view text, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i) out += text;
  return out;
}

enum class Shape {
  Nest,    // prefix, `open` n times, middle, `close` n times, suffix
  Indent,  // prefix, then n lines `open`, each one level deeper, then `middle` one level deeper still
};

struct Nesting {
  const char* name;
  Shape shape;
  const char* prefix;
  const char* open;
  const char* middle;
  const char* close;
  const char* suffix;
  size_t bound;           // the most levels accepted
  const char* over;       // the error one level past the bound
  const char* far = "";   // the error far beyond it, when not `over`

  std::string text(size_t levels) const {
    std::string text = prefix;
    if (shape == Shape::Indent) {
      for (size_t level = 0; level < levels; ++level) text += std::string(level, ' ') + open + "\n";
      return text + std::string(levels, ' ') + middle + "\n" + suffix;
    }
    return text + repeated(open, levels) + middle + repeated(close, levels) + suffix;
  }
};

#define IN_A_FUNCTION "def g():\n    x = "
#define MATCHED_CALL "f(a=1)"
#define CASE_OF_A_MATCH "def g():\n    match " MATCHED_CALL ":\n        case "

constexpr const char* kTooDeep = "NestingTooDeep";
constexpr const char* kBrackets = "Lexical(TooManyNestedBrackets)";
constexpr const char* kFStrings = "Lexical(TooManyNestedFStrings)";
constexpr const char* kIndentation = "Lexical(TooManyIndentationLevels)";

// The recursion bound counts the function's block, the statement's expression and the arguments
// of the innermost call besides the levels themselves; the height bound counts the innermost
// call (two high) besides the chained levels; the bracket bound counts the innermost call's own.
constexpr size_t kRecursionLevels = kMaxNestingDepth - 3;
constexpr size_t kChainLevels = kMaxExpressionHeight - 2;
constexpr size_t kBracketLevels = kMaxBracketDepth - 1;

const Nesting kNestings[] = {
    // Operators that nest one level of recursion each.
    {"power", Shape::Nest, IN_A_FUNCTION MATCHED_CALL, "**" MATCHED_CALL, "", "", "\n", kRecursionLevels, kTooDeep},
    {"await power", Shape::Nest, "async def g():\n    x = await " MATCHED_CALL, "**await " MATCHED_CALL, "", "", "\n",
     kRecursionLevels, kTooDeep},
    {"decorator power", Shape::Nest, "@a", "**a", "", "", "\ndef g(): pass\n", kMaxNestingDepth - 1, kTooDeep},
    {"unary minus", Shape::Nest, IN_A_FUNCTION, "-", MATCHED_CALL, "", "\n", kRecursionLevels, kTooDeep},
    {"not", Shape::Nest, IN_A_FUNCTION, "not ", MATCHED_CALL, "", "\n", kRecursionLevels, kTooDeep},
    {"power of a negation", Shape::Nest, IN_A_FUNCTION MATCHED_CALL, "**-" MATCHED_CALL, "", "", "\n",
     kRecursionLevels / 2, kTooDeep},
    {"conditional", Shape::Nest, IN_A_FUNCTION, MATCHED_CALL " if " MATCHED_CALL " else ", MATCHED_CALL, "", "\n",
     kRecursionLevels, kTooDeep},
    {"lambda body", Shape::Nest, IN_A_FUNCTION, "lambda: ", MATCHED_CALL, "", "\n", kRecursionLevels, kTooDeep},
    {"lambda default", Shape::Nest, IN_A_FUNCTION, "lambda a=", MATCHED_CALL, ": 1", "\n", kRecursionLevels,
     kTooDeep},
    // `* *a` is no target, but the stars are parsed before the target is checked.
    {"stars on a target", Shape::Nest, "def g():\n    for", " *", " a in b: pass", "", "\n", 1,
     "InvalidAssignmentTarget", kTooDeep},
    // Left-deep chains: one level of the tree each, built in a loop.
    {"binary operators", Shape::Nest, IN_A_FUNCTION MATCHED_CALL, " + " MATCHED_CALL, "", "", "\n", kChainLevels,
     kTooDeep},
    {"if test", Shape::Nest, "def g():\n    if intent", " + " MATCHED_CALL, ": pass", "", "\n", kChainLevels,
     kTooDeep},
    {"attributes", Shape::Nest, IN_A_FUNCTION MATCHED_CALL, ".b", "", "", "\n", kChainLevels, kTooDeep},
    {"calls", Shape::Nest, IN_A_FUNCTION MATCHED_CALL, "(a=1)", "", "", "\n", kChainLevels, kTooDeep},
    {"method calls", Shape::Nest, IN_A_FUNCTION MATCHED_CALL, ".f(a=1)", "", "", "\n", kChainLevels / 2, kTooDeep},
    {"subscripts", Shape::Nest, IN_A_FUNCTION MATCHED_CALL, "[0]", "", "", "\n", kChainLevels, kTooDeep},
    {"value pattern", Shape::Nest, CASE_OF_A_MATCH "a", ".b", ": pass", "", "\n", kMaxExpressionHeight - 1,
     kTooDeep},
    // Brackets.
    {"parentheses", Shape::Nest, IN_A_FUNCTION, "(", MATCHED_CALL, ")", "\n", kBracketLevels, kBrackets},
    {"lists", Shape::Nest, IN_A_FUNCTION, "[", MATCHED_CALL, "]", "\n", kBracketLevels, kBrackets},
    {"tuples", Shape::Nest, IN_A_FUNCTION, "(a, ", MATCHED_CALL, ")", "\n", kBracketLevels, kBrackets},
    {"dicts", Shape::Nest, IN_A_FUNCTION, "{1: ", MATCHED_CALL, "}", "\n", kBracketLevels, kBrackets},
    {"sets", Shape::Nest, IN_A_FUNCTION, "{", MATCHED_CALL, "}", "\n", kBracketLevels, kBrackets},
    {"call arguments", Shape::Nest, IN_A_FUNCTION, "f(", MATCHED_CALL, ")", "\n", kBracketLevels, kBrackets},
    {"keyword arguments", Shape::Nest, IN_A_FUNCTION, "f(a=", MATCHED_CALL, ")", "\n", kBracketLevels, kBrackets},
    {"subscript values", Shape::Nest, IN_A_FUNCTION, "a[", MATCHED_CALL, "]", "\n", kBracketLevels, kBrackets},
    {"starred subscripts", Shape::Nest, IN_A_FUNCTION, "a[*", MATCHED_CALL, "]", "\n", kBracketLevels, kBrackets},
    {"slices", Shape::Nest, IN_A_FUNCTION, "a[1:", MATCHED_CALL, "]", "\n", kBracketLevels, kBrackets},
    {"generator arguments", Shape::Nest, IN_A_FUNCTION, "f(a for a in ", MATCHED_CALL, ")", "\n", kBracketLevels,
     kBrackets},
    {"comprehensions", Shape::Nest, IN_A_FUNCTION, "[a for a in ", MATCHED_CALL, "]", "\n", kBracketLevels,
     kBrackets},
    {"assignment expressions", Shape::Nest, IN_A_FUNCTION, "(a := ", MATCHED_CALL, ")", "\n", kBracketLevels,
     kBrackets},
    {"yield", Shape::Nest, IN_A_FUNCTION, "(yield ", MATCHED_CALL, ")", "\n", kBracketLevels, kBrackets},
    {"lambdas in brackets", Shape::Nest, IN_A_FUNCTION, "(lambda a=", MATCHED_CALL, ": 1)", "\n", kBracketLevels,
     kBrackets},
    {"starred targets", Shape::Nest, "def g():\n    for ", "[*", "a", "]", " in b: pass\n", kMaxBracketDepth,
     kBrackets},
    {"type parameter bounds", Shape::Nest, "def g[T: ", "list[", "a", "]", "](): pass\n", kBracketLevels,
     kBrackets},
    {"class bases", Shape::Nest, "class C(", "f(", "a", ")", "): pass\n", kBracketLevels, kBrackets},
    // F-strings: each field also opens a bracket.
    {"f-strings", Shape::Nest, IN_A_FUNCTION, "f'{", MATCHED_CALL, "}'", "\n", kMaxFStringNesting - 1, kFStrings},
    {"f-strings in the same quotes", Shape::Nest, IN_A_FUNCTION, "f\"{", MATCHED_CALL, "}\"", "\n",
     kMaxFStringNesting - 1, kFStrings},
    {"t-strings", Shape::Nest, IN_A_FUNCTION, "t'{", MATCHED_CALL, "}'", "\n", kMaxFStringNesting - 1, kFStrings},
    {"debug fields with comments", Shape::Nest, IN_A_FUNCTION, "f\"\"\"{", MATCHED_CALL " # c\n", "=}\"\"\"", "\n",
     kMaxFStringNesting - 1, kFStrings},
    // CPython's own bound: three fields deep within one f-string.
    {"format specifiers", Shape::Nest, "def g():\n    x = f'", "{a:", MATCHED_CALL, "}", "'\n", 3,
     "Lexical(FStringNestedTooDeeply)"},
    {"f-strings in format specifiers", Shape::Nest, IN_A_FUNCTION, "f'{a:{", MATCHED_CALL, "}}'", "\n",
     kMaxBracketDepth / 2 - 1, kBrackets},
    // Patterns.
    {"sequence patterns", Shape::Nest, CASE_OF_A_MATCH, "[", "a", "]", ": pass\n", kMaxBracketDepth, kBrackets},
    {"class patterns", Shape::Nest, CASE_OF_A_MATCH, "A(", "a", ")", ": pass\n", kMaxBracketDepth, kBrackets},
    {"keyword patterns", Shape::Nest, CASE_OF_A_MATCH, "A(b=", "a", ")", ": pass\n", kMaxBracketDepth, kBrackets},
    {"mapping patterns", Shape::Nest, CASE_OF_A_MATCH, "{1: ", "a", "}", ": pass\n", kMaxBracketDepth, kBrackets},
    {"as patterns", Shape::Nest, CASE_OF_A_MATCH, "(", "a", " as b)", ": pass\n", kMaxBracketDepth, kBrackets},
    {"or patterns", Shape::Nest, CASE_OF_A_MATCH, "(1 | ", "a", ")", ": pass\n", kMaxBracketDepth, kBrackets},
    // Statements: the unindented level counts too.
    {"blocks", Shape::Indent, "", "if " MATCHED_CALL ":", MATCHED_CALL, "", "", kMaxIndentationLevels - 1,
     kIndentation},
    {"functions", Shape::Indent, "", "def g():", "return " MATCHED_CALL, "", "", kMaxIndentationLevels - 1,
     kIndentation},
    {"classes", Shape::Indent, "", "class C:", MATCHED_CALL, "", "", kMaxIndentationLevels - 1, kIndentation},
};

TEST(NestingLimits, EachFormParsesAndIsAnalysedAtItsBoundAndFailsPastIt) {
  for (const Nesting& form : kNestings) {
    SCOPED_TRACE(form.name);
    EXPECT_EQ(parse_and_analyse(form.text(form.bound)).error, "");
    EXPECT_EQ(parse_and_analyse(form.text(form.bound + 1)).error, form.over);
    const size_t far = form.shape == Shape::Indent ? kFarBlocks : kFar;
    EXPECT_EQ(parse_and_analyse(form.text(far)).error, *form.far != '\0' ? form.far : form.over);
  }
}

// The forms with the largest frames per level, each to its own bound and the recursion bound
// spent in full: functions nested to the indentation bound, generator arguments nested nearly
// to the bracket bound, and inside them as many nested lambda defaults as the parser takes.
TEST(NestingLimits, TheDeepestMixOfFormsFitsTheSmallStack) {
  const size_t functions = kMaxIndentationLevels - 1;
  std::string head, tail;
  for (size_t level = 0; level < functions; ++level) head += std::string(level, ' ') + "def g():\n";
  head += std::string(functions, ' ') + "x = ";
  for (size_t level = 0; level + 1 < kMaxBracketDepth; ++level) head += "f(a for a in ", tail += ")";
  auto text = [&](size_t lambdas) {
    return head + "(" + repeated("lambda a=", lambdas) + "a" + repeated(": 1", lambdas) + ")" + tail + "\n";
  };
  size_t accepted = 0, rejected = kMaxNestingDepth;
  while (accepted + 1 < rejected) {
    const size_t lambdas = (accepted + rejected) / 2;
    Arena arena;
    (parse_module(text(lambdas), arena).ok() ? accepted : rejected) = lambdas;
  }
  ASSERT_GT(accepted, kMaxNestingDepth / 2);
  EXPECT_EQ(parse_and_analyse(text(accepted)).error, "");
  EXPECT_EQ(parse_and_analyse(text(accepted + 1)).error, kTooDeep);
}

struct Repetition {
  const char* name;
  std::string prefix;
  std::string unit;  // repeated kFar times
  std::string suffix;
};

const Repetition kRepetitions[] = {
    {"comparisons", IN_A_FUNCTION MATCHED_CALL, " < " MATCHED_CALL, "\n"},
    {"or", IN_A_FUNCTION MATCHED_CALL, " or " MATCHED_CALL, "\n"},
    {"and within or", IN_A_FUNCTION MATCHED_CALL, " and " MATCHED_CALL " or " MATCHED_CALL, "\n"},
    {"tuple elements", IN_A_FUNCTION MATCHED_CALL, ", " MATCHED_CALL, "\n"},
    {"list elements", IN_A_FUNCTION "[" MATCHED_CALL, ", " MATCHED_CALL, "]\n"},
    {"dict items", IN_A_FUNCTION "{1: " MATCHED_CALL, ", 1: " MATCHED_CALL, "}\n"},
    {"set elements", IN_A_FUNCTION "{" MATCHED_CALL, ", " MATCHED_CALL, "}\n"},
    {"dict unpackings", IN_A_FUNCTION "{**a", ", **a", "}\n"},
    {"call arguments", IN_A_FUNCTION "f(" MATCHED_CALL, ", " MATCHED_CALL, ")\n"},
    {"keyword arguments", IN_A_FUNCTION "f(a=1", ", a=1", ")\n"},
    {"starred arguments", IN_A_FUNCTION "f(*a", ", *a", ")\n"},
    {"subscript elements", IN_A_FUNCTION "a[1", ", 1:2", "]\n"},
    {"comprehension clauses", IN_A_FUNCTION "[a", " for a in b", "]\n"},
    {"comprehension conditions", IN_A_FUNCTION "[a for a in b", " if " MATCHED_CALL, "]\n"},
    {"implicitly concatenated strings", IN_A_FUNCTION "'a'", " 'b'", "\n"},
    {"implicitly concatenated bytes", IN_A_FUNCTION "b'a'", " b'b'", "\n"},
    {"strings concatenated with f-strings", IN_A_FUNCTION "'a'", " f'{a}' 'b'", "\n"},
    {"f-string fields", IN_A_FUNCTION "f'", "{" MATCHED_CALL "}", "'\n"},
    {"format specifier fields", IN_A_FUNCTION "f'{a:", "{b}", "}'\n"},
    {"debug fields", IN_A_FUNCTION "f'", "{a=}", "'\n"},
    // Each debug field keeps its text without comments; nested ones share one copy.
    {"comments in nested debug fields", IN_A_FUNCTION + repeated("f\"\"\"{", kMaxFStringNesting - 1) + "[a",
     ", # c\n a", "]" + repeated("=}\"\"\"", kMaxFStringNesting - 1) + "\n"},
    {"decorators", "", "@a(" MATCHED_CALL ")\n", "def g(): pass\n"},
    {"elif clauses", "def g():\n    if " MATCHED_CALL ": pass\n", "    elif " MATCHED_CALL ": pass\n", ""},
    {"statements on one line", "def g():\n    " MATCHED_CALL, "; " MATCHED_CALL, "\n"},
    {"statements", "def g():\n", "    " MATCHED_CALL "\n", ""},
    {"assignment targets", "def g():\n    a", " = a", " = " MATCHED_CALL "\n"},
    {"starred targets", "def g():\n    *a", ", *a", " = " MATCHED_CALL "\n"},
    {"with items", "def g():\n    with " MATCHED_CALL, ", " MATCHED_CALL, ": pass\n"},
    {"except clauses", "def g():\n    try: pass\n", "    except E: pass\n", ""},
    {"match cases", "def g():\n    match " MATCHED_CALL ":\n", "        case 1: pass\n", ""},
    {"or patterns", CASE_OF_A_MATCH "1", " | 1", ": pass\n"},
    {"sequence pattern elements", CASE_OF_A_MATCH "[a", ", b", "]: pass\n"},
    {"class pattern arguments", CASE_OF_A_MATCH "A(a", ", b", "): pass\n"},
    {"type parameters", "def g[T", ", U", "](): pass\n"},
    {"default values", "def g(a=1", ", a=" MATCHED_CALL, "): pass\n"},
    {"lambda parameters", IN_A_FUNCTION "lambda a", ", b=1", ": 1\n"},
    {"imported names", "import a", ", b", "\n"},
    {"dotted name", "import a", ".b", "\n"},
    {"global names", "def g():\n    global a", ", b", "\n"},
    {"relative import dots", "from ", ".", " import a\n"},
    {"continued lines", IN_A_FUNCTION MATCHED_CALL, ", \\\n    " MATCHED_CALL, "\n"},
    // Searched afresh for each line or escape, these scanned to the same far byte each time.
    {"comments ended by carriage returns", "", "#\r", "x = " MATCHED_CALL "\r"},
    {"escapes in a triple-quoted string", IN_A_FUNCTION "'''", "\\n", "'''\n"},
    {"escapes in a string", IN_A_FUNCTION "'", "\\n", "'\n"},
    {"named escapes", IN_A_FUNCTION "'", "\\N{DIGIT ONE}", "'\n"},
};

// A tree takes a few dozen bytes per node, and the densest of these texts has a node for every
// two bytes or so; copies that grow with the nesting take far more.
constexpr size_t kArenaBytesPerSourceByte = 64;

TEST(NestingLimits, RepeatedFormsStayFlatOnTheSmallStack) {
  for (const Repetition& form : kRepetitions) {
    SCOPED_TRACE(form.name);
    const std::string text = form.prefix + repeated(form.unit, kFar) + form.suffix;
    const Outcome outcome = parse_and_analyse(text);
    EXPECT_EQ(outcome.error, "");
    EXPECT_LE(outcome.arena_bytes, kArenaBytesPerSourceByte * text.size());
  }
}

}  // namespace
}  // namespace pysyntax
