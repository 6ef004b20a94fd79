// Trees for what the standard library does not show: 3.14 syntax, literal values, identifiers,
// offsets with a BOM, CRLF line ends, tabs and form feeds, clause structure, argument order.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "pysyntax/parse.h"

namespace pysyntax {
namespace {

class ParserSyntax : public ::testing::Test {
 protected:
  const Module& parse(std::string_view text) {
    text_ = std::string(text);
    ParseResult result = parse_module(text_, arena_);
    EXPECT_TRUE(result.ok()) << text << " -> " << (result.ok() ? "" : error_debug_text(*result.error));
    static const Module empty{};
    return result.ok() ? *result.module : empty;
  }
  const Expr& value_of(std::string_view text) {
    const Module& m = parse(text);
    if (m.body.empty()) {
      static const NoneLiteral none{{ExprKind::NoneLiteral, ExprContext::Load, 1, {}}};
      return none;
    }
    return *m.body[0]->as<ExprStmt>().value;
  }
  std::string_view slice(Range r) const { return std::string_view(text_).substr(r.start, r.end - r.start); }

  Arena arena_;
  std::string text_;
};

TEST_F(ParserSyntax, TemplateStringsAndUnparenthesisedExceptTypes) {
  const Expr& t = value_of("t'a{b!r:>{w}}'");
  ASSERT_EQ(t.kind, ExprKind::TString);
  const InterpolatedPart& part = t.as<TString>().parts[0];
  ASSERT_EQ(part.elements.size(), 2u);
  EXPECT_EQ(part.elements[0].literal, "a");
  const InterpolatedElement& field = part.elements[1];
  EXPECT_EQ(field.conversion, Conversion::Repr);
  ASSERT_NE(field.format_spec, nullptr);
  EXPECT_EQ(field.format_spec->elements[0].literal, ">");
  EXPECT_EQ(field.format_spec->elements[1].expression->as<Name>().id, "w");

  const Module& m = parse("try:\n  pass\nexcept A, B:\n  pass\n");
  const Expr* type = m.body[0]->as<Try>().handlers[0].type;
  ASSERT_EQ(type->kind, ExprKind::Tuple);
  EXPECT_FALSE(type->as<Tuple>().parenthesized);
  EXPECT_EQ(type->as<Tuple>().elts.size(), 2u);
}

TEST_F(ParserSyntax, FStringDebugTextAndNesting) {
  const Expr& f = value_of("f'{ x = !r:{y}}' 'z'");
  ASSERT_EQ(f.kind, ExprKind::FString);
  const auto& parts = f.as<FString>().parts;
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].elements[0].debug_text, " x = ");
  EXPECT_EQ(parts[1].elements[0].literal, "z");
  EXPECT_EQ(value_of("f'{x:{y:{z}}}'").kind, ExprKind::FString);
  EXPECT_EQ(value_of("f'{'a' + f'{\"b\"}'}'").kind, ExprKind::FString);
}

TEST_F(ParserSyntax, FormatSpecifierBracesAndLineBreaks) {
  // In a format specifier `{{` opens a field (here an empty dict) until a field has opened in
  // that specifier; after one it is an escaped `{`. A line break ends a single-quoted specifier
  // before any field.
  for (const char* text : {"f'{x:{{}}{{}}}'", "t'{x:{{}}{{}}}'"}) {
    const Expr& e = value_of(text);
    const auto& parts = e.kind == ExprKind::FString ? e.as<FString>().parts : e.as<TString>().parts;
    ASSERT_EQ(parts[0].elements.size(), 2u) << text;
    EXPECT_EQ(parts[0].elements[1].literal, "}") << text;
    const FormatSpec* specifier = parts[0].elements[0].format_spec;
    ASSERT_NE(specifier, nullptr);
    ASSERT_EQ(specifier->elements.size(), 2u) << text;
    EXPECT_EQ(specifier->elements[0].expression->kind, ExprKind::Dict) << text;
    EXPECT_EQ(specifier->elements[1].literal, "{") << text;
  }
  const struct {
    const char* text;
    std::vector<std::string_view> specifier;  // literal texts, "" for a field
  } cases[] = {
      {"f'{x:t{a}{{}'", {"t", "", "{"}},
      {"f'{x:{y:t}{{}'", {"", "{"}},
      {"f'{x:{{}}{h}}'", {"", ""}},
      {"f'{x:abc\n}'", {"abc"}},
      {"f'{x:\n}'", {}},
      {"f'''{x:{a}\nb}'''", {"", "\nb"}},
  };
  for (const auto& c : cases) {
    const FormatSpec* specifier = value_of(c.text).as<FString>().parts[0].elements[0].format_spec;
    ASSERT_NE(specifier, nullptr) << c.text;
    std::vector<std::string_view> got;
    for (const InterpolatedElement& e : specifier->elements) got.push_back(e.literal);
    EXPECT_EQ(got, c.specifier) << c.text;
  }
}

