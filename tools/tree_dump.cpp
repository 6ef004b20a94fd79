// The canonical tree dump of our AST. Mirrors tools/cpython_dump.py function by function; where
// the two trees are shaped differently (`elif` clauses, literal kinds, f-string pieces,
// parameters with their defaults) this side reshapes into the common form.
#include "tree_dump.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "literals/literals.h"

namespace pysyntax::tools {
namespace {

constexpr std::string_view kBinaryNames[] = {"Add",    "Sub",    "Mult",  "MatMult", "Div",
                                             "Mod",    "Pow",    "LShift", "RShift", "BitOr",
                                             "BitXor", "BitAnd", "FloorDiv"};
constexpr std::string_view kUnaryNames[] = {"Invert", "Not", "UAdd", "USub"};
constexpr std::string_view kCompareNames[] = {"Eq", "NotEq", "Lt", "LtE", "Gt",
                                              "GtE", "Is", "IsNot", "In", "NotIn"};
constexpr std::string_view kContextNames[] = {"Load", "Store", "Del"};

std::string quote(std::string_view bytes) {
  std::string out = "\"";
  for (char ch : bytes) {
    auto b = static_cast<unsigned char>(ch);
    if (b >= 0x20 && b < 0x7F && b != '"' && b != '\\') {
      out.push_back(ch);
    } else {
      char buf[5];
      std::snprintf(buf, sizeof buf, "\\x%02x", b);
      out += buf;
    }
  }
  out.push_back('"');
  return out;
}

std::string float_bits(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%016llx", static_cast<unsigned long long>(bits));
  return buf;
}

std::string ctx(const Expr& e) { return std::string(" ctx=") + std::string(kContextNames[static_cast<int>(e.ctx)]); }

int conversion_code(Conversion c) {
  switch (c) {
    case Conversion::Str: return 's';
    case Conversion::Repr: return 'r';
    case Conversion::Ascii: return 'a';
    case Conversion::None: break;
  }
  return -1;
}

class Dumper {
 public:
  explicit Dumper(std::string& out) : out_(out) {}

  void module(const Module& m) {
    out_ += "Module";
    body(1, "body", m.body);
  }

 private:
  void emit(int depth, std::string_view field, std::string_view head) {
    out_.push_back('\n');
    out_.append(static_cast<size_t>(depth), ' ');
    out_ += field;
    out_.push_back(' ');
    out_ += head;
  }
  void none(int d, std::string_view f) { emit(d, f, "None"); }
  void count(int d, std::string_view f, size_t n) {
    std::string head = "[";
    head += std::to_string(n);
    head += ']';
    emit(d, f, head);
  }

  void expr_child(int d, std::string_view f, const Expr* e) {
    if (e == nullptr) {
      none(d, f);
    } else {
      expr(d, f, *e);
    }
  }
  void exprs(int d, std::string_view f, Span<Expr*> list) {
    count(d, f, list.size());
    for (const Expr* e : list) expr(d + 1, "-", *e);
  }
  void body(int d, std::string_view f, Span<Stmt*> list) {
    count(d, f, list.size());
    for (const Stmt* s : list) stmt(d + 1, "-", *s);
  }

