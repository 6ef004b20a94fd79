// The syntax tree of one Python module. Every node lives in the `Arena` it was parsed into, is
// trivially destructible and carries its byte range in the original text (offsets count from
// the start of the text, a leading BOM included). Child lists are `Span`s into the arena. Texts
// (`std::string_view`) point into the source text, or into the arena when they had to be made
// (an identifier changed by NFKC, a decoded string, a dotted import name written with spaces);
// so a tree must not outlive either the arena or the text.
//
// Access by kind: `expr.kind == ExprKind::Call`, then `expr.as<Call>()`; or
// `if (auto* call = expr.try_as<Call>())`. Absent optional children are null pointers, absent
// identifiers have an empty `id`.
#pragma once

#include <cassert>
#include <cstdint>
#include <string_view>

#include "pysyntax/arena.h"

namespace pysyntax {

/// A half-open byte range `[start, end)` in the source text.
struct Range {
  uint32_t start = 0;
  uint32_t end = 0;
  friend constexpr bool operator==(Range, Range) = default;
};

enum class ExprKind : uint8_t {
#define PYSYNTAX_EXPR(name) name,
#include "pysyntax/ast_kinds.def"
};
enum class StmtKind : uint8_t {
#define PYSYNTAX_STMT(name) name,
#include "pysyntax/ast_kinds.def"
};
enum class PatternKind : uint8_t {
#define PYSYNTAX_PATTERN(name) name,
#include "pysyntax/ast_kinds.def"
};

/// The CamelCase name of a node kind ("Call", "FunctionDef", "MatchAs").
std::string_view expr_kind_name(ExprKind kind);
std::string_view stmt_kind_name(StmtKind kind);
std::string_view pattern_kind_name(PatternKind kind);

/// How an expression is used, as CPython's `ast` records it: read, assigned to, or deleted.
enum class ExprContext : uint8_t { Load, Store, Del };

enum class BoolOperator : uint8_t { And, Or };
enum class BinaryOperator : uint8_t {
  Add, Sub, Mult, MatMult, Div, Mod, Pow, LShift, RShift, BitOr, BitXor, BitAnd, FloorDiv
};
enum class UnaryOperator : uint8_t { Invert, Not, UAdd, USub };
enum class CompareOperator : uint8_t { Eq, NotEq, Lt, LtE, Gt, GtE, Is, IsNot, In, NotIn };

/// Operator spellings ("+", "not in", "and"); the augmented form of a binary operator adds "=".
std::string_view operator_spelling(BoolOperator op);
std::string_view operator_spelling(BinaryOperator op);
std::string_view operator_spelling(UnaryOperator op);
std::string_view operator_spelling(CompareOperator op);

/// A name as written, with its range; `id` is NFKC-normalised. Empty `id`: absent.
struct Identifier {
  std::string_view id;  ///< the identifier's text after NFKC normalisation
  Range range;          ///< where it is written
  bool empty() const { return id.empty(); }
};

struct Expr;
struct Stmt;
struct Pattern;

// ---------------------------------------------------------------------------------------------
// Expressions

/// Common header of every expression node.
struct Expr {
  ExprKind kind;      ///< which node struct this is
  ExprContext ctx;    ///< Load, Store or Del (meaningful for Name, Attribute, Subscript, Starred, List, Tuple)
  uint16_t height;    ///< levels of expression nodes in this subtree, itself included
  Range range;        ///< the expression's text (a parenthesised tuple or generator includes its parentheses)