TEST_F(ParserSyntax, ParenthesisedStartOfAnnotatedTarget) {
  // Only a parenthesised name, attribute or subscript followed by more than the `:` is
  // rejected (ParserErrors.Targets); these other parenthesised starts are ordinary targets.
  const struct {
    const char* text;
    StmtKind kind;
  } cases[] = {
      {"(1).x: int", StmtKind::AnnAssign},     {"[f][0]: int", StmtKind::AnnAssign},
      {"(f()).x: int", StmtKind::AnnAssign},   {"(f.g()).x: int = 1", StmtKind::AnnAssign},
      {"(f, g).x: int", StmtKind::AnnAssign},  {"(f := g).x: int", StmtKind::AnnAssign},
      {"(f): int", StmtKind::AnnAssign},       {"((f).y): int", StmtKind::AnnAssign},
      {"((f)[0]): int", StmtKind::AnnAssign},  {"(f).x = 1", StmtKind::Assign},
      {"(f)[0] += 1", StmtKind::AugAssign},
  };
  for (const auto& c : cases) {
    const Module& m = parse(c.text);
    ASSERT_EQ(m.body.size(), 1u) << c.text;
    EXPECT_EQ(m.body[0]->kind, c.kind) << c.text;
  }
  EXPECT_FALSE(parse("(f): int").body[0]->as<AnnAssign>().simple);
}

TEST_F(ParserSyntax, StarredTargetsMayHoldStarredElements) {
  // A starred target holds no starred target directly (`* *a`), but the list or tuple under it
  // may hold starred elements again.
  for (const char* text : {"[*[*a]] = b", "for [*[*a]] in b: pass", "*(*a,), = b", "(a, *(b, *[*c])) = d"}) {
    const Module& m = parse(text);
    ASSERT_EQ(m.body.size(), 1u) << text;
    const Expr* target = m.body[0]->kind == StmtKind::For ? m.body[0]->as<For>().target : m.body[0]->as<Assign>().targets[0];
    while (target->kind != ExprKind::Name) {
      EXPECT_EQ(target->ctx, ExprContext::Store) << text;
      if (target->kind == ExprKind::Starred) target = target->as<Starred>().value;
      else if (target->kind == ExprKind::List) target = target->as<List>().elts.back();
      else target = target->as<Tuple>().elts.back();
    }
    EXPECT_EQ(target->ctx, ExprContext::Store) << text;
  }
}

TEST_F(ParserSyntax, LiteralValues) {
  EXPECT_EQ(value_of("'a' \"b\" '''c'''").as<StringLiteral>().value, "abc");
  EXPECT_EQ(value_of("'\\x41\\N{BULLET}\\n'").as<StringLiteral>().value, "A\xE2\x80\xA2\n");
  EXPECT_EQ(value_of("r'\\n'").as<StringLiteral>().value, "\\n");
  const Expr& bytes = value_of("b'\\x00a' b'b'");
  ASSERT_EQ(bytes.kind, ExprKind::BytesLiteral);
  EXPECT_EQ(bytes.as<BytesLiteral>().value, std::string_view("\0ab", 3));
  // A value that needs no decoding points into the text.
  const Expr& plain = value_of("'plain'");
  EXPECT_EQ(plain.as<StringLiteral>().value.data(), text_.data() + 1);

  // Carriage returns and backslashes change a value wherever they stand in the body, also in a
  // string after one that has neither; the part's flags are its prefix and quotes alone.
  struct Text {
    const char* source;
    const char* value;
    unsigned flags;
  };
  const Text texts[] = {
      {"'''a\rb'''", "a\nb", StringFlags::kTriple},
      {"'''a\r\nb'''", "a\nb", StringFlags::kTriple},
      {"r'''a\rb'''", "a\nb", StringFlags::kTriple | StringFlags::kRaw},
      {"'a\\\r\nb'", "ab", 0},
      {"'''\\n'''", "\n", StringFlags::kTriple},
      {"\"\"\"plain\"\"\"", "plain", StringFlags::kTriple | StringFlags::kDoubleQuote},
      {"'x'", "x", 0},
  };
  for (const Text& t : texts) {
    const auto& literal = value_of(t.source).as<StringLiteral>();
    EXPECT_EQ(literal.value, t.value) << t.source;
    EXPECT_EQ(literal.parts[0].flags.bits, t.flags) << t.source;
  }
  const Module& two = parse("a = '''x'''\nb = '''y\rz'''\n");
  ASSERT_EQ(two.body.size(), 2u);
  EXPECT_EQ(two.body[1]->as<Assign>().value->as<StringLiteral>().value, "y\nz");

  const auto& small = value_of("0x_2A").as<IntLiteral>();
  EXPECT_TRUE(small.fits);
  EXPECT_EQ(small.value, 42u);
  const auto& max = value_of("18446744073709551615").as<IntLiteral>();
  EXPECT_TRUE(max.fits);
  EXPECT_EQ(max.value, UINT64_MAX);
  const auto& big = value_of("0x1_0000_0000_0000_0000").as<IntLiteral>();
  EXPECT_FALSE(big.fits);
  EXPECT_EQ(big.text, "0x1_0000_0000_0000_0000");
  EXPECT_EQ(value_of("2.5e-3").as<FloatLiteral>().value, 2.5e-3);
  EXPECT_TRUE(std::isinf(value_of("1e400").as<FloatLiteral>().value));
  EXPECT_EQ(value_of("1.5J").as<ComplexLiteral>().imag, 1.5);
  EXPECT_EQ(value_of("...").kind, ExprKind::EllipsisLiteral);
  EXPECT_FALSE(value_of("False").as<BooleanLiteral>().value);
}