  // -- statements ------------------------------------------------------------------------------
  void stmt(int d, std::string_view f, const Stmt& s) {
    const int c = d + 1;
    switch (s.kind) {
      case StmtKind::FunctionDef: {
        const auto& n = s.as<FunctionDef>();
        emit(d, f, std::string(n.is_async ? "AsyncFunctionDef" : "FunctionDef") + " name=" + quote(n.name.id));
        decorators(c, n.decorators);
        type_params(c, n.type_params);
        parameters(c, "args", n.parameters);
        expr_child(c, "returns", n.returns);
        body(c, "body", n.body);
        break;
      }
      case StmtKind::ClassDef: {
        const auto& n = s.as<ClassDef>();
        emit(d, f, "ClassDef name=" + quote(n.name.id));
        decorators(c, n.decorators);
        type_params(c, n.type_params);
        arguments(c, n.arguments);
        body(c, "body", n.body);
        break;
      }
      case StmtKind::Return:
        emit(d, f, "Return");
        expr_child(c, "value", s.as<Return>().value);
        break;
      case StmtKind::Delete:
        emit(d, f, "Delete");
        exprs(c, "targets", s.as<Delete>().targets);
        break;
      case StmtKind::Assign: {
        const auto& n = s.as<Assign>();
        emit(d, f, "Assign");
        exprs(c, "targets", n.targets);
        expr_child(c, "value", n.value);
        break;
      }
      case StmtKind::AugAssign: {
        const auto& n = s.as<AugAssign>();
        emit(d, f, "AugAssign op=" + std::string(kBinaryNames[static_cast<int>(n.op)]));
        expr_child(c, "target", n.target);
        expr_child(c, "value", n.value);
        break;
      }
      case StmtKind::AnnAssign: {
        const auto& n = s.as<AnnAssign>();
        emit(d, f, n.simple ? "AnnAssign simple=1" : "AnnAssign simple=0");
        expr_child(c, "target", n.target);
        expr_child(c, "annotation", n.annotation);
        expr_child(c, "value", n.value);
        break;
      }
      case StmtKind::TypeAlias: {
        const auto& n = s.as<TypeAlias>();
        emit(d, f, "TypeAlias");
        expr_child(c, "name", n.name);
        type_params(c, n.type_params);
        expr_child(c, "value", n.value);
        break;
      }
      case StmtKind::For: {
        const auto& n = s.as<For>();
        emit(d, f, n.is_async ? "AsyncFor" : "For");
        expr_child(c, "target", n.target);
        expr_child(c, "iter", n.iter);
        body(c, "body", n.body);
        body(c, "orelse", n.orelse);
        break;
      }
      case StmtKind::While: {
        const auto& n = s.as<While>();
        emit(d, f, "While");
        expr_child(c, "test", n.test);
        body(c, "body", n.body);
        body(c, "orelse", n.orelse);
        break;
      }
      case StmtKind::If: {
        const auto& n = s.as<If>();
        if_chain(d, f, n.test, n.body, n.clauses, 0);
        break;
      }
      case StmtKind::With: {
        const auto& n = s.as<With>();
        emit(d, f, n.is_async ? "AsyncWith" : "With");
        count(c, "items", n.items.size());
        for (const WithItem& item : n.items) {
          emit(c + 1, "-", "WithItem");
          expr_child(c + 2, "context_expr", item.context_expr);
          expr_child(c + 2, "optional_vars", item.optional_vars);
        }
        body(c, "body", n.body);
        break;
      }
      case StmtKind::Match: {
        const auto& n = s.as<Match>();
        emit(d, f, "Match");
        expr_child(c, "subject", n.subject);
        count(c, "cases", n.cases.size());
        for (const MatchCase& mc : n.cases) {
          emit(c + 1, "-", "MatchCase");
          pattern(c + 2, "pattern", *mc.pattern);
          expr_child(c + 2, "guard", mc.guard);
          body(c + 2, "body", mc.body);
        }
        break;
      }
      case StmtKind::Raise: {
        const auto& n = s.as<Raise>();
        emit(d, f, "Raise");
        expr_child(c, "exc", n.exc);
        expr_child(c, "cause", n.cause);
        break;
      }
      case StmtKind::Try: {
        const auto& n = s.as<Try>();
        emit(d, f, n.is_star ? "TryStar" : "Try");
        body(c, "body", n.body);
        count(c, "handlers", n.handlers.size());
        for (const ExceptHandler& h : n.handlers) {
          emit(c + 1, "-", "ExceptHandler name=" + quote(h.name.id));
          expr_child(c + 2, "type", h.type);
          body(c + 2, "body", h.body);
        }
        body(c, "orelse", n.orelse);
        body(c, "finalbody", n.finalbody);
        break;
      }
      case StmtKind::Assert: {
        const auto& n = s.as<Assert>();
        emit(d, f, "Assert");
        expr_child(c, "test", n.test);
        expr_child(c, "msg", n.msg);
        break;
      }
      case StmtKind::Import:
        emit(d, f, "Import");
        aliases(c, s.as<Import>().names);
        break;
      case StmtKind::ImportFrom: {
        const auto& n = s.as<ImportFrom>();
        emit(d, f, "ImportFrom module=" + quote(n.module.id) + " level=" + std::to_string(n.level));
        aliases(c, n.names);
        break;
      }
      case StmtKind::Global:
        emit(d, f, "Global names=" + names(s.as<Global>().names));
        break;
      case StmtKind::Nonlocal:
        emit(d, f, "Nonlocal names=" + names(s.as<Nonlocal>().names));
        break;
      case StmtKind::ExprStmt:
        emit(d, f, "Expr");
        expr_child(c, "value", s.as<ExprStmt>().value);
        break;
      case StmtKind::Pass: emit(d, f, "Pass"); break;
      case StmtKind::Break: emit(d, f, "Break"); break;
      case StmtKind::Continue: emit(d, f, "Continue"); break;
    }
  }

