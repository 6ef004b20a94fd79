// Expressions: precedence climbing for the binary operators, the unary and power levels,
// primaries with their trailers, atoms and displays, comprehensions, lambdas, call arguments
// and subscripts.
#include "literals/literals.h"
#include "parser/parser.h"

namespace pysyntax::parser {
namespace {

/// Tokens that end every expression level: after an atom, none of them continues it.
bool ends_expression(TokenKind k) {
  switch (k) {
    case TokenKind::Comma: case TokenKind::RightParen: case TokenKind::RightBracket:
    case TokenKind::RightBrace: case TokenKind::Colon: case TokenKind::Newline: case TokenKind::Equal:
    case TokenKind::Semicolon:
      return true;
    default:
      return false;
  }
}

/// Tokens that begin an atom, so that the expression starts with a primary.
bool starts_primary(TokenKind k) {
  switch (k) {
    case TokenKind::Name: case TokenKind::Int: case TokenKind::Float: case TokenKind::Complex:
    case TokenKind::String: case TokenKind::FStringStart: case TokenKind::LeftParen:
    case TokenKind::LeftBracket: case TokenKind::LeftBrace: case TokenKind::True: case TokenKind::False:
    case TokenKind::None: case TokenKind::Ellipsis:
      return true;
    default:
      return false;
  }
}

bool starts_expression(TokenKind k) {
  switch (k) {
    case TokenKind::Name: case TokenKind::Int: case TokenKind::Float: case TokenKind::Complex:
    case TokenKind::String: case TokenKind::FStringStart: case TokenKind::LeftParen:
    case TokenKind::LeftBracket: case TokenKind::LeftBrace: case TokenKind::Minus: case TokenKind::Plus:
    case TokenKind::Tilde: case TokenKind::Not: case TokenKind::Lambda: case TokenKind::Await:
    case TokenKind::True: case TokenKind::False: case TokenKind::None: case TokenKind::Ellipsis:
    case TokenKind::Star:
      return true;
    default:
      return false;
  }
}

/// Binding power of a binary operator token: `|` 1, `^` 2, `&` 3, shifts 4, `+ -` 5,
/// `* / // % @` 6; 0 for tokens that are no binary operator.
struct BinaryInfo {
  int power;
  BinaryOperator op;
};
constexpr BinaryInfo binary_info(TokenKind k) {
  switch (k) {
    case TokenKind::VerticalBar: return {1, BinaryOperator::BitOr};
    case TokenKind::Circumflex: return {2, BinaryOperator::BitXor};
    case TokenKind::Ampersand: return {3, BinaryOperator::BitAnd};
    case TokenKind::LeftShift: return {4, BinaryOperator::LShift};
    case TokenKind::RightShift: return {4, BinaryOperator::RShift};
    case TokenKind::Plus: return {5, BinaryOperator::Add};
    case TokenKind::Minus: return {5, BinaryOperator::Sub};
    case TokenKind::Star: return {6, BinaryOperator::Mult};
    case TokenKind::Slash: return {6, BinaryOperator::Div};
    case TokenKind::DoubleSlash: return {6, BinaryOperator::FloorDiv};
    case TokenKind::Percent: return {6, BinaryOperator::Mod};
    case TokenKind::At: return {6, BinaryOperator::MatMult};
    default: return {0, BinaryOperator::Add};
  }
}
/// Tokens that some operator level takes after a primary: `**`, binary and comparison
/// operators, `and`, `or`, `if`. After any other token the primary is the whole expression.
bool continues_primary(TokenKind k) {
  switch (k) {
    case TokenKind::DoubleStar: case TokenKind::EqualEqual: case TokenKind::NotEqual: case TokenKind::Less:
    case TokenKind::LessEqual: case TokenKind::Greater: case TokenKind::GreaterEqual: case TokenKind::In:
    case TokenKind::Is: case TokenKind::Not: case TokenKind::And: case TokenKind::Or: case TokenKind::If:
      return true;
    default:
      return binary_info(k).power != 0;
  }
}

static_assert(binary_info(TokenKind::VerticalBar).power < binary_info(TokenKind::Circumflex).power &&
              binary_info(TokenKind::Circumflex).power < binary_info(TokenKind::Ampersand).power &&
              binary_info(TokenKind::Ampersand).power < binary_info(TokenKind::LeftShift).power &&
              binary_info(TokenKind::LeftShift).power < binary_info(TokenKind::Plus).power &&
              binary_info(TokenKind::Plus).power < binary_info(TokenKind::Star).power,
              "binary operators bind in CPython's order");

}  // namespace

/// star_expressions: star_expression (',' star_expression)* [',']
Expr* Parser::parse_star_expressions() {
  const uint32_t start = this->start();
  Expr* first = parse_star_expression();
  if (!at(TokenKind::Comma) || failed()) return first;
  const size_t base = expr_stack_.size();
  expr_stack_.push_back(first);
  while (eat(TokenKind::Comma) && !failed()) {
    if (!starts_expression(kind())) break;
    expr_stack_.push_back(parse_star_expression());
  }
  Span<Expr*> elts = take(expr_stack_, base);
  return expr<Tuple>(from(start), elts, false);
}

/// star_expression: '*' bitwise_or | expression
Expr* Parser::parse_star_expression() {
  if (at(TokenKind::Star)) {
    const uint32_t start = this->start();
    bump();
    Expr* value = parse_binary(1);
    return expr<Starred>(from(start), value);
  }
  return parse_expression();
}

/// star_named_expression: '*' bitwise_or | named_expression
Expr* Parser::parse_star_named_expression() {
  if (!at(TokenKind::Star)) return parse_named_expression();
  const uint32_t start = this->start();
  bump();
  Expr* value = parse_binary(1);
  return expr<Starred>(from(start), value);
}

/// star_named_expressions as a tuple when there is a comma (match subjects):
/// star_named_expression (',' star_named_expression)* [',']
Expr* Parser::parse_star_named_expressions_tuple() {
  const uint32_t start = this->start();
  Expr* first = parse_star_named_expression();
  if (!at(TokenKind::Comma) || failed()) {
    if (first->kind == ExprKind::Starred && !failed()) fail(ParseErrorKind::InvalidStarredExpression, first->range);
    return first;
  }
  const size_t base = expr_stack_.size();
  expr_stack_.push_back(first);
  while (eat(TokenKind::Comma) && !failed()) {
    if (!starts_expression(kind())) break;
    expr_stack_.push_back(parse_star_named_expression());
  }
  Span<Expr*> elts = take(expr_stack_, base);
  return expr<Tuple>(from(start), elts, false);
}

/// named_expression: NAME ':=' expression | expression !':='
Expr* Parser::parse_named_expression() {
  const uint32_t start = this->start();
  if (at(TokenKind::Name) && peek().kind == TokenKind::ColonEqual) {
    Identifier name = identifier(bump());
    bump();
    Expr* target = expr<Name>(name.range, name.id);
    target->ctx = ExprContext::Store;
    Expr* value = parse_expression();
    return expr<NamedExpr>(from(start), target, value);
  }
  Expr* e = parse_expression();
  if (at(TokenKind::ColonEqual) && !failed()) fail(ParseErrorKind::InvalidNamedExpressionTarget, e->range);
  return e;
}

/// expression: disjunction 'if' disjunction 'else' expression | disjunction | lambdef
Expr* Parser::parse_expression() {
  // Most expressions are one name, number or string: skip the precedence levels for them.
  switch (kind()) {
    case TokenKind::Name: case TokenKind::Int: case TokenKind::Float: case TokenKind::String:
    case TokenKind::True: case TokenKind::False: case TokenKind::None:
      if (ends_expression(peek().kind)) return parse_atom();
      break;
    default:
      break;
  }
  DepthGuard guard(*this);
  if (!guard) return placeholder();
  if (at(TokenKind::Lambda)) return parse_lambda();
  const uint32_t start = this->start();
  Expr* body;
  if (starts_primary(kind())) {
    // Many expressions are one primary (`f(x)`, `a.b[c]`): the operator levels are entered
    // only when an operator follows it.
    const Head head{start, parse_primary()};
    if (failed() || !continues_primary(kind())) return head.primary;
    body = parse_disjunction(&head);
  } else {
    body = parse_disjunction();
  }
  if (!at(TokenKind::If) || failed()) return body;
  bump();
  Expr* test = parse_disjunction();
  if (!expect(TokenKind::Else)) return placeholder();
  Expr* orelse = parse_expression();
  return expr<IfExp>(from(start), body, test, orelse);
}

/// disjunction: conjunction ('or' conjunction)+ | conjunction
Expr* Parser::parse_disjunction(const Head* head) { return parse_bool_operation(TokenKind::Or, head); }

/// conjunction: inversion ('and' inversion)+ | inversion
Expr* Parser::parse_conjunction(const Head* head) { return parse_bool_operation(TokenKind::And, head); }

/// One `or` or `and` chain as a single BoolOp.
Expr* Parser::parse_bool_operation(TokenKind op_token, const Head* head) {
  const bool is_or = op_token == TokenKind::Or;
  const uint32_t start = head ? head->start : this->start();
  Expr* first = is_or ? parse_conjunction(head) : parse_inversion(head);
  if (!at(op_token)) return first;
  const size_t base = expr_stack_.size();
  expr_stack_.push_back(first);
  while (eat(op_token) && !failed()) expr_stack_.push_back(is_or ? parse_conjunction() : parse_inversion());
  Span<Expr*> values = take(expr_stack_, base);
  return expr<BoolOp>(from(start), is_or ? BoolOperator::Or : BoolOperator::And, values);
}

/// inversion: 'not' inversion | comparison
Expr* Parser::parse_inversion(const Head* head) {
  if (head || !at(TokenKind::Not)) return parse_comparison(head);
  DepthGuard guard(*this);
  if (!guard) return placeholder();
  const uint32_t start = this->start();
  bump();
  Expr* operand = parse_inversion();
  return expr<UnaryOp>(from(start), UnaryOperator::Not, operand);
}

/// comparison: bitwise_or compare_op_bitwise_or_pair+ | bitwise_or
Expr* Parser::parse_comparison(const Head* head) {
  const uint32_t start = head ? head->start : this->start();
  Expr* left = parse_binary(1, head);
  auto ops = list<CompareOperator>();
  const size_t base = expr_stack_.size();
  for (;;) {
    if (failed()) break;
    CompareOperator op;
    switch (kind()) {
      case TokenKind::EqualEqual: op = CompareOperator::Eq; break;
      case TokenKind::NotEqual: op = CompareOperator::NotEq; break;
      case TokenKind::Less: op = CompareOperator::Lt; break;
      case TokenKind::LessEqual: op = CompareOperator::LtE; break;
      case TokenKind::Greater: op = CompareOperator::Gt; break;
      case TokenKind::GreaterEqual: op = CompareOperator::GtE; break;
      case TokenKind::In: op = CompareOperator::In; break;
      case TokenKind::Is:
        op = peek().kind == TokenKind::Not ? CompareOperator::IsNot : CompareOperator::Is;
        break;
      case TokenKind::Not:
        if (peek().kind != TokenKind::In) goto done;
        op = CompareOperator::NotIn;
        break;
      default:
        goto done;
    }
    if (op == CompareOperator::IsNot || op == CompareOperator::NotIn) bump();
    bump();
    ops.push_back(op);
    expr_stack_.push_back(parse_binary(1));
  }
done:
  if (ops.empty()) return left;
  Span<Expr*> comparators = take(expr_stack_, base);
  return expr<Compare>(from(start), left, ops.take(arena_), comparators);
}

/// bitwise_or .. term: left-associative binary operators by binding power
Expr* Parser::parse_binary(int min_power, const Head* head) {
  const uint32_t start = head ? head->start : this->start();
  Expr* left = head ? parse_power(head) : parse_factor();
  for (;;) {
    if (failed()) return left;
    const BinaryInfo info = binary_info(kind());
    if (info.power == 0 || info.power < min_power) return left;
    bump();
    Expr* right = parse_binary(info.power + 1);
    left = expr<BinOp>(from(start), left, info.op, right);
  }
}

/// factor: '+' factor | '-' factor | '~' factor | power
Expr* Parser::parse_factor() {
  UnaryOperator op;
  switch (kind()) {
    case TokenKind::Plus: op = UnaryOperator::UAdd; break;
    case TokenKind::Minus: op = UnaryOperator::USub; break;
    case TokenKind::Tilde: op = UnaryOperator::Invert; break;
    default: return parse_power();
  }
  DepthGuard guard(*this);
  if (!guard) return placeholder();
  const uint32_t start = this->start();
  bump();
  Expr* operand = parse_factor();
  return expr<UnaryOp>(from(start), op, operand);
}

/// power: await_primary '**' factor | await_primary
/// await_primary: 'await' primary | primary
Expr* Parser::parse_power(const Head* head) {
  const uint32_t start = head ? head->start : this->start();
  Expr* base;
  if (head) {
    base = head->primary;
  } else if (at(TokenKind::Await)) {
    bump();
    Expr* value = parse_primary();
    base = expr<Await>(from(start), value);
  } else {
    base = parse_primary();
  }
  if (!at(TokenKind::DoubleStar) || failed()) return base;
  // `**` is right-associative: a chain nests one level per operator.
  DepthGuard guard(*this);
  if (!guard) return base;
  bump();
  Expr* exponent = parse_factor();
  return expr<BinOp>(from(start), base, BinaryOperator::Pow, exponent);
}

/// primary: primary '.' NAME | primary genexp | primary '(' [arguments] ')' | primary '[' slices ']' | atom
Expr* Parser::parse_primary() {
  const uint32_t start = this->start();
  Expr* e = parse_atom();
  for (;;) {
    if (failed()) return e;
    switch (kind()) {
      case TokenKind::Dot: {
        bump();
        Identifier attr = expect_identifier();
        e = expr<Attribute>(from(start), e, attr);
        break;
      }
      case TokenKind::LeftParen: {
        Range range;
        Span<Argument> arguments = parse_arguments(TokenKind::RightParen, &range);
        e = expr<Call>(from(start), e, arguments, range);
        break;
      }
      case TokenKind::LeftBracket: {
        DepthGuard guard(*this);
        if (!guard) return e;
        bump();
        Expr* slice = parse_slices();
        expect(TokenKind::RightBracket);
        e = expr<Subscript>(from(start), e, slice);
        break;
      }
      default:
        return e;
    }
  }
}

/// slices: slice !',' | ','.(slice | starred_expression)+ [',']
Expr* Parser::parse_slices() {
  const uint32_t start = this->start();
  Expr* first = parse_slice();
  if (!at(TokenKind::Comma) || failed()) {
    // `a[*b]` subscripts with a one-element tuple, as CPython builds it.
    if (first->kind == ExprKind::Starred) return expr<Tuple>(from(start), arena_.copy(&first, 1), false);
    return first;
  }
  const size_t base = expr_stack_.size();
  expr_stack_.push_back(first);
  while (eat(TokenKind::Comma) && !failed()) {
    if (at(TokenKind::RightBracket)) break;
    expr_stack_.push_back(parse_slice());
  }
  Span<Expr*> elts = take(expr_stack_, base);
  return expr<Tuple>(from(start), elts, false);
}

/// slice: [expression] ':' [expression] [':' [expression]] | named_expression | '*' bitwise_or
Expr* Parser::parse_slice() {
  const uint32_t start = this->start();
  if (at(TokenKind::Star)) {
    bump();
    Expr* value = parse_binary(1);
    return expr<Starred>(from(start), value);
  }
  Expr* lower = nullptr;
  if (!at(TokenKind::Colon)) {
    lower = parse_named_expression();
    if (!at(TokenKind::Colon)) return lower;
  }
  bump();
  auto bound = [&]() -> Expr* {
    if (at(TokenKind::Colon) || at(TokenKind::Comma) || at(TokenKind::RightBracket)) return nullptr;
    return parse_expression();
  };
  Expr* upper = bound();
  Expr* step = nullptr;
  if (eat(TokenKind::Colon)) step = bound();
  return expr<Slice>(from(start), lower, upper, step);
}

/// arguments: '(' [args [',']] ')' with CPython's ordering rules; a lone generator
/// expression argument may go without its own parentheses.
Span<Argument> Parser::parse_arguments(TokenKind closer, Range* range_out) {
  const uint32_t open = this->start();
  DepthGuard guard(*this);
  if (!guard) {
    *range_out = Range{open, open};
    return {};
  }
  bump();
  const size_t base = arg_stack_.size();
  bool seen_keyword = false, seen_double_star = false;
  while (!at(closer) && !failed()) {
    const uint32_t arg_start = this->start();
    if (at(TokenKind::Star)) {
      bump();
      Expr* value = parse_expression();
      if (seen_double_star) {
        fail(ParseErrorKind::IterableUnpackingAfterKeywordUnpacking, from(arg_start));
        break;
      }
      Expr* starred = expr<Starred>(from(arg_start), value);
      arg_stack_.push_back(Argument{from(arg_start), ArgumentKind::Starred, Identifier{}, starred});
    } else if (at(TokenKind::DoubleStar)) {
      bump();
      Expr* value = parse_expression();
      seen_double_star = true;
      arg_stack_.push_back(Argument{from(arg_start), ArgumentKind::DoubleStarred, Identifier{}, value});
    } else if (at(TokenKind::Name) && peek().kind == TokenKind::Equal) {
      Identifier name = identifier(bump());
      bump();
      Expr* value = parse_expression();
      seen_keyword = true;
      arg_stack_.push_back(Argument{from(arg_start), ArgumentKind::Keyword, name, value});
    } else {
      Expr* value = parse_named_expression();
      if (failed()) break;
      if (at(TokenKind::For) || (at(TokenKind::Async) && peek().kind == TokenKind::For)) {
        Span<Comprehension> generators = parse_comprehension_clauses();
        if (failed()) break;
        // At the end of the tokens (after a lexical error, which is reported instead) the
        // missing closer is the fault, not the generator.
        const bool alone = arg_stack_.size() == base && (at(closer) || at(TokenKind::EndOfFile));
        if (!alone) {
          fail(ParseErrorKind::UnparenthesizedGenerator, from(arg_start));
          break;
        }
        value = expr<GeneratorExp>(Range{open, tok().end}, value, generators);
      } else if (at(TokenKind::Equal)) {
        fail(ParseErrorKind::InvalidKeywordArgument, from(arg_start));
        break;
      }
      if (seen_double_star) {
        fail(ParseErrorKind::PositionalAfterKeywordUnpacking, value->range);
        break;
      }
      if (seen_keyword) {
        fail(ParseErrorKind::PositionalAfterKeywordArgument, value->range);
        break;
      }
      arg_stack_.push_back(Argument{value->range, ArgumentKind::Positional, Identifier{}, value});
    }
    if (failed()) break;
    if (!eat(TokenKind::Comma)) break;
  }
  expect(closer);
  *range_out = from(open);
  return take(arg_stack_, base);
}

/// for_if_clauses: (['async'] 'for' star_targets 'in' disjunction ('if' disjunction)*)+
Span<Comprehension> Parser::parse_comprehension_clauses() {
  auto clauses = list<Comprehension>();
  while (!failed()) {
    const uint32_t start = this->start();
    bool is_async = false;
    if (at(TokenKind::Async) && peek().kind == TokenKind::For) {
      bump();
      is_async = true;
    }
    if (!eat(TokenKind::For)) break;
    Expr* target = parse_star_targets();
    expect(TokenKind::In);
    Expr* iter = parse_disjunction();
    const size_t base = expr_stack_.size();
    while (at(TokenKind::If) && !failed()) {
      bump();
      expr_stack_.push_back(parse_disjunction());
    }
    Span<Expr*> ifs = take(expr_stack_, base);
    clauses.push_back(Comprehension{from(start), target, iter, ifs, is_async});
  }
  return clauses.take(arena_);
}

/// star_targets for `for` loops and comprehensions: ','.star_target+ [','], stopping before `in`
Expr* Parser::parse_star_targets() {
  const uint32_t start = this->start();
  Expr* first = parse_target_item();
  Expr* result = first;
  if (at(TokenKind::Comma) && !failed()) {
    const size_t base = expr_stack_.size();
    expr_stack_.push_back(first);
    while (eat(TokenKind::Comma) && !failed()) {
      if (at(TokenKind::In) || at(TokenKind::Equal)) break;
      expr_stack_.push_back(parse_target_item());
    }
    Span<Expr*> elts = take(expr_stack_, base);
    result = expr<Tuple>(from(start), elts, false);
  }
  if (!failed()) check_target(result, TargetRule::Assign);
  return result;
}

/// star_target: '*' star_target | target_with_star_atom (parsed at the `|` level, then checked)
Expr* Parser::parse_target_item() {
  if (at(TokenKind::Star)) {
    DepthGuard guard(*this);
    if (!guard) return placeholder();
    const uint32_t start = this->start();
    bump();
    Expr* value = parse_target_item();
    return expr<Starred>(from(start), value);
  }
  return parse_binary(1);
}

/// lambdef: 'lambda' [lambda_params] ':' expression
Expr* Parser::parse_lambda() {
  const uint32_t start = this->start();
  bump();
  const Parameters* parameters = parse_parameters(TokenKind::Colon, true);
  expect(TokenKind::Colon);
  Expr* body = parse_expression();
  return expr<Lambda>(from(start), parameters, body);
}

/// yield_expr: 'yield' 'from' expression | 'yield' [star_expressions]
Expr* Parser::parse_yield() {
  const uint32_t start = this->start();
  bump();
  if (eat(TokenKind::From)) {
    Expr* value = parse_expression();
    return expr<YieldFrom>(from(start), value);
  }
  Expr* value = starts_expression(kind()) ? parse_star_expressions() : nullptr;
  return expr<Yield>(from(start), value);
}

Expr* Parser::parse_yield_or_star_expressions() {
  if (at(TokenKind::Yield)) return parse_yield();
  return parse_star_expressions();
}

Expr* Parser::parse_number() {
  const Token& t = bump();
  std::string_view text = text_of(t);
  if (t.kind == TokenKind::Int) {
    std::optional<uint64_t> value = literals::integer_value(text);
    return expr<IntLiteral>(t.range(), value.value_or(0), value.has_value(), text);
  }
  if (t.kind == TokenKind::Float) return expr<FloatLiteral>(t.range(), literals::float_value(text));
  return expr<ComplexLiteral>(t.range(), literals::imaginary_value(text));
}

/// atom
Expr* Parser::parse_atom() {
  const uint32_t start = this->start();
  switch (kind()) {
    case TokenKind::Name: {
      Identifier name = identifier(bump());
      return expr<Name>(name.range, name.id);
    }
    case TokenKind::True:
    case TokenKind::False: {
      const bool value = at(TokenKind::True);
      bump();
      return expr<BooleanLiteral>(from(start), value);
    }
    case TokenKind::None:
      bump();
      return expr<NoneLiteral>(from(start));
    case TokenKind::Ellipsis:
      bump();
      return expr<EllipsisLiteral>(from(start));
    case TokenKind::Int:
    case TokenKind::Float:
    case TokenKind::Complex:
      return parse_number();
    case TokenKind::String:
    case TokenKind::FStringStart:
      return parse_strings();
    case TokenKind::LeftParen:
      return parse_parenthesized();
    case TokenKind::LeftBracket:
      return parse_list_display();
    case TokenKind::LeftBrace:
      return parse_brace_display();
    case TokenKind::Star:
      fail_at_token(ParseErrorKind::InvalidStarredExpression);
      return placeholder();
    case TokenKind::DoubleStar:
      fail_at_token(ParseErrorKind::InvalidDoubleStarredExpression);
      return placeholder();
    default:
      fail_at_token(ParseErrorKind::ExpectedExpression);
      return placeholder();
  }
}

/// tuple | group | genexp: '(' ... ')'
Expr* Parser::parse_parenthesized() {
  DepthGuard guard(*this);
  if (!guard) return placeholder();
  const uint32_t start = this->start();
  bump();
  if (eat(TokenKind::RightParen)) return expr<Tuple>(from(start), Span<Expr*>(), true);
  if (at(TokenKind::Yield)) {
    Expr* e = parse_yield();
    expect(TokenKind::RightParen);
    return e;
  }
  Expr* first = parse_star_named_expression();
  if (failed()) return first;
  if (at(TokenKind::For) || (at(TokenKind::Async) && peek().kind == TokenKind::For)) {
    if (first->kind == ExprKind::Starred) {
      fail(ParseErrorKind::InvalidStarredExpression, first->range);
      return first;
    }
    Span<Comprehension> generators = parse_comprehension_clauses();
    expect(TokenKind::RightParen);
    return expr<GeneratorExp>(from(start), first, generators);
  }
  if (at(TokenKind::Comma)) {
    const size_t base = expr_stack_.size();
    expr_stack_.push_back(first);
    while (eat(TokenKind::Comma) && !failed()) {
      if (at(TokenKind::RightParen)) break;
      expr_stack_.push_back(parse_star_named_expression());
    }
    expect(TokenKind::RightParen);
    Span<Expr*> elts = take(expr_stack_, base);
    return expr<Tuple>(from(start), elts, true);
  }
  if (first->kind == ExprKind::Starred) {
    fail(ParseErrorKind::InvalidStarredExpression, first->range);
    return first;
  }
  expect(TokenKind::RightParen);
  return first;
}

/// list | listcomp: '[' ... ']'
Expr* Parser::parse_list_display() {
  DepthGuard guard(*this);
  if (!guard) return placeholder();
  const uint32_t start = this->start();
  bump();
  const size_t base = expr_stack_.size();
  while (!at(TokenKind::RightBracket) && !failed()) {
    Expr* element = parse_star_named_expression();
    if (expr_stack_.size() == base && element->kind != ExprKind::Starred &&
        (at(TokenKind::For) || (at(TokenKind::Async) && peek().kind == TokenKind::For))) {
      Span<Comprehension> generators = parse_comprehension_clauses();
      expect(TokenKind::RightBracket);
      return expr<ListComp>(from(start), element, generators);
    }
    expr_stack_.push_back(element);
    if (!eat(TokenKind::Comma)) break;
  }
  expect(TokenKind::RightBracket);
  Span<Expr*> elts = take(expr_stack_, base);
  return expr<List>(from(start), elts);
}

/// double_starred_kvpairs: ','.('**' bitwise_or | expression ':' expression)+ [','], up to `}`
void Parser::parse_dict_items(ListBuilder<DictItem>& items) {
  do {
    if (at(TokenKind::RightBrace)) break;
    if (eat(TokenKind::DoubleStar)) {
      items.push_back(DictItem{nullptr, parse_binary(1)});
      continue;
    }
    Expr* key = parse_expression();
    expect(TokenKind::Colon);
    items.push_back(DictItem{key, parse_expression()});
  } while (eat(TokenKind::Comma) && !failed());
}

/// dict | set | dictcomp | setcomp: '{' ... '}'
Expr* Parser::parse_brace_display() {
  DepthGuard guard(*this);
  if (!guard) return placeholder();
  const uint32_t start = this->start();
  bump();
  if (eat(TokenKind::RightBrace)) return expr<Dict>(from(start), Span<DictItem>());
  auto comprehension_follows = [&] {
    return at(TokenKind::For) || (at(TokenKind::Async) && peek().kind == TokenKind::For);
  };
  if (!at(TokenKind::DoubleStar) && !at(TokenKind::Star)) {
    // First element: a key or a set element.
    const uint32_t first_start = this->start();
    Expr* first = parse_named_expression();
    if (failed()) return first;
    if (!at(TokenKind::Colon)) {
      // A set.
      if (comprehension_follows()) {
        Span<Comprehension> generators = parse_comprehension_clauses();
        expect(TokenKind::RightBrace);
        return expr<SetComp>(from(start), first, generators);
      }
      const size_t base = expr_stack_.size();
      expr_stack_.push_back(first);
      while (eat(TokenKind::Comma) && !at(TokenKind::RightBrace) && !failed()) {
        expr_stack_.push_back(parse_star_named_expression());
      }
      expect(TokenKind::RightBrace);
      Span<Expr*> elts = take(expr_stack_, base);
      return expr<Set>(from(start), elts);
    }
    if (first->kind == ExprKind::NamedExpr && first->range.start == first_start) {
      fail_at_token(ParseErrorKind::UnexpectedToken);
      return first;
    }
    bump();
    Expr* value = parse_expression();
    if (comprehension_follows()) {
      Span<Comprehension> generators = parse_comprehension_clauses();
      expect(TokenKind::RightBrace);
      return expr<DictComp>(from(start), first, value, generators);
    }
    auto items = list<DictItem>();
    items.push_back(DictItem{first, value});
    if (eat(TokenKind::Comma)) parse_dict_items(items);
    expect(TokenKind::RightBrace);
    return expr<Dict>(from(start), items.take(arena_));
  }
  if (at(TokenKind::DoubleStar)) {
    auto items = list<DictItem>();
    parse_dict_items(items);
    expect(TokenKind::RightBrace);
    return expr<Dict>(from(start), items.take(arena_));
  }
  // A set starting with a starred element.
  const size_t base = expr_stack_.size();
  do {
    if (at(TokenKind::RightBrace)) break;
    expr_stack_.push_back(parse_star_named_expression());
  } while (eat(TokenKind::Comma) && !failed());
  expect(TokenKind::RightBrace);
  Span<Expr*> elts = take(expr_stack_, base);
  return expr<Set>(from(start), elts);
}

}  // namespace pysyntax::parser