  template <class T>
  const T& as() const {
    assert(kind == T::kKind);
    return static_cast<const T&>(*this);
  }
  template <class T>
  const T* try_as() const {
    return kind == T::kKind ? static_cast<const T*>(this) : nullptr;
  }
};

/// `a and b and c`: one node for a chain of the same operator.
struct BoolOp : Expr {
  static constexpr ExprKind kKind = ExprKind::BoolOp;
  BoolOperator op;      ///< `and` or `or`
  Span<Expr*> values;   ///< the operands, two or more, left to right
};

/// `target := value`.
struct NamedExpr : Expr {
  static constexpr ExprKind kKind = ExprKind::NamedExpr;
  Expr* target;  ///< always a Name (Store)
  Expr* value;   ///< the assigned value
};

/// `left op right`; `**` is right-associative, all others left.
struct BinOp : Expr {
  static constexpr ExprKind kKind = ExprKind::BinOp;
  Expr* left;          ///< left operand
  BinaryOperator op;   ///< the operator
  Expr* right;         ///< right operand
};

/// `not x`, `-x`, `+x`, `~x`.
struct UnaryOp : Expr {
  static constexpr ExprKind kKind = ExprKind::UnaryOp;
  UnaryOperator op;  ///< the operator
  Expr* operand;     ///< its operand
};

struct Parameters;

/// `lambda params: body`.
struct Lambda : Expr {
  static constexpr ExprKind kKind = ExprKind::Lambda;
  const Parameters* parameters;  ///< the parameters; null for `lambda: ...`
  Expr* body;                    ///< the body expression
};

/// `body if test else orelse`.
struct IfExp : Expr {
  static constexpr ExprKind kKind = ExprKind::IfExp;
  Expr* body;    ///< value when the test holds
  Expr* test;    ///< the condition
  Expr* orelse;  ///< value otherwise
};

/// One entry of a dict display: `key: value`, or `**value` (key null).
struct DictItem {
  Expr* key;    ///< the key; null for a `**mapping` entry
  Expr* value;  ///< the value, or the unpacked mapping
};

/// `{k: v, **m}`.
struct Dict : Expr {
  static constexpr ExprKind kKind = ExprKind::Dict;
  Span<DictItem> items;  ///< the entries in source order
};

/// `{a, *b}` (never empty: `{}` is a Dict).
struct Set : Expr {
  static constexpr ExprKind kKind = ExprKind::Set;
  Span<Expr*> elts;  ///< the elements; starred ones are Starred nodes
};

/// One `for target in iter if cond ...` clause of a comprehension.
struct Comprehension {
  Range range;         ///< from `for` (or `async`) to the end of the last condition
  Expr* target;        ///< loop target (Store)
  Expr* iter;          ///< the iterable
  Span<Expr*> ifs;     ///< the `if` conditions in order
  bool is_async;       ///< `async for`
};

/// `[elt for ...]`.
struct ListComp : Expr {
  static constexpr ExprKind kKind = ExprKind::ListComp;
  Expr* elt;                        ///< the element expression
  Span<Comprehension> generators;   ///< the `for` clauses in order
};

/// `{elt for ...}`.
struct SetComp : Expr {
  static constexpr ExprKind kKind = ExprKind::SetComp;
  Expr* elt;                        ///< the element expression
  Span<Comprehension> generators;   ///< the `for` clauses in order
};

/// `{key: value for ...}`.
struct DictComp : Expr {
  static constexpr ExprKind kKind = ExprKind::DictComp;
  Expr* key;                        ///< the key expression
  Expr* value;                      ///< the value expression
  Span<Comprehension> generators;   ///< the `for` clauses in order
};

/// `(elt for ...)`, also the sole argument in `f(x for x in y)` (range then covers `(...)`).
struct GeneratorExp : Expr {
  static constexpr ExprKind kKind = ExprKind::GeneratorExp;
  Expr* elt;                        ///< the element expression
  Span<Comprehension> generators;   ///< the `for` clauses in order
};

/// `await value`.
struct Await : Expr {
  static constexpr ExprKind kKind = ExprKind::Await;
  Expr* value;  ///< the awaited expression
};

/// `yield` or `yield value`.
struct Yield : Expr {
  static constexpr ExprKind kKind = ExprKind::Yield;
  Expr* value;  ///< the yielded value; null for a bare `yield`
};

/// `yield from value`.
struct YieldFrom : Expr {
  static constexpr ExprKind kKind = ExprKind::YieldFrom;
  Expr* value;  ///< the delegated iterable
};

/// `a < b <= c`: one node for the whole chain.
struct Compare : Expr {
  static constexpr ExprKind kKind = ExprKind::Compare;
  Expr* left;                       ///< the first operand
  Span<CompareOperator> ops;        ///< the operators, one per comparator
  Span<Expr*> comparators;          ///< the further operands, left to right
};

enum class ArgumentKind : uint8_t {
  Positional,    ///< `value`
  Starred,       ///< `*value`; `value` is the Starred node
  Keyword,       ///< `name=value`
  DoubleStarred  ///< `**value`; `value` is the mapping itself
};

/// One argument of a call or of a class's base list.
struct Argument {
  Range range;        ///< the whole argument (`name=value`, `**value` included)
  ArgumentKind kind;  ///< which form
  Identifier name;    ///< the keyword for Keyword arguments; empty otherwise
  Expr* value;        ///< the argument's expression
};

/// `func(args)`.
struct Call : Expr {
  static constexpr ExprKind kKind = ExprKind::Call;
  Expr* func;                ///< the callee
  Span<Argument> arguments;  ///< every argument, in source order, whatever its kind
  Range arguments_range;     ///< from `(` to `)` inclusive
};

/// Flags of one string literal part, from its prefix and quotes.
struct StringFlags {
  enum : uint8_t {
    kRaw = 1 << 0,          ///< `r` / `R` prefix
    kUnicode = 1 << 1,      ///< `u` / `U` prefix (CPython records it as kind='u')
    kBytes = 1 << 2,        ///< `b` / `B` prefix
    kFormat = 1 << 3,       ///< `f` / `F` prefix
    kTemplate = 1 << 4,     ///< `t` / `T` prefix
    kTriple = 1 << 5,       ///< triple-quoted
    kDoubleQuote = 1 << 6,  ///< quoted with `"` rather than `'`
  };
  uint8_t bits = 0;
  bool raw() const { return bits & kRaw; }
  bool unicode() const { return bits & kUnicode; }
  bool bytes() const { return bits & kBytes; }
  bool format() const { return bits & kFormat; }
  bool template_string() const { return bits & kTemplate; }
  bool triple() const { return bits & kTriple; }
  bool double_quote() const { return bits & kDoubleQuote; }
  /// Length of the prefix plus the opening quote(s): where the body starts inside the part.
  uint32_t opening_length(uint32_t prefix_length) const { return prefix_length + (triple() ? 3 : 1); }
};

/// One literal part of a (possibly implicitly concatenated) string or bytes literal.
struct StringPart {
  Range range;             ///< prefix, quotes and body
  StringFlags flags;       ///< prefix and quote style
  std::string_view value;  ///< the part's value after escape processing
};

/// `"a" 'b'`: a string literal, or several concatenated; none of them an f- or t-string.
struct StringLiteral : Expr {
  static constexpr ExprKind kKind = ExprKind::StringLiteral;
  std::string_view value;   ///< the joined value after escape processing (UTF-8)
  Span<StringPart> parts;   ///< the literal parts in source order (at least one)
};

/// `b"a" b'b'`: bytes literals (never mixed with str literals).
struct BytesLiteral : Expr {
  static constexpr ExprKind kKind = ExprKind::BytesLiteral;
  std::string_view value;   ///< the joined byte values after escape processing
  Span<StringPart> parts;   ///< the literal parts in source order (at least one)
};

/// The conversion of a replacement field: `!s`, `!r`, `!a`, or none.
enum class Conversion : uint8_t { None, Str, Repr, Ascii };

struct FormatSpec;

/// One piece of an f-string or t-string body: literal text, or a replacement field `{...}`.
struct InterpolatedElement {
  Range range;                    ///< the literal text, or the field from `{` to `}` inclusive
  Expr* expression;               ///< the field's expression; null for literal text
  std::string_view literal;       ///< literal text after escape processing (`{{` gives `{`); empty for a field
  std::string_view debug_text;    ///< `{expr=}`: source text from after `{` up to `!`, `:` or `}`; else empty
  Conversion conversion;          ///< the explicit conversion (a debug field without one and without a format specifier converts with `!r` in CPython)
  const FormatSpec* format_spec;  ///< what follows `:`; null when the field has no `:`
  bool is_literal() const { return expression == nullptr; }
};

/// The format specifier of a replacement field: literal text and nested fields.
struct FormatSpec {
  Range range;                          ///< from after `:` to before `}`
  Span<InterpolatedElement> elements;   ///< its pieces in order
};

/// One part of an implicitly concatenated f-string or t-string. A plain string part among
/// f-string parts has a single literal element (none when it is empty).
struct InterpolatedPart {
  Range range;                          ///< prefix, quotes and body
  StringFlags flags;                    ///< prefix and quote style
  Span<InterpolatedElement> elements;   ///< the pieces of the body in order
};

/// `f"a{b!r:>{w}}" "c"`: a string concatenation with at least one f-string part.
struct FString : Expr {
  static constexpr ExprKind kKind = ExprKind::FString;
  Span<InterpolatedPart> parts;  ///< the parts in source order
};

/// `t"a{b}"`: a template string (all parts are t-strings).
struct TString : Expr {
  static constexpr ExprKind kKind = ExprKind::TString;
  Span<InterpolatedPart> parts;  ///< the parts in source order
};

/// An integer literal: `42`, `0x_ff`, `10**100`'s `10`.
struct IntLiteral : Expr {
  static constexpr ExprKind kKind = ExprKind::IntLiteral;
  uint64_t value;         ///< the value when it fits in 64 bits; 0 otherwise
  bool fits;              ///< whether `value` holds the value
  std::string_view text;  ///< the literal exactly as written (prefix and underscores included)
};

/// A floating-point literal: `1.5`, `1e400` (infinity).
struct FloatLiteral : Expr {
  static constexpr ExprKind kKind = ExprKind::FloatLiteral;
  double value;  ///< the nearest double; infinity when too large
};

/// An imaginary literal: `2j`, `1.5e3J`.
struct ComplexLiteral : Expr {
  static constexpr ExprKind kKind = ExprKind::ComplexLiteral;
  double imag;  ///< the imaginary part (the real part is 0)
};

/// `True` or `False`.
struct BooleanLiteral : Expr {
  static constexpr ExprKind kKind = ExprKind::BooleanLiteral;
  bool value;  ///< which one
};

/// `None`.
struct NoneLiteral : Expr {
  static constexpr ExprKind kKind = ExprKind::NoneLiteral;
};

/// `...`.
struct EllipsisLiteral : Expr {
  static constexpr ExprKind kKind = ExprKind::EllipsisLiteral;
};

/// `value.attr`.
struct Attribute : Expr {
  static constexpr ExprKind kKind = ExprKind::Attribute;
  Expr* value;      ///< the object
  Identifier attr;  ///< the attribute name
};

/// `value[slice]`; `a[1, 2]` has a Tuple slice, `a[1:2]` a Slice.
struct Subscript : Expr {
  static constexpr ExprKind kKind = ExprKind::Subscript;
  Expr* value;  ///< the subscripted object
  Expr* slice;  ///< the index expression
};

/// `*value`, in displays, calls, targets and subscripts.
struct Starred : Expr {
  static constexpr ExprKind kKind = ExprKind::Starred;
  Expr* value;  ///< the unpacked expression
};

/// A name.
struct Name : Expr {
  static constexpr ExprKind kKind = ExprKind::Name;
  std::string_view id;  ///< the identifier after NFKC normalisation
};

/// `[a, b]`.
struct List : Expr {
  static constexpr ExprKind kKind = ExprKind::List;
  Span<Expr*> elts;  ///< the elements
};

/// `(a, b)` or `a, b`.
struct Tuple : Expr {
  static constexpr ExprKind kKind = ExprKind::Tuple;
  Span<Expr*> elts;    ///< the elements
  bool parenthesized;  ///< written with its own parentheses
};

/// `lower:upper:step` inside a subscript.
struct Slice : Expr {
  static constexpr ExprKind kKind = ExprKind::Slice;
  Expr* lower;  ///< null when omitted
  Expr* upper;  ///< null when omitted
  Expr* step;   ///< null when omitted
};

// ---------------------------------------------------------------------------------------------
// Parameters, type parameters and other parts of statements

/// One parameter of a function or lambda.
struct Parameter {
  Range range;        ///< name through default (`*`/`**` included for the variadic ones)
  Identifier name;    ///< the parameter's name
  Expr* annotation;   ///< `: annotation`; null when absent (always for lambdas); may be Starred for `*args: *Ts`
  Expr* default_value;  ///< `= default`; null when absent
};

/// A parameter list, by kind, each group in source order.
struct Parameters {
  Range range;                ///< from the first to the last parameter (parentheses excluded)
  Span<Parameter> posonly;    ///< before `/`
  Span<Parameter> args;       ///< ordinary parameters
  const Parameter* vararg;    ///< `*args`; null when absent
  Span<Parameter> kwonly;     ///< after `*` or `*args`
  const Parameter* kwarg;     ///< `**kwargs`; null when absent
};

enum class TypeParamKind : uint8_t {
  TypeVar,      ///< `T`, `T: bound`
  ParamSpec,    ///< `**P`
  TypeVarTuple  ///< `*Ts`
};

/// One type parameter: `T: int = str`, `*Ts`, `**P`.
struct TypeParam {
  Range range;          ///< the whole parameter
  TypeParamKind kind;   ///< which form
  Identifier name;      ///< its name
  Expr* bound;          ///< `: bound` (TypeVar only); null when absent
  Expr* default_value;  ///< `= default`; null when absent
};

/// `@expression` before a def or class.
struct Decorator {
  Range range;       ///< from `@` to the end of the expression
  Expr* expression;  ///< the decorator expression
};

/// One name of an import: `a.b.c as d`, or `*`.
struct Alias {
  Range range;        ///< the name through the `as` name
  Identifier name;    ///< dotted name joined with "." (spaces removed), or "*"
  Identifier asname;  ///< the `as` name; empty when absent
};

/// One item of a `with`: `context as target`.
struct WithItem {
  Range range;          ///< the item
  Expr* context_expr;   ///< the context manager expression
  Expr* optional_vars;  ///< the `as` target (Store); null when absent
};

/// An `elif test:` or `else:` clause of an `if`.
struct ElifElseClause {
  Range range;        ///< from `elif`/`else` to the end of its body
  Expr* test;         ///< the elif condition; null for `else`
  Span<Stmt*> body;   ///< the clause's statements
};

/// `except type as name:` (or `except*`).
struct ExceptHandler {
  Range range;       ///< from `except` to the end of the body
  Expr* type;        ///< the exception type; null for a bare `except:`; an unparenthesised Tuple for `except A, B:`
  Identifier name;   ///< the `as` name; empty when absent
  Span<Stmt*> body;  ///< the handler's statements
};

/// `case pattern if guard: body`.
struct MatchCase {
  Range range;       ///< from `case` to the end of the body
  Pattern* pattern;  ///< the pattern
  Expr* guard;       ///< the guard; null when absent
  Span<Stmt*> body;  ///< the case's statements
};

// ---------------------------------------------------------------------------------------------
// Patterns

/// Common header of every pattern node.
struct Pattern {
  PatternKind kind;  ///< which node struct this is
  Range range;       ///< the pattern's text