  // CPython keeps `elif` as an `If` alone in the `orelse` of the one before.
  void if_chain(int d, std::string_view f, const Expr* test, Span<Stmt*> if_body, Span<ElifElseClause> clauses,
                uint32_t next) {
    emit(d, f, "If");
    expr_child(d + 1, "test", test);
    body(d + 1, "body", if_body);
    if (next == clauses.size()) {
      count(d + 1, "orelse", 0);
    } else if (clauses[next].test == nullptr) {
      body(d + 1, "orelse", clauses[next].body);
    } else {
      count(d + 1, "orelse", 1);
      if_chain(d + 2, "-", clauses[next].test, clauses[next].body, clauses, next + 1);
    }
  }

  void decorators(int d, Span<Decorator> list) {
    count(d, "decorators", list.size());
    for (const Decorator& dec : list) expr(d + 1, "-", *dec.expression);
  }

  void type_params(int d, Span<TypeParam> list) {
    count(d, "type_params", list.size());
    for (const TypeParam& p : list) {
      std::string_view kind = p.kind == TypeParamKind::TypeVar     ? "TypeVar"
                              : p.kind == TypeParamKind::ParamSpec ? "ParamSpec"
                                                                   : "TypeVarTuple";
      emit(d + 1, "-", std::string(kind) + " name=" + quote(p.name.id));
      expr_child(d + 2, "bound", p.bound);
      expr_child(d + 2, "default", p.default_value);
    }
  }

  void parameter(int d, std::string_view f, const Parameter& p) {
    emit(d, f, "Param name=" + quote(p.name.id));
    expr_child(d + 1, "annotation", p.annotation);
    expr_child(d + 1, "default", p.default_value);
  }
  void parameter_list(int d, std::string_view f, Span<Parameter> list) {
    count(d, f, list.size());
    for (const Parameter& p : list) parameter(d + 1, "-", p);
  }
  void optional_parameter(int d, std::string_view f, const Parameter* p) {
    if (p == nullptr) {
      none(d, f);
    } else {
      parameter(d, f, *p);
    }
  }
  void parameters(int d, std::string_view f, const Parameters* p) {
    emit(d, f, "Arguments");
    const Parameters empty{};
    const Parameters& params = p != nullptr ? *p : empty;
    parameter_list(d + 1, "posonly", params.posonly);
    parameter_list(d + 1, "args", params.args);
    optional_parameter(d + 1, "vararg", params.vararg);
    parameter_list(d + 1, "kwonly", params.kwonly);
    optional_parameter(d + 1, "kwarg", params.kwarg);
  }

  void arguments(int d, Span<Argument> list) {
    count(d, "arguments", list.size());
    for (const Argument& a : list) {
      switch (a.kind) {
        case ArgumentKind::Positional: emit(d + 1, "-", "Arg positional"); break;
        case ArgumentKind::Starred: emit(d + 1, "-", "Arg starred"); break;
        case ArgumentKind::Keyword: emit(d + 1, "-", "Arg keyword name=" + quote(a.name.id)); break;
        case ArgumentKind::DoubleStarred: emit(d + 1, "-", "Arg doublestarred"); break;
      }
      expr_child(d + 2, "value", a.value);
    }
  }