TEST_F(ParserSyntax, IdentifiersAreNfkcNormalised) {
  const Module& m = parse("\xEF\xAC\x81 = 1\n");  // U+FB01 LATIN SMALL LIGATURE FI
  const Expr* target = m.body[0]->as<Assign>().targets[0];
  EXPECT_EQ(target->as<Name>().id, "fi");
  EXPECT_EQ(target->ctx, ExprContext::Store);
  EXPECT_EQ(target->range, (Range{0, 3}));
}

TEST_F(ParserSyntax, OffsetsCountTheBomAndCrlf) {
  const Module& m = parse("\xEF\xBB\xBF" "a = 1\r\nif b:\r\n\tc\r\n");
  ASSERT_EQ(m.body.size(), 2u);
  EXPECT_EQ(m.body[0]->range, (Range{3, 8}));
  const If& stmt = m.body[1]->as<If>();
  EXPECT_EQ(slice(stmt.test->range), "b");
  EXPECT_EQ(slice(stmt.body[0]->range), "c");
  EXPECT_EQ(stmt.range, (Range{10, 19}));
}

TEST_F(ParserSyntax, TabsAndFormFeedsInIndentation) {
  // A tab goes to column 8, so eight spaces after it are the same level when both agree.
  EXPECT_EQ(parse("if a:\n\tb\n\tc\n").body[0]->as<If>().body.size(), 2u);
  EXPECT_EQ(parse("if a:\n\f    b\n    c\n").body[0]->as<If>().body.size(), 2u);
  Arena arena;
  EXPECT_FALSE(parse_module("if a:\n\tb\n        c\n", arena).ok());
}

TEST_F(ParserSyntax, ElifAndElseClausesStayClauses) {
  const Module& m = parse("if a:\n  pass\nelif b:\n  pass\nelse:\n  if c:\n    pass\n");
  const If& stmt = m.body[0]->as<If>();
  ASSERT_EQ(stmt.clauses.size(), 2u);
  EXPECT_EQ(slice(stmt.clauses[0].test->range), "b");
  EXPECT_EQ(stmt.clauses[1].test, nullptr);
  ASSERT_EQ(stmt.clauses[1].body.size(), 1u);
  EXPECT_EQ(stmt.clauses[1].body[0]->kind, StmtKind::If);
}

TEST_F(ParserSyntax, CallArgumentsInSourceOrder) {
  const Call& call = value_of("f(a, *b, c=1, **d, e=2)").as<Call>();
  const ArgumentKind kinds[] = {ArgumentKind::Positional, ArgumentKind::Starred, ArgumentKind::Keyword,
                                ArgumentKind::DoubleStarred, ArgumentKind::Keyword};
  ASSERT_EQ(call.arguments.size(), 5u);
  for (uint32_t i = 0; i < 5; ++i) EXPECT_EQ(call.arguments[i].kind, kinds[i]) << i;
  EXPECT_EQ(call.arguments[2].name.id, "c");
  EXPECT_EQ(slice(call.arguments[3].range), "**d");
  EXPECT_EQ(slice(call.arguments_range), "(a, *b, c=1, **d, e=2)");
  const Call& generator = value_of("f(x for x in y)").as<Call>();
  EXPECT_EQ(generator.arguments[0].value->kind, ExprKind::GeneratorExp);
}

TEST_F(ParserSyntax, SoftKeywordsAndWithItems) {
  EXPECT_EQ(parse("match = 1\nmatch.x\nmatch(a)\ntype = 2\ncase = 3\n").body.size(), 5u);
  EXPECT_EQ(parse("match (a):\n  case [1, *r] | {'k': _, **m} | P(1, y=2) | -1+2j | None as z:\n    pass\n")
                .body[0]->kind, StmtKind::Match);
  EXPECT_EQ(parse("type A[T: int = str, *Ts, **P] = list[T]\n").body[0]->kind, StmtKind::TypeAlias);
  EXPECT_EQ(parse("with (a, b): pass\n").body[0]->as<With>().items.size(), 2u);
  EXPECT_EQ(parse("with (a, b) as c: pass\n").body[0]->as<With>().items.size(), 1u);
  EXPECT_EQ(parse("with (yield): pass\n").body[0]->as<With>().items.size(), 1u);
  // A bare `except:` before another handler is a compile-time error only.
  EXPECT_EQ(parse("try:\n  pass\nexcept:\n  pass\nexcept E:\n  pass\n").body[0]->as<Try>().handlers.size(), 2u);
}

}  // namespace
}  // namespace pysyntax