  template <class T>
  const T& as() const {
    assert(kind == T::kKind);
    return static_cast<const T&>(*this);
  }
  template <class T>
  const T* try_as() const {
    return kind == T::kKind ? static_cast<const T*>(this) : nullptr;
  }
};

/// A literal or dotted value: `1`, `-1+2j`, `"s"`, `Color.RED`.
struct MatchValue : Pattern {
  static constexpr PatternKind kKind = PatternKind::MatchValue;
  Expr* value;  ///< the value expression
};

enum class Singleton : uint8_t { None, True, False };

/// `None`, `True`, `False`.
struct MatchSingleton : Pattern {
  static constexpr PatternKind kKind = PatternKind::MatchSingleton;
  Singleton value;  ///< which one
};

/// `[a, *rest]` or `(a, b)` or `a, b`.
struct MatchSequence : Pattern {
  static constexpr PatternKind kKind = PatternKind::MatchSequence;
  Span<Pattern*> patterns;  ///< the sub-patterns (at most one MatchStar)
};

/// `{key: pattern, **rest}`.
struct MatchMapping : Pattern {
  static constexpr PatternKind kKind = PatternKind::MatchMapping;
  Span<Expr*> keys;         ///< the keys (literals or dotted values)
  Span<Pattern*> patterns;  ///< the value patterns, one per key
  Identifier rest;          ///< the `**rest` name; empty when absent
};

/// One `attr=pattern` of a class pattern.
struct PatternKeyword {
  Range range;       ///< the whole keyword pattern
  Identifier attr;   ///< the attribute name
  Pattern* pattern;  ///< its pattern
};

/// `Point(x, y=0)`.
struct MatchClass : Pattern {
  static constexpr PatternKind kKind = PatternKind::MatchClass;
  Expr* cls;                      ///< the class: a Name or dotted Attribute
  Span<Pattern*> patterns;        ///< the positional sub-patterns
  Span<PatternKeyword> keywords;  ///< the keyword sub-patterns, after the positional ones
};

/// `*name` or `*_` inside a sequence pattern.
struct MatchStar : Pattern {
  static constexpr PatternKind kKind = PatternKind::MatchStar;
  Identifier name;  ///< the bound name; empty for `*_`
};

/// `pattern as name`, a capture `name`, or the wildcard `_` (both absent).
struct MatchAs : Pattern {
  static constexpr PatternKind kKind = PatternKind::MatchAs;
  Pattern* pattern;  ///< the pattern before `as`; null for a bare capture or wildcard
  Identifier name;   ///< the bound name; empty for `_`
};

/// `a | b | c`.
struct MatchOr : Pattern {
  static constexpr PatternKind kKind = PatternKind::MatchOr;
  Span<Pattern*> patterns;  ///< the alternatives, two or more
};

// ---------------------------------------------------------------------------------------------
// Statements

/// Common header of every statement node.
struct Stmt {
  StmtKind kind;  ///< which node struct this is
  Range range;    ///< the statement's text; a compound statement ends with its last body statement

