// Parser primitives (cursor, errors, node finishing) and the entry point `parse_module`.
#include "parser/parser.h"

#include <algorithm>

#include "literals/literals.h"
#include "pysyntax/visitor.h"

namespace pysyntax::parser {
namespace {

/// Reads the heights of an expression's direct children.
struct ChildHeights : SourceOrderVisitor<ChildHeights> {
  uint32_t max = 0;
  bool enter_expr(const Expr& e) {
    max = std::max<uint32_t>(max, e.height);
    return false;
  }
};

}  // namespace

void Parser::fail(ParseErrorKind kind, Range range) {
  if (failed()) return;
  const uint32_t size = static_cast<uint32_t>(text_.size());
  if (range.end > size) range.end = size;
  if (range.start > range.end) range.start = range.end;
  ParseError error;
  error.kind = kind;
  error.range = range;
  error.found = tok().kind;
  error_ = error;
  pos_ = static_cast<uint32_t>(token_count_ - 1);
}

void Parser::fail_at_token(ParseErrorKind kind) { fail(kind, tok().range()); }

void Parser::fail_expected(TokenKind expected) {
  if (failed()) return;
  const TokenKind found = kind();
  fail(ParseErrorKind::ExpectedToken, tok().range());
  error_->expected = expected;
  error_->found = found;
}

bool Parser::expect(TokenKind k) {
  if (eat(k)) return true;
  fail_expected(k);
  return false;
}

void Parser::restore(const Snapshot& s) {
  pos_ = s.pos;
  last_end_ = s.last_end;
  expr_stack_.resize(s.exprs);
  stmt_stack_.resize(s.stmts);
  arg_stack_.resize(s.args);
  error_.reset();
}

void Parser::finish_expr(Expr* node) {
  ChildHeights heights;
  heights.walk_expr(*node);
  set_height(node, heights.max);
}

Expr* Parser::placeholder() {
  Range here{tok().start, tok().start};
  return arena_.make<Name>(Name{{ExprKind::Name, ExprContext::Load, 1, here}, std::string_view("_")});
}

Identifier Parser::normalized_identifier(const Token& t) {
  std::string_view text = text_of(t);
  scratch_.clear();
  if (literals::normalize_identifier(text, scratch_)) text = arena_.copy(scratch_);
  return Identifier{text, t.range()};
}

Identifier Parser::expect_identifier() {
  if (!at(TokenKind::Name)) {
    fail_expected(TokenKind::Name);
    return Identifier{"_", tok().range()};
  }
  return identifier(bump());
}

Module* Parser::parse_file() {
  const size_t base = stmt_stack_.size();
  while (!at(TokenKind::EndOfFile) && !failed()) {
    const uint32_t before = pos_;
    parse_statement(stmt_stack_);
    if (pos_ == before && !failed()) fail_at_token(ParseErrorKind::UnexpectedToken);
  }
  Span<Stmt*> body = take(stmt_stack_, base);
  return arena_.make<Module>(Module{{0, static_cast<uint32_t>(text_.size())}, body});
}

}  // namespace pysyntax::parser

namespace pysyntax {

ParseResult parse_module(std::string_view text, Arena& arena) {
  lexer::TokenBuffer buffer = lexer::tokenize(text);
  parser::Parser parser(text, buffer.tokens, arena);
  Module* module = parser.parse_file();
  std::optional<ParseError> error = parser.error();
  if (buffer.error) {
    if (!error || buffer.error->range.start <= error->range.start) {
      ParseError lexical;
      lexical.kind = ParseErrorKind::Lexical;
      lexical.lexical = buffer.error->kind;
      lexical.range = buffer.error->range;
      error = lexical;
    }
  }
  if (error) return {nullptr, error};
  return {module, std::nullopt};
}

}  // namespace pysyntax
