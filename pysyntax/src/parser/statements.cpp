// Statements: simple statements, blocks and every compound statement except `match` cases'
// patterns (patterns.cpp).
#include "parser/parser.h"

namespace pysyntax::parser {

/// statements: statement+ (inside an indented block, up to its Dedent)
Span<Stmt*> Parser::parse_statements_until_dedent() {
  const size_t base = stmt_stack_.size();
  while (!at(TokenKind::Dedent) && !at(TokenKind::EndOfFile) && !failed()) {
    const uint32_t before = pos_;
    parse_statement(stmt_stack_);
    if (pos_ == before && !failed()) fail_at_token(ParseErrorKind::UnexpectedToken);
  }
  return take(stmt_stack_, base);
}

/// block: NEWLINE INDENT statements DEDENT | simple_stmts
Span<Stmt*> Parser::parse_block() {
  DepthGuard guard(*this);
  if (!guard) return {};
  if (eat(TokenKind::Newline)) {
    if (!at(TokenKind::Indent)) {
      fail_at_token(ParseErrorKind::ExpectedIndentedBlock);
      return {};
    }
    bump();
    Span<Stmt*> body = parse_statements_until_dedent();
    if (!failed()) expect(TokenKind::Dedent);
    return body;
  }
  const size_t base = stmt_stack_.size();
  parse_simple_statements(stmt_stack_);
  return take(stmt_stack_, base);
}

/// statement: compound_stmt | simple_stmts
void Parser::parse_statement(std::vector<Stmt*>& out) {
  const uint32_t start = this->start();
  switch (kind()) {
    case TokenKind::Indent:
      fail_at_token(ParseErrorKind::UnexpectedIndentation);
      return;
    case TokenKind::Def:
      out.push_back(parse_function_def(start, {}, false));
      return;
    case TokenKind::Class:
      out.push_back(parse_class_def(start, {}));
      return;
    case TokenKind::At:
      out.push_back(parse_decorated());
      return;
    case TokenKind::If:
      out.push_back(parse_if());
      return;
    case TokenKind::While:
      out.push_back(parse_while());
      return;
    case TokenKind::For:
      out.push_back(parse_for(start, false));
      return;
    case TokenKind::With:
      out.push_back(parse_with(start, false));
      return;
    case TokenKind::Try:
      out.push_back(parse_try());
      return;
    case TokenKind::Async:
      switch (peek().kind) {
        case TokenKind::Def:
          bump();
          out.push_back(parse_function_def(start, {}, true));
          return;
        case TokenKind::For:
          bump();
          out.push_back(parse_for(start, true));
          return;
        case TokenKind::With:
          bump();
          out.push_back(parse_with(start, true));
          return;
        default:
          break;
      }
      break;
    case TokenKind::Name:
      if (at_name("match")) {
        const TokenKind next = peek().kind;
        if (next != TokenKind::Equal && next != TokenKind::Dot && next != TokenKind::Newline &&
            next != TokenKind::Colon && next != TokenKind::Comma && next != TokenKind::Semicolon) {
          if (Stmt* s = parse_match_or_expression()) {
            out.push_back(s);
            return;
          }
        }
      }
      break;
    default:
      break;
  }
  parse_simple_statements(out);
}

/// simple_stmts: simple_stmt (';' simple_stmt)* [';'] NEWLINE
void Parser::parse_simple_statements(std::vector<Stmt*>& out) {
  for (;;) {
    if (failed()) return;
    out.push_back(parse_simple_statement());
    if (failed()) return;
    if (eat(TokenKind::Semicolon)) {
      if (at(TokenKind::Newline)) break;
      continue;
    }
    break;
  }
  if (!at(TokenKind::Newline)) {
    if (at(TokenKind::EndOfFile)) return;  // only after a lexical error: it is reported instead
    fail_expected(TokenKind::Newline);
    return;
  }
  bump();
}

/// simple_stmt
Stmt* Parser::parse_simple_statement() {
  const uint32_t start = this->start();
  switch (kind()) {
    case TokenKind::Pass:
      bump();
      return stmt<Pass>(from(start));
    case TokenKind::Break:
      bump();
      return stmt<Break>(from(start));
    case TokenKind::Continue:
      bump();
      return stmt<Continue>(from(start));
    case TokenKind::Return: {
      bump();
      Expr* value = nullptr;
      if (!at(TokenKind::Newline) && !at(TokenKind::Semicolon) && !at(TokenKind::EndOfFile))
        value = parse_star_expressions();
      return stmt<Return>(from(start), value);
    }
    case TokenKind::Raise: {
      bump();
      Expr* exc = nullptr;
      Expr* cause = nullptr;
      if (!at(TokenKind::Newline) && !at(TokenKind::Semicolon) && !at(TokenKind::EndOfFile)) {
        exc = parse_expression();
        if (eat(TokenKind::From)) cause = parse_expression();
      }
      return stmt<Raise>(from(start), exc, cause);
    }
    case TokenKind::Global:
    case TokenKind::Nonlocal:
      return parse_global(kind() == TokenKind::Nonlocal);
    case TokenKind::Del: {
      bump();
      const size_t base = expr_stack_.size();
      do {
        if (at(TokenKind::Newline) || at(TokenKind::Semicolon)) break;
        Expr* target = parse_star_expression();
        if (failed()) break;
        if (!check_target(target, TargetRule::Delete)) break;
        expr_stack_.push_back(target);
      } while (eat(TokenKind::Comma));
      if (expr_stack_.size() == base && !failed()) fail_at_token(ParseErrorKind::ExpectedExpression);
      Span<Expr*> targets = take(expr_stack_, base);
      return stmt<Delete>(from(start), targets);
    }
    case TokenKind::Assert: {
      bump();
      Expr* test = parse_expression();
      Expr* msg = eat(TokenKind::Comma) ? parse_expression() : nullptr;
      return stmt<Assert>(from(start), test, msg);
    }
    case TokenKind::Import:
      return parse_import();
    case TokenKind::From:
      return parse_from_import();
    case TokenKind::Name:
      if (at_name("type") && peek().kind == TokenKind::Name &&
          (peek(2).kind == TokenKind::Equal || peek(2).kind == TokenKind::LeftBracket))
        return parse_type_alias();
      break;
    default:
      break;
  }
  return parse_expression_statement();
}

/// assignment | star_expressions | augassign | annotated assignment
Stmt* Parser::parse_expression_statement() {
  const uint32_t start = this->start();
  Expr* first = parse_yield_or_star_expressions();
  if (failed()) return stmt<Pass>(from(start));
  if (at(TokenKind::Equal)) {
    const size_t base = expr_stack_.size();
    expr_stack_.push_back(first);
    Expr* value = nullptr;
    while (eat(TokenKind::Equal)) {
      value = parse_yield_or_star_expressions();
      if (failed()) break;
      if (at(TokenKind::Equal)) expr_stack_.push_back(value);
    }
    for (size_t i = base; i < expr_stack_.size() && !failed(); ++i) check_target(expr_stack_[i], TargetRule::Assign);
    Span<Expr*> targets = take(expr_stack_, base);
    return stmt<Assign>(from(start), targets, value ? value : placeholder());
  }
  if (at(TokenKind::Colon)) {
    bump();
    if (!check_target(first, TargetRule::Annotated) || !check_annotated_prefix(first, start))
      return stmt<Pass>(from(start));
    // A name in parentheses is not simple: its range starts after the statement's `(`.
    const bool simple = first->kind == ExprKind::Name && first->range.start == start;
    Expr* annotation = parse_expression();
    Expr* value = nullptr;
    if (eat(TokenKind::Equal)) value = parse_yield_or_star_expressions();
    return stmt<AnnAssign>(from(start), first, annotation, value, simple);
  }
  BinaryOperator op{};
  bool augmented = true;
  switch (kind()) {
    case TokenKind::PlusEqual: op = BinaryOperator::Add; break;
    case TokenKind::MinusEqual: op = BinaryOperator::Sub; break;
    case TokenKind::StarEqual: op = BinaryOperator::Mult; break;
    case TokenKind::AtEqual: op = BinaryOperator::MatMult; break;
    case TokenKind::SlashEqual: op = BinaryOperator::Div; break;
    case TokenKind::PercentEqual: op = BinaryOperator::Mod; break;
    case TokenKind::AmpersandEqual: op = BinaryOperator::BitAnd; break;
    case TokenKind::VerticalBarEqual: op = BinaryOperator::BitOr; break;
    case TokenKind::CircumflexEqual: op = BinaryOperator::BitXor; break;
    case TokenKind::LeftShiftEqual: op = BinaryOperator::LShift; break;
    case TokenKind::RightShiftEqual: op = BinaryOperator::RShift; break;
    case TokenKind::DoubleStarEqual: op = BinaryOperator::Pow; break;
    case TokenKind::DoubleSlashEqual: op = BinaryOperator::FloorDiv; break;
    default: augmented = false; break;
  }
  if (augmented) {
    bump();
    if (!check_target(first, TargetRule::Augmented)) return stmt<Pass>(from(start));
    Expr* value = parse_yield_or_star_expressions();
    return stmt<AugAssign>(from(start), first, op, value);
  }
  return stmt<ExprStmt>(from(start), first);
}

/// decorators (function_def | class_def)
Stmt* Parser::parse_decorated() {
  const uint32_t start = this->start();
  auto decorators = list<Decorator>();
  while (at(TokenKind::At) && !failed()) {
    const uint32_t at_start = this->start();
    bump();
    Expr* expression = parse_named_expression();
    decorators.push_back(Decorator{from(at_start), expression});
    if (!failed()) expect(TokenKind::Newline);
  }
  Span<Decorator> span = decorators.take(arena_);
  if (failed()) return stmt<Pass>(from(start));
  if (at(TokenKind::Def)) return parse_function_def(start, span, false);
  if (at(TokenKind::Class)) return parse_class_def(start, span);
  if (at(TokenKind::Async) && peek().kind == TokenKind::Def) {
    bump();
    return parse_function_def(start, span, true);
  }
  fail_expected(TokenKind::Def);
  return stmt<Pass>(from(start));
}

/// function_def: 'def' NAME [type_params] '(' [params] ')' ['->' expression] ':' block
Stmt* Parser::parse_function_def(uint32_t start, Span<Decorator> decorators, bool is_async) {
  expect(TokenKind::Def);
  Identifier name = expect_identifier();
  Span<TypeParam> type_params = at(TokenKind::LeftBracket) ? parse_type_params() : Span<TypeParam>();
  const uint32_t open = this->start();
  expect(TokenKind::LeftParen);
  const Parameters* parameters = parse_parameters(TokenKind::RightParen, false);
  if (!parameters) parameters = arena_.make<Parameters>(Parameters{{open, open}, {}, {}, nullptr, {}, nullptr});
  expect(TokenKind::RightParen);
  Expr* returns = eat(TokenKind::Arrow) ? parse_expression() : nullptr;
  Span<Stmt*> body = parse_colon_block();
  return stmt<FunctionDef>(from(start), is_async, name, decorators, type_params, parameters, returns, body);
}

/// class_def: 'class' NAME [type_params] ['(' [arguments] ')'] ':' block
Stmt* Parser::parse_class_def(uint32_t start, Span<Decorator> decorators) {
  expect(TokenKind::Class);
  Identifier name = expect_identifier();
  Span<TypeParam> type_params = at(TokenKind::LeftBracket) ? parse_type_params() : Span<TypeParam>();
  Span<Argument> arguments;
  if (at(TokenKind::LeftParen)) {
    Range range;
    arguments = parse_arguments(TokenKind::RightParen, &range);
    // A base list is no call: `class A(x for x in y):` has no generator argument.
    if (!failed() && arguments.size() == 1 && arguments[0].value->kind == ExprKind::GeneratorExp &&
        arguments[0].value->range.start == range.start) {
      fail(ParseErrorKind::UnparenthesizedGenerator, arguments[0].value->range);
    }
  }
  Span<Stmt*> body = parse_colon_block();
  return stmt<ClassDef>(from(start), name, decorators, type_params, arguments, body);
}

/// ':' block
Span<Stmt*> Parser::parse_colon_block() {
  if (!expect(TokenKind::Colon)) return {};
  return parse_block();
}

/// else_block: 'else' ':' block (empty when there is no `else`)
Span<Stmt*> Parser::parse_else_block() {
  if (failed() || !eat(TokenKind::Else)) return {};
  return parse_colon_block();
}

/// if_stmt: 'if' named_expression ':' block (elif_stmt | else_block)?
Stmt* Parser::parse_if() {
  const uint32_t start = this->start();
  bump();
  Expr* test = parse_named_expression();
  Span<Stmt*> body = parse_colon_block();
  auto clauses = list<ElifElseClause>();
  while (at(TokenKind::Elif) && !failed()) {
    const uint32_t clause_start = this->start();
    bump();
    Expr* clause_test = parse_named_expression();
    Span<Stmt*> clause_body = parse_colon_block();
    clauses.push_back(ElifElseClause{from(clause_start), clause_test, clause_body});
  }
  if (at(TokenKind::Else) && !failed()) {
    const uint32_t clause_start = this->start();
    bump();
    Span<Stmt*> clause_body = parse_colon_block();
    clauses.push_back(ElifElseClause{from(clause_start), nullptr, clause_body});
  }
  return stmt<If>(from(start), test, body, clauses.take(arena_));
}

/// while_stmt: 'while' named_expression ':' block [else_block]
Stmt* Parser::parse_while() {
  const uint32_t start = this->start();
  bump();
  Expr* test = parse_named_expression();
  Span<Stmt*> body = parse_colon_block();
  Span<Stmt*> orelse = parse_else_block();
  return stmt<While>(from(start), test, body, orelse);
}

/// for_stmt: ['async'] 'for' star_targets 'in' star_expressions ':' block [else_block]
Stmt* Parser::parse_for(uint32_t start, bool is_async) {
  expect(TokenKind::For);
  Expr* target = parse_star_targets();
  expect(TokenKind::In);
  Expr* iter = parse_star_expressions();
  Span<Stmt*> body = parse_colon_block();
  Span<Stmt*> orelse = parse_else_block();
  return stmt<For>(from(start), is_async, target, iter, body, orelse);
}

/// with_item: expression ['as' star_target &(',' | ')' | ':')]
bool Parser::parse_with_items(bool parenthesized, ListBuilder<WithItem>& items) {
  for (;;) {
    if (failed()) return false;
    const uint32_t item_start = this->start();
    Expr* context = parse_expression();
    Expr* vars = nullptr;
    if (eat(TokenKind::As)) {
      vars = parse_target_item();
      if (failed()) return false;
      if (!check_target(vars, TargetRule::Assign)) return false;
      if (!at(TokenKind::Comma) && !at(TokenKind::Colon) && !(parenthesized && at(TokenKind::RightParen))) {
        fail_expected(TokenKind::Colon);
        return false;
      }
    }
    items.push_back(WithItem{from(item_start), context, vars});
    if (!eat(TokenKind::Comma)) break;
    if (parenthesized && at(TokenKind::RightParen)) break;
  }
  return !failed();
}

/// with_stmt: ['async'] 'with' ('(' ','.with_item+ ','? ')' | ','.with_item+) ':' block
Stmt* Parser::parse_with(uint32_t start, bool is_async) {
  expect(TokenKind::With);
  auto items = list<WithItem>();
  bool done = false;
  if (at(TokenKind::LeftParen)) {
    // The parenthesised item list is tried first, as CPython does: `with (a, b):` has two
    // items, `with (a, b) as c:` one tuple.
    Snapshot saved = snapshot();
    bump();
    if (parse_with_items(true, items) && eat(TokenKind::RightParen) && at(TokenKind::Colon)) {
      done = true;
    } else {
      restore(saved);
      items.clear();
    }
  }
  if (!done) parse_with_items(false, items);
  Span<Stmt*> body = parse_colon_block();
  return stmt<With>(from(start), is_async, items.take(arena_), body);
}

/// try_stmt: 'try' ':' block (finally_block | except_block+ [else_block] [finally_block]
///           | except_star_block+ [else_block] [finally_block])
Stmt* Parser::parse_try() {
  const uint32_t start = this->start();
  bump();
  Span<Stmt*> body = parse_colon_block();
  auto handlers = list<ExceptHandler>();
  bool any_star = false, any_plain = false;
  while (at(TokenKind::Except) && !failed()) {
    const uint32_t handler_start = this->start();
    bump();
    const bool star = eat(TokenKind::Star);
    if ((star && any_plain) || (!star && any_star)) {
      fail(ParseErrorKind::MixedExceptStar, {handler_start, tok().start});
      break;
    }
    (star ? any_star : any_plain) = true;
    Expr* type = nullptr;
    Identifier name{};
    if (!at(TokenKind::Colon) || star) {
      const uint32_t type_start = this->start();
      type = parse_expression();
      if (at(TokenKind::Comma)) {
        // `except A, B:` (3.14): an unparenthesised tuple of types, without `as`.
        const size_t base = expr_stack_.size();
        expr_stack_.push_back(type);
        while (eat(TokenKind::Comma) && !failed()) {
          if (at(TokenKind::Colon)) break;
          expr_stack_.push_back(parse_expression());
        }
        Span<Expr*> elts = take(expr_stack_, base);
        type = expr<Tuple>(from(type_start), elts, false);
        if (at(TokenKind::As)) {
          fail_at_token(ParseErrorKind::UnexpectedToken);
          break;
        }
      }
      if (eat(TokenKind::As)) name = expect_identifier();
    }
    Span<Stmt*> handler_body = parse_colon_block();
    handlers.push_back(ExceptHandler{from(handler_start), type, name, handler_body});
  }
  Span<Stmt*> orelse, finalbody;
  if (!failed() && !handlers.empty() && eat(TokenKind::Else)) {
    expect(TokenKind::Colon);
    orelse = parse_block();
  }
  if (!failed() && eat(TokenKind::Finally)) {
    expect(TokenKind::Colon);
    finalbody = parse_block();
  } else if (!failed() && handlers.empty()) {
    fail_at_token(ParseErrorKind::MissingExceptOrFinally);
  }
  return stmt<Try>(from(start), body, handlers.take(arena_), orelse, finalbody, any_star);
}

/// match_stmt: "match" subject_expr ':' NEWLINE INDENT case_block+ DEDENT
/// Returns null (with the cursor restored) when the line is not a match statement.
Stmt* Parser::parse_match_or_expression() {
  const uint32_t start = this->start();
  Snapshot saved = snapshot();
  bump();
  Expr* subject = parse_star_named_expressions_tuple();
  if (failed() || !at(TokenKind::Colon) || peek().kind != TokenKind::Newline) {
    restore(saved);
    return nullptr;
  }
  bump();
  bump();
  if (!at(TokenKind::Indent)) {
    fail_at_token(ParseErrorKind::ExpectedIndentedBlock);
    return stmt<Pass>(from(start));
  }
  bump();
  auto cases = list<MatchCase>();
  while (!at(TokenKind::Dedent) && !at(TokenKind::EndOfFile) && !failed()) {
    const uint32_t case_start = this->start();
    if (!at_name("case")) {
      fail_expected(TokenKind::Name);
      break;
    }
    bump();
    Pattern* pattern = parse_patterns();
    Expr* guard = eat(TokenKind::If) ? parse_named_expression() : nullptr;
    Span<Stmt*> body = parse_colon_block();
    cases.push_back(MatchCase{from(case_start), pattern, guard, body});
  }
  if (!failed()) expect(TokenKind::Dedent);
  return stmt<Match>(from(start), subject, cases.take(arena_));
}

/// dotted_name: NAME ('.' NAME)*, joined with "." whatever the spacing
Identifier Parser::parse_dotted_name() {
  const uint32_t start = this->start();
  Identifier first = expect_identifier();
  if (!at(TokenKind::Dot)) return first;
  bool contiguous = !(tokens_[pos_ - 1].flags & lexer::kNameNonAscii) || first.id.data() == text_.data() + start;
  std::string joined(first.id);
  while (at(TokenKind::Dot) && !failed()) {
    if (tok().start != last_end_) contiguous = false;
    bump();
    if (at(TokenKind::Name) && tok().start != last_end_) contiguous = false;
    Identifier part = expect_identifier();
    if (part.id.data() != text_.data() + part.range.start) contiguous = false;
    joined += '.';
    joined += part.id;
  }
  Range range = from(start);
  std::string_view id = contiguous ? text_.substr(range.start, range.end - range.start) : arena_.copy(joined);
  return Identifier{id, range};
}

/// import_name: 'import' dotted_as_names
Stmt* Parser::parse_import() {
  const uint32_t start = this->start();
  bump();
  auto names = list<Alias>();
  do {
    const uint32_t alias_start = this->start();
    Identifier name = parse_dotted_name();
    Identifier asname{};
    if (eat(TokenKind::As)) asname = expect_identifier();
    names.push_back(Alias{from(alias_start), name, asname});
  } while (!failed() && eat(TokenKind::Comma));
  return stmt<Import>(from(start), names.take(arena_));
}

/// import_from: 'from' ('.' | '...')* dotted_name 'import' import_from_targets
///            | 'from' ('.' | '...')+ 'import' import_from_targets
Stmt* Parser::parse_from_import() {
  const uint32_t start = this->start();
  bump();
  uint32_t level = 0;
  while (at(TokenKind::Dot) || at(TokenKind::Ellipsis)) level += at(TokenKind::Dot) ? 1 : 3, bump();
  Identifier module{};
  if (!at(TokenKind::Import) || level == 0) module = parse_dotted_name();
  expect(TokenKind::Import);
  auto names = list<Alias>();
  if (at(TokenKind::Star)) {
    const Token& star = bump();
    names.push_back(Alias{star.range(), Identifier{"*", star.range()}, Identifier{}});
  } else {
    const bool parenthesized = eat(TokenKind::LeftParen);
    do {
      if (parenthesized && at(TokenKind::RightParen)) break;
      if (!parenthesized && !names.empty() && (at(TokenKind::Newline) || at(TokenKind::Semicolon))) {
        fail(ParseErrorKind::TrailingCommaInImport, tokens_[pos_ - 1].range());
        break;
      }
      const uint32_t alias_start = this->start();
      Identifier name = expect_identifier();
      Identifier asname{};
      if (eat(TokenKind::As)) asname = expect_identifier();
      names.push_back(Alias{from(alias_start), name, asname});
    } while (!failed() && eat(TokenKind::Comma));
    if (parenthesized) {
      if (names.empty() && !failed()) fail_at_token(ParseErrorKind::UnexpectedToken);
      expect(TokenKind::RightParen);
    }
  }
  return stmt<ImportFrom>(from(start), module, level, names.take(arena_));
}

/// global_stmt: 'global' ','.NAME+ ; nonlocal_stmt alike
Stmt* Parser::parse_global(bool nonlocal) {
  const uint32_t start = this->start();
  bump();
  auto names = list<Identifier>();
  do names.push_back(expect_identifier());
  while (!failed() && eat(TokenKind::Comma));
  Span<Identifier> span = names.take(arena_);
  if (nonlocal) return stmt<Nonlocal>(from(start), span);
  return stmt<Global>(from(start), span);
}

/// type_alias: "type" NAME [type_params] '=' expression
Stmt* Parser::parse_type_alias() {
  const uint32_t start = this->start();
  bump();
  const Token& name_token = bump();
  Identifier name = identifier(name_token);
  Expr* target = expr<Name>(name.range, name.id);
  target->ctx = ExprContext::Store;
  Span<TypeParam> type_params = at(TokenKind::LeftBracket) ? parse_type_params() : Span<TypeParam>();
  expect(TokenKind::Equal);
  Expr* value = parse_expression();
  return stmt<TypeAlias>(from(start), target, type_params, value);
}

/// type_params: '[' ','.type_param+ [','] ']'
Span<TypeParam> Parser::parse_type_params() {
  bump();
  auto params = list<TypeParam>();
  while (!at(TokenKind::RightBracket) && !failed()) {
    const uint32_t param_start = this->start();
    TypeParamKind kind = TypeParamKind::TypeVar;
    if (eat(TokenKind::Star)) kind = TypeParamKind::TypeVarTuple;
    else if (eat(TokenKind::DoubleStar)) kind = TypeParamKind::ParamSpec;
    Identifier name = expect_identifier();
    Expr* bound = nullptr;
    Expr* default_value = nullptr;
    if (at(TokenKind::Colon)) {
      if (kind != TypeParamKind::TypeVar) {
        fail_at_token(ParseErrorKind::UnexpectedToken);
        break;
      }
      bump();
      bound = parse_expression();
    }
    if (eat(TokenKind::Equal)) default_value = kind == TypeParamKind::TypeVarTuple ? parse_star_expression() : parse_expression();
    params.push_back(TypeParam{from(param_start), kind, name, bound, default_value});
    if (!eat(TokenKind::Comma)) break;
  }
  if (params.empty() && !failed()) fail_at_token(ParseErrorKind::ExpectedExpression);
  expect(TokenKind::RightBracket);
  return params.take(arena_);
}

/// parameters / lambda_parameters, up to (not including) `closer`. Null when there are none.
const Parameters* Parser::parse_parameters(TokenKind closer, bool lambda) {
  const uint32_t start = this->start();
  // One list in source order: [0, slash) positional-only, [slash, star) ordinary, [star, end)
  // keyword-only.
  auto params = list<Parameter>();
  size_t slash = 0, star = SIZE_MAX;
  Parameter* vararg = nullptr;
  Parameter* kwarg = nullptr;
  bool seen_default = false, seen_star = false, seen_slash = false;
  bool bare_star = false;
  uint32_t bare_star_offset = 0;
  while (!at(closer) && !failed()) {
    const uint32_t param_start = this->start();
    if (kwarg) {
      fail_at_token(ParseErrorKind::InvalidParameterList);
      break;
    }
    if (at(TokenKind::Slash)) {
      if (seen_slash || seen_star || params.empty()) {
        fail_at_token(ParseErrorKind::InvalidParameterList);
        break;
      }
      bump();
      seen_slash = true;
      slash = params.size();
      if (!eat(TokenKind::Comma)) break;
      continue;
    }
    if (at(TokenKind::Star)) {
      if (seen_star) {
        fail_at_token(ParseErrorKind::InvalidParameterList);
        break;
      }
      bump();
      seen_star = true;
      star = params.size();
      if (at(TokenKind::Comma) || at(closer)) {
        bare_star = true;
        bare_star_offset = param_start;
        if (at(closer)) {
          fail(ParseErrorKind::InvalidParameterList, {param_start, param_start + 1});
          break;
        }
        bump();
        if (at(TokenKind::DoubleStar) || at(closer)) {
          fail(ParseErrorKind::InvalidParameterList, {param_start, param_start + 1});
          break;
        }
        continue;
      }
      Identifier name = expect_identifier();
      Expr* annotation = nullptr;
      if (!lambda && eat(TokenKind::Colon)) annotation = at(TokenKind::Star) ? parse_star_expression() : parse_expression();
      if (at(TokenKind::Equal)) {
        fail_at_token(ParseErrorKind::InvalidParameterList);
        break;
      }
      vararg = arena_.make<Parameter>(Parameter{from(param_start), name, annotation, nullptr});
      if (!eat(TokenKind::Comma)) break;
      continue;
    }
    if (at(TokenKind::DoubleStar)) {
      bump();
      Identifier name = expect_identifier();
      Expr* annotation = nullptr;
      if (!lambda && eat(TokenKind::Colon)) annotation = parse_expression();
      if (at(TokenKind::Equal)) {
        fail_at_token(ParseErrorKind::InvalidParameterList);
        break;
      }
      kwarg = arena_.make<Parameter>(Parameter{from(param_start), name, annotation, nullptr});
      if (!eat(TokenKind::Comma)) break;
      continue;
    }
    Identifier name = expect_identifier();
    if (failed()) break;
    Expr* annotation = nullptr;
    if (!lambda && eat(TokenKind::Colon)) annotation = parse_expression();
    Expr* default_value = nullptr;
    if (eat(TokenKind::Equal)) {
      default_value = parse_expression();
      if (!seen_star) seen_default = true;
    } else if (seen_default && !seen_star) {
      fail(ParseErrorKind::NonDefaultParameterAfterDefault, from(param_start));
      break;
    }
    params.push_back(Parameter{from(param_start), name, annotation, default_value});
    if (!eat(TokenKind::Comma)) break;
  }
  (void)bare_star_offset;
  if (failed()) return nullptr;
  if (star == SIZE_MAX) star = params.size();
  if (bare_star && star == params.size()) {
    fail(ParseErrorKind::InvalidParameterList, {bare_star_offset, bare_star_offset + 1});
    return nullptr;
  }
  if (params.empty() && !vararg && !kwarg) return nullptr;
  return arena_.make<Parameters>(Parameters{from(start), params.take_range(arena_, 0, slash),
                                            params.take_range(arena_, slash, star), vararg,
                                            params.take_range(arena_, star, params.size()), kwarg});
}

}  // namespace pysyntax::parser