  template <class T>
  const T& as() const {
    assert(kind == T::kKind);
    return static_cast<const T&>(*this);
  }
  template <class T>
  const T* try_as() const {
    return kind == T::kKind ? static_cast<const T*>(this) : nullptr;
  }
};

/// `def name[T](params) -> returns: body` (or `async def`); the range starts at the first decorator.
struct FunctionDef : Stmt {
  static constexpr StmtKind kKind = StmtKind::FunctionDef;
  bool is_async;                 ///< `async def`
  Identifier name;               ///< the function's name
  Span<Decorator> decorators;    ///< decorators, top to bottom
  Span<TypeParam> type_params;   ///< `[T, *Ts, **P]`; empty when absent
  const Parameters* parameters;  ///< the parameters (never null; may hold none)
  Expr* returns;                 ///< the return annotation; null when absent
  Span<Stmt*> body;              ///< the body
};

/// `class name[T](bases, keywords): body`; the range starts at the first decorator.
struct ClassDef : Stmt {
  static constexpr StmtKind kKind = StmtKind::ClassDef;
  Identifier name;               ///< the class's name
  Span<Decorator> decorators;    ///< decorators, top to bottom
  Span<TypeParam> type_params;   ///< `[T]`; empty when absent
  Span<Argument> arguments;      ///< bases and keywords, in source order; empty without parentheses
  Span<Stmt*> body;              ///< the body
};

/// `return value`.
struct Return : Stmt {
  static constexpr StmtKind kKind = StmtKind::Return;
  Expr* value;  ///< null for a bare `return`
};

/// `del a, b`.
struct Delete : Stmt {
  static constexpr StmtKind kKind = StmtKind::Delete;
  Span<Expr*> targets;  ///< the deleted targets (Del)
};

/// `a = b = value`.
struct Assign : Stmt {
  static constexpr StmtKind kKind = StmtKind::Assign;
  Span<Expr*> targets;  ///< the targets, left to right (Store)
  Expr* value;          ///< the assigned value
};

/// `target op= value`.
struct AugAssign : Stmt {
  static constexpr StmtKind kKind = StmtKind::AugAssign;
  Expr* target;        ///< a Name, Attribute or Subscript (Store)
  BinaryOperator op;   ///< the operator without `=`
  Expr* value;         ///< the right-hand side
};

/// `target: annotation = value`.
struct AnnAssign : Stmt {
  static constexpr StmtKind kKind = StmtKind::AnnAssign;
  Expr* target;       ///< a Name, Attribute or Subscript (Store)
  Expr* annotation;   ///< the annotation
  Expr* value;        ///< the value; null when absent
  bool simple;        ///< the target is a Name not in parentheses
};

/// `type Name[T] = value`.
struct TypeAlias : Stmt {
  static constexpr StmtKind kKind = StmtKind::TypeAlias;
  Expr* name;                   ///< a Name (Store)
  Span<TypeParam> type_params;  ///< empty when absent
  Expr* value;                  ///< the aliased type
};

/// `for target in iter: body else: orelse` (or `async for`).
struct For : Stmt {
  static constexpr StmtKind kKind = StmtKind::For;
  bool is_async;        ///< `async for`
  Expr* target;         ///< loop target (Store)
  Expr* iter;           ///< the iterable
  Span<Stmt*> body;     ///< the loop body
  Span<Stmt*> orelse;   ///< the `else` block; empty when absent
};

/// `while test: body else: orelse`.
struct While : Stmt {
  static constexpr StmtKind kKind = StmtKind::While;
  Expr* test;           ///< the condition
  Span<Stmt*> body;     ///< the loop body
  Span<Stmt*> orelse;   ///< the `else` block; empty when absent
};

/// `if test: body`, then its `elif` and `else` clauses in order.
struct If : Stmt {
  static constexpr StmtKind kKind = StmtKind::If;
  Expr* test;                     ///< the condition
  Span<Stmt*> body;               ///< the statements under the `if`
  Span<ElifElseClause> clauses;   ///< `elif` clauses, then at most one `else` (last)
};

/// `with a as b, c: body` (or `async with`).
struct With : Stmt {
  static constexpr StmtKind kKind = StmtKind::With;
  bool is_async;          ///< `async with`
  Span<WithItem> items;   ///< the items in order
  Span<Stmt*> body;       ///< the body
};

/// `match subject: cases`.
struct Match : Stmt {
  static constexpr StmtKind kKind = StmtKind::Match;
  Expr* subject;           ///< the subject (a Tuple for `match a, b:`)
  Span<MatchCase> cases;   ///< the cases in order
};

/// `raise exc from cause`.
struct Raise : Stmt {
  static constexpr StmtKind kKind = StmtKind::Raise;
  Expr* exc;    ///< null for a bare `raise`
  Expr* cause;  ///< the `from` part; null when absent
};

/// `try: body except...: else: finally:` (or with `except*` handlers).
struct Try : Stmt {
  static constexpr StmtKind kKind = StmtKind::Try;
  Span<Stmt*> body;                ///< the guarded statements
  Span<ExceptHandler> handlers;    ///< the handlers in order
  Span<Stmt*> orelse;              ///< the `else` block; empty when absent
  Span<Stmt*> finalbody;           ///< the `finally` block; empty when absent
  bool is_star;                    ///< handlers are `except*`
};

/// `assert test, msg`.
struct Assert : Stmt {
  static constexpr StmtKind kKind = StmtKind::Assert;
  Expr* test;  ///< the condition
  Expr* msg;   ///< the message; null when absent
};

/// `import a.b as c, d`.
struct Import : Stmt {
  static constexpr StmtKind kKind = StmtKind::Import;
  Span<Alias> names;  ///< the imported names
};

/// `from ..module import a as b` or `from . import *`.
struct ImportFrom : Stmt {
  static constexpr StmtKind kKind = StmtKind::ImportFrom;
  Identifier module;   ///< the dotted module name; empty for `from . import x`
  uint32_t level;      ///< the number of leading dots
  Span<Alias> names;   ///< the imported names (one "*" alias for a star import)
};

/// `global a, b`.
struct Global : Stmt {
  static constexpr StmtKind kKind = StmtKind::Global;
  Span<Identifier> names;  ///< the declared names
};

/// `nonlocal a, b`.
struct Nonlocal : Stmt {
  static constexpr StmtKind kKind = StmtKind::Nonlocal;
  Span<Identifier> names;  ///< the declared names
};

/// An expression used as a statement.
struct ExprStmt : Stmt {
  static constexpr StmtKind kKind = StmtKind::ExprStmt;
  Expr* value;  ///< the expression
};

/// `pass`.
struct Pass : Stmt {
  static constexpr StmtKind kKind = StmtKind::Pass;
};

/// `break`.
struct Break : Stmt {
  static constexpr StmtKind kKind = StmtKind::Break;
};

/// `continue`.
struct Continue : Stmt {
  static constexpr StmtKind kKind = StmtKind::Continue;
};

/// A parsed module.
struct Module {
  Range range;        ///< the whole text
  Span<Stmt*> body;   ///< the top-level statements
};

}  // namespace pysyntax
