// `match` patterns: or-patterns, as-patterns, literals (with CPython's signed and complex
// number forms), captures, wildcards, dotted values, groups, sequences, mappings and classes.
#include "parser/parser.h"

namespace pysyntax::parser {

Pattern* Parser::placeholder_pattern() {
  return pattern<MatchAs>(Range{tok().start, tok().start}, nullptr, Identifier{});
}

/// patterns: open_sequence_pattern | pattern
Pattern* Parser::parse_patterns() {
  const uint32_t start = this->start();
  Pattern* first = parse_maybe_star_pattern();
  if (failed()) return first;
  if (!at(TokenKind::Comma)) {
    if (first->kind == PatternKind::MatchStar) fail(ParseErrorKind::InvalidPattern, first->range);
    return first;
  }
  auto items = list<Pattern*>();
    items.push_back(first);
  while (eat(TokenKind::Comma) && !failed()) {
    if (at(TokenKind::Colon) || at(TokenKind::If)) break;
    items.push_back(parse_maybe_star_pattern());
  }
  return pattern<MatchSequence>(from(start), items.take(arena_));
}

/// maybe_star_pattern: '*' (capture_target | '_') | pattern
Pattern* Parser::parse_maybe_star_pattern() {
  if (!at(TokenKind::Star)) return parse_pattern();
  const uint32_t start = this->start();
  bump();
  Identifier name = expect_identifier();
  if (name.id == "_") name = Identifier{};
  return pattern<MatchStar>(from(start), name);
}

/// pattern: or_pattern 'as' pattern_capture_target | or_pattern
Pattern* Parser::parse_pattern() {
  DepthGuard guard(*this);
  if (!guard) return placeholder_pattern();
  const uint32_t start = this->start();
  Pattern* p = parse_or_pattern();
  if (!at(TokenKind::As) || failed()) return p;
  bump();
  Identifier name = expect_identifier();
  if (failed()) return p;
  if (name.id == "_" || at(TokenKind::Dot) || at(TokenKind::LeftParen) || at(TokenKind::Equal)) {
    fail(ParseErrorKind::InvalidPattern, name.range);
    return p;
  }
  return pattern<MatchAs>(from(start), p, name);
}

/// or_pattern: '|'.closed_pattern+
Pattern* Parser::parse_or_pattern() {
  const uint32_t start = this->start();
  Pattern* first = parse_closed_pattern();
  if (!at(TokenKind::VerticalBar)) return first;
  auto alternatives = list<Pattern*>();
    alternatives.push_back(first);
  while (eat(TokenKind::VerticalBar) && !failed()) alternatives.push_back(parse_closed_pattern());
  return pattern<MatchOr>(from(start), alternatives.take(arena_));
}

/// A literal usable as a pattern value or mapping key: signed_number, complex_number, strings,
/// None, True, False. Sets `*is_value` false for the singletons, whose pattern is MatchSingleton.
Expr* Parser::parse_value_expr_in_pattern(bool* is_value) {
  const uint32_t start = this->start();
  *is_value = true;
  switch (kind()) {
    case TokenKind::String:
    case TokenKind::FStringStart:
      return parse_strings();
    case TokenKind::None:
      bump();
      *is_value = false;
      return expr<NoneLiteral>(from(start));
    case TokenKind::True:
    case TokenKind::False: {
      const bool value = at(TokenKind::True);
      bump();
      *is_value = false;
      return expr<BooleanLiteral>(from(start), value);
    }
    case TokenKind::Minus:
    case TokenKind::Int:
    case TokenKind::Float:
    case TokenKind::Complex: {
      const bool negative = eat(TokenKind::Minus);
      if (!at(TokenKind::Int) && !at(TokenKind::Float) && !at(TokenKind::Complex)) {
        fail_at_token(ParseErrorKind::ExpectedPattern);
        return placeholder();
      }
      const bool left_imaginary = at(TokenKind::Complex);
      Expr* value = parse_number();
      if (negative) value = expr<UnaryOp>(from(start), UnaryOperator::USub, value);
      if (!at(TokenKind::Plus) && !at(TokenKind::Minus)) return value;
      const BinaryOperator op = at(TokenKind::Plus) ? BinaryOperator::Add : BinaryOperator::Sub;
      bump();
      if (left_imaginary || !at(TokenKind::Complex)) {
        fail(ParseErrorKind::InvalidPattern, from(start));
        return value;
      }
      Expr* imaginary = parse_number();
      return expr<BinOp>(from(start), value, op, imaginary);
    }
    case TokenKind::Name: {
      // attr: name_or_attr '.' NAME (a bare name is no value)
      Identifier first = identifier(bump());
      Expr* e = expr<Name>(first.range, first.id);
      if (!at(TokenKind::Dot)) {
        fail(ParseErrorKind::InvalidPattern, first.range);
        return e;
      }
      while (eat(TokenKind::Dot) && !failed()) {
        Identifier attr = expect_identifier();
        e = expr<Attribute>(from(start), e, attr);
      }
      return e;
    }
    default:
      fail_at_token(ParseErrorKind::ExpectedPattern);
      return placeholder();
  }
}

/// closed_pattern: literal | capture | wildcard | value | group | sequence | mapping | class
Pattern* Parser::parse_closed_pattern() {
  const uint32_t start = this->start();
  switch (kind()) {
    case TokenKind::Name: {
      Identifier first = identifier(bump());
      Expr* e = expr<Name>(first.range, first.id);
      bool dotted = false;
      while (at(TokenKind::Dot) && !failed()) {
        bump();
        Identifier attr = expect_identifier();
        e = expr<Attribute>(from(start), e, attr);
        dotted = true;
      }
      if (failed()) return placeholder_pattern();
      if (at(TokenKind::LeftParen)) {
        if (!dotted && first.id == "_") {
          fail_at_token(ParseErrorKind::InvalidPattern);
          return placeholder_pattern();
        }
        // class_pattern: name_or_attr '(' [pattern_arguments ','?] ')'
        bump();
        auto positional = list<Pattern*>();
        auto keywords = list<PatternKeyword>();
        while (!at(TokenKind::RightParen) && !failed()) {
          const uint32_t item_start = this->start();
          if (at(TokenKind::Name) && peek().kind == TokenKind::Equal) {
            Identifier attr = identifier(bump());
            bump();
            Pattern* p = parse_pattern();
            keywords.push_back(PatternKeyword{from(item_start), attr, p});
          } else {
            Pattern* p = parse_pattern();
            if (!keywords.empty() && !failed()) {
              fail(ParseErrorKind::InvalidPattern, p->range);
              break;
            }
            positional.push_back(p);
          }
          if (!eat(TokenKind::Comma)) break;
        }
        expect(TokenKind::RightParen);
        return pattern<MatchClass>(from(start), e, positional.take(arena_),
                                   keywords.take(arena_));
      }
      if (dotted) return pattern<MatchValue>(from(start), e);
      if (first.id == "_") return pattern<MatchAs>(from(start), nullptr, Identifier{});
      return pattern<MatchAs>(from(start), nullptr, first);
    }
    case TokenKind::LeftParen: {
      DepthGuard guard(*this);
      if (!guard) return placeholder_pattern();
      bump();
      if (eat(TokenKind::RightParen)) return pattern<MatchSequence>(from(start), Span<Pattern*>());
      Pattern* first = parse_maybe_star_pattern();
      if (at(TokenKind::Comma)) {
        auto items = list<Pattern*>();
    items.push_back(first);
        while (eat(TokenKind::Comma) && !failed()) {
          if (at(TokenKind::RightParen)) break;
          items.push_back(parse_maybe_star_pattern());
        }
        expect(TokenKind::RightParen);
        return pattern<MatchSequence>(from(start), items.take(arena_));
      }
      if (first->kind == PatternKind::MatchStar && !failed()) {
        fail(ParseErrorKind::InvalidPattern, first->range);
        return first;
      }
      expect(TokenKind::RightParen);
      return first;
    }
    case TokenKind::LeftBracket: {
      DepthGuard guard(*this);
      if (!guard) return placeholder_pattern();
      bump();
      auto items = list<Pattern*>();
      while (!at(TokenKind::RightBracket) && !failed()) {
        items.push_back(parse_maybe_star_pattern());
        if (!eat(TokenKind::Comma)) break;
      }
      expect(TokenKind::RightBracket);
      return pattern<MatchSequence>(from(start), items.take(arena_));
    }
    case TokenKind::LeftBrace:
      return parse_mapping_pattern();
    default: {
      bool is_value = true;
      Expr* value = parse_value_expr_in_pattern(&is_value);
      if (failed()) return placeholder_pattern();
      if (is_value) return pattern<MatchValue>(from(start), value);
      Singleton singleton = value->kind == ExprKind::NoneLiteral ? Singleton::None
                            : value->as<BooleanLiteral>().value ? Singleton::True
                                                                : Singleton::False;
      return pattern<MatchSingleton>(from(start), singleton);
    }
  }
}

/// mapping_pattern: '{' [items_pattern ','] ['**' capture_target ','?] '}'
Pattern* Parser::parse_mapping_pattern() {
  DepthGuard guard(*this);
  if (!guard) return placeholder_pattern();
  const uint32_t start = this->start();
  bump();
  auto keys = list<Expr*>();
  auto values = list<Pattern*>();
  Identifier rest{};
  while (!at(TokenKind::RightBrace) && !failed()) {
    if (eat(TokenKind::DoubleStar)) {
      rest = expect_identifier();
      if (rest.id == "_" && !failed()) fail(ParseErrorKind::InvalidPattern, rest.range);
      eat(TokenKind::Comma);
      break;
    }
    bool is_value = true;
    Expr* key = parse_value_expr_in_pattern(&is_value);
    expect(TokenKind::Colon);
    Pattern* value = parse_pattern();
    keys.push_back(key);
    values.push_back(value);
    if (!eat(TokenKind::Comma)) break;
  }
  expect(TokenKind::RightBrace);
  return pattern<MatchMapping>(from(start), keys.take(arena_),
                               values.take(arena_), rest);
}

}  // namespace pysyntax::parser