  void aliases(int d, Span<Alias> list) {
    count(d, "names", list.size());
    for (const Alias& a : list) emit(d + 1, "-", "Alias name=" + quote(a.name.id) + " asname=" + quote(a.asname.id));
  }

  static std::string names(Span<Identifier> list) {
    std::string out;
    for (const Identifier& id : list) {
      if (!out.empty()) out.push_back(',');
      out += quote(id.id);
    }
    return out;
  }

  // -- expressions -----------------------------------------------------------------------------
  void expr(int d, std::string_view f, const Expr& e) {
    const int c = d + 1;
    switch (e.kind) {
      case ExprKind::BoolOp: {
        const auto& n = e.as<BoolOp>();
        emit(d, f, n.op == BoolOperator::And ? "BoolOp op=And" : "BoolOp op=Or");
        exprs(c, "values", n.values);
        break;
      }
      case ExprKind::NamedExpr: {
        const auto& n = e.as<NamedExpr>();
        emit(d, f, "NamedExpr");
        expr_child(c, "target", n.target);
        expr_child(c, "value", n.value);
        break;
      }
      case ExprKind::BinOp: {
        const auto& n = e.as<BinOp>();
        emit(d, f, "BinOp op=" + std::string(kBinaryNames[static_cast<int>(n.op)]));
        expr_child(c, "left", n.left);
        expr_child(c, "right", n.right);
        break;
      }
      case ExprKind::UnaryOp: {
        const auto& n = e.as<UnaryOp>();
        emit(d, f, "UnaryOp op=" + std::string(kUnaryNames[static_cast<int>(n.op)]));
        expr_child(c, "operand", n.operand);
        break;
      }
      case ExprKind::Lambda: {
        const auto& n = e.as<Lambda>();
        emit(d, f, "Lambda");
        parameters(c, "args", n.parameters);
        expr_child(c, "body", n.body);
        break;
      }
      case ExprKind::IfExp: {
        const auto& n = e.as<IfExp>();
        emit(d, f, "IfExp");
        expr_child(c, "body", n.body);
        expr_child(c, "test", n.test);
        expr_child(c, "orelse", n.orelse);
        break;
      }
      case ExprKind::Dict: {
        const auto& n = e.as<Dict>();
        emit(d, f, "Dict");
        count(c, "items", n.items.size());
        for (const DictItem& item : n.items) {
          emit(c + 1, "-", "DictItem");
          expr_child(c + 2, "key", item.key);
          expr_child(c + 2, "value", item.value);
        }
        break;
      }
      case ExprKind::Set:
        emit(d, f, "Set");
        exprs(c, "elts", e.as<Set>().elts);
        break;
      case ExprKind::ListComp: comprehension_expr(d, f, "ListComp", e.as<ListComp>().elt, e.as<ListComp>().generators); break;
      case ExprKind::SetComp: comprehension_expr(d, f, "SetComp", e.as<SetComp>().elt, e.as<SetComp>().generators); break;
      case ExprKind::GeneratorExp:
        comprehension_expr(d, f, "GeneratorExp", e.as<GeneratorExp>().elt, e.as<GeneratorExp>().generators);
        break;
      case ExprKind::DictComp: {
        const auto& n = e.as<DictComp>();
        emit(d, f, "DictComp");
        expr_child(c, "key", n.key);
        expr_child(c, "value", n.value);
        generators(c, n.generators);
        break;
      }
      case ExprKind::Await:
        emit(d, f, "Await");
        expr_child(c, "value", e.as<Await>().value);
        break;
      case ExprKind::Yield:
        emit(d, f, "Yield");
        expr_child(c, "value", e.as<Yield>().value);
        break;
      case ExprKind::YieldFrom:
        emit(d, f, "YieldFrom");
        expr_child(c, "value", e.as<YieldFrom>().value);
        break;
      case ExprKind::Compare: {
        const auto& n = e.as<Compare>();
        std::string head = "Compare ops=";
        for (uint32_t i = 0; i < n.ops.size(); ++i) {
          if (i > 0) head.push_back(',');
          head += kCompareNames[static_cast<int>(n.ops[i])];
        }
        emit(d, f, head);
        expr_child(c, "left", n.left);
        exprs(c, "comparators", n.comparators);
        break;
      }
      case ExprKind::Call: {
        const auto& n = e.as<Call>();
        emit(d, f, "Call");
        expr_child(c, "func", n.func);
        arguments(c, n.arguments);
        break;
      }
      case ExprKind::FString: {
        Pieces pieces;
        for (const InterpolatedPart& part : e.as<FString>().parts) pieces.add(part.elements);
        joined(d, f, "JoinedStr", "FormattedValue", pieces.finish());
        break;
      }
      case ExprKind::TString: {
        Pieces pieces;
        for (const InterpolatedPart& part : e.as<TString>().parts) pieces.add(part.elements);
        joined(d, f, "TemplateStr", "Interpolation", pieces.finish());
        break;
      }
      case ExprKind::StringLiteral: emit(d, f, "Const str " + quote(e.as<StringLiteral>().value)); break;
      case ExprKind::BytesLiteral: emit(d, f, "Const bytes " + quote(e.as<BytesLiteral>().value)); break;
      case ExprKind::IntLiteral: {
        const auto& n = e.as<IntLiteral>();
        std::string head = "Const int ";
        if (n.fits) {
          head += std::to_string(n.value);
        } else {
          literals::append_integer_decimal(n.text, head);
        }
        emit(d, f, head);
        break;
      }
      case ExprKind::FloatLiteral: emit(d, f, "Const float " + float_bits(e.as<FloatLiteral>().value)); break;
      case ExprKind::ComplexLiteral: emit(d, f, "Const complex " + float_bits(e.as<ComplexLiteral>().imag)); break;
      case ExprKind::BooleanLiteral: emit(d, f, e.as<BooleanLiteral>().value ? "Const True" : "Const False"); break;
      case ExprKind::NoneLiteral: emit(d, f, "Const None"); break;
      case ExprKind::EllipsisLiteral: emit(d, f, "Const Ellipsis"); break;
      case ExprKind::Attribute: {
        const auto& n = e.as<Attribute>();
        emit(d, f, "Attribute attr=" + quote(n.attr.id) + ctx(e));
        expr_child(c, "value", n.value);
        break;
      }
      case ExprKind::Subscript: {
        const auto& n = e.as<Subscript>();
        emit(d, f, "Subscript" + ctx(e));
        expr_child(c, "value", n.value);
        expr_child(c, "slice", n.slice);
        break;
      }
      case ExprKind::Starred:
        emit(d, f, "Starred" + ctx(e));
        expr_child(c, "value", e.as<Starred>().value);
        break;
      case ExprKind::Name: emit(d, f, "Name id=" + quote(e.as<Name>().id) + ctx(e)); break;
      case ExprKind::List:
        emit(d, f, "List" + ctx(e));
        exprs(c, "elts", e.as<List>().elts);
        break;
      case ExprKind::Tuple:
        emit(d, f, "Tuple" + ctx(e));
        exprs(c, "elts", e.as<Tuple>().elts);
        break;
      case ExprKind::Slice: {
        const auto& n = e.as<Slice>();
        emit(d, f, "Slice");
        expr_child(c, "lower", n.lower);
        expr_child(c, "upper", n.upper);
        expr_child(c, "step", n.step);
        break;
      }
    }
  }

  void comprehension_expr(int d, std::string_view f, std::string_view head, const Expr* elt, Span<Comprehension> gens) {
    emit(d, f, head);
    expr_child(d + 1, "elt", elt);
    generators(d + 1, gens);
  }
  void generators(int d, Span<Comprehension> list) {
    count(d, "generators", list.size());
    for (const Comprehension& g : list) {
      emit(d + 1, "-", g.is_async ? "Comprehension async=1" : "Comprehension async=0");
      expr_child(d + 2, "target", g.target);
      expr_child(d + 2, "iter", g.iter);
      exprs(d + 2, "ifs", g.ifs);
    }
  }

  // The values of a JoinedStr as CPython makes them: literal text (debug text included) joined
  // across elements and parts, empty text dropped.
  struct Piece {
    std::string literal;                        // when field == nullptr
    const InterpolatedElement* field = nullptr;
  };
  class Pieces {
   public:
    void add(Span<InterpolatedElement> elements) {
      for (const InterpolatedElement& el : elements) {
        if (el.is_literal()) {
          pending_ += el.literal;
          continue;
        }
        pending_ += el.debug_text;
        flush();
        pieces_.push_back(Piece{{}, &el});
      }
    }
    std::vector<Piece> finish() {
      flush();
      return std::move(pieces_);
    }

   private:
    void flush() {
      if (!pending_.empty()) pieces_.push_back(Piece{std::move(pending_), nullptr});
      pending_.clear();
    }
    std::string pending_;
    std::vector<Piece> pieces_;
  };

  void joined(int d, std::string_view f, std::string_view head, std::string_view field_head,
              const std::vector<Piece>& pieces) {
    emit(d, f, head);
    count(d + 1, "values", pieces.size());
    for (const Piece& piece : pieces) {
      if (piece.field == nullptr) {
        emit(d + 2, "-", "Const str " + quote(piece.literal));
        continue;
      }
      const InterpolatedElement& el = *piece.field;
      int conversion = conversion_code(el.conversion);
      // A debug field without conversion and spec converts with repr().
      if (conversion < 0 && !el.debug_text.empty() && el.format_spec == nullptr) conversion = 'r';
      emit(d + 2, "-", std::string(field_head) + " conversion=" + std::to_string(conversion));
      expr_child(d + 3, "value", el.expression);
      if (el.format_spec == nullptr) {
        none(d + 3, "format_spec");
      } else {
        Pieces spec;
        spec.add(el.format_spec->elements);
        joined(d + 3, "format_spec", head, field_head, spec.finish());
      }
    }
  }

  // -- patterns --------------------------------------------------------------------------------
  void patterns(int d, std::string_view f, Span<Pattern*> list) {
    count(d, f, list.size());
    for (const Pattern* p : list) pattern(d + 1, "-", *p);
  }

  void pattern(int d, std::string_view f, const Pattern& p) {
    const int c = d + 1;
    switch (p.kind) {
      case PatternKind::MatchValue:
        emit(d, f, "MatchValue");
        expr_child(c, "value", p.as<MatchValue>().value);
        break;
      case PatternKind::MatchSingleton: {
        Singleton v = p.as<MatchSingleton>().value;
        emit(d, f, v == Singleton::None ? "MatchSingleton None" : v == Singleton::True ? "MatchSingleton True" : "MatchSingleton False");
        break;
      }
      case PatternKind::MatchSequence:
        emit(d, f, "MatchSequence");
        patterns(c, "patterns", p.as<MatchSequence>().patterns);
        break;
      case PatternKind::MatchMapping: {
        const auto& n = p.as<MatchMapping>();
        emit(d, f, "MatchMapping rest=" + quote(n.rest.id));
        exprs(c, "keys", n.keys);
        patterns(c, "patterns", n.patterns);
        break;
      }
      case PatternKind::MatchClass: {
        const auto& n = p.as<MatchClass>();
        emit(d, f, "MatchClass");
        expr_child(c, "cls", n.cls);
        patterns(c, "patterns", n.patterns);
        count(c, "keywords", n.keywords.size());
        for (const PatternKeyword& kw : n.keywords) {
          emit(c + 1, "-", "KeywordPattern attr=" + quote(kw.attr.id));
          pattern(c + 2, "pattern", *kw.pattern);
        }
        break;
      }
      case PatternKind::MatchStar: emit(d, f, "MatchStar name=" + quote(p.as<MatchStar>().name.id)); break;
      case PatternKind::MatchAs: {
        const auto& n = p.as<MatchAs>();
        emit(d, f, "MatchAs name=" + quote(n.name.id));
        if (n.pattern == nullptr) {
          none(c, "pattern");
        } else {
          pattern(c, "pattern", *n.pattern);
        }
        break;
      }
      case PatternKind::MatchOr:
        emit(d, f, "MatchOr");
        patterns(c, "patterns", p.as<MatchOr>().patterns);
        break;
    }
  }

  std::string& out_;
};

}  // namespace

void dump_module(const Module& module, std::string& out) { Dumper(out).module(module); }

}  // namespace pysyntax::tools
