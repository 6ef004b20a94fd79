// The recursive-descent parser over the token buffer. One class, its members split across one
// file per grammar area (statements, expressions, targets, patterns, strings). Parse functions
// are named after CPython's grammar rules. The first error stops the parse: it is recorded,
// the cursor jumps to the EndOfFile token, and every function returns a placeholder node, so
// callers never see null where a node is required and every loop ends.
#pragma once

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "lexer/token_buffer.h"
#include "pysyntax/parse.h"

namespace pysyntax::parser {

using lexer::Token;

/// A child list under construction. Its elements live on a stack shared by the whole parse,
/// so nested lists (a call inside a call's arguments) need no allocation of their own; the
/// list ends at `take`, or at scope exit, which pops what it pushed.
template <class T>
class ListBuilder {
 public:
  explicit ListBuilder(std::vector<T>& stack) : stack_(stack), base_(stack.size()) {}
  ~ListBuilder() { stack_.resize(base_); }
  ListBuilder(const ListBuilder&) = delete;
  ListBuilder& operator=(const ListBuilder&) = delete;

  void push_back(const T& value) { stack_.push_back(value); }
  size_t size() const { return stack_.size() - base_; }
  bool empty() const { return stack_.size() == base_; }
  T& operator[](size_t i) { return stack_[base_ + i]; }
  void clear() { stack_.resize(base_); }
  /// Copies the elements from `first` on into the arena.
  Span<T> take(Arena& arena, size_t first = 0) {
    return arena.copy(stack_.data() + base_ + first, size() - first);
  }
  Span<T> take_range(Arena& arena, size_t first, size_t last) {
    return arena.copy(stack_.data() + base_ + first, last - first);
  }

 private:
  std::vector<T>& stack_;
  size_t base_;
};

template <class... Ts>
struct ListStacks {
  std::tuple<std::vector<Ts>...> stacks;
  template <class T>
  std::vector<T>& get() {
    return std::get<std::vector<T>>(stacks);
  }
};

class Parser {
 public:
  /// `tokens` ends with EndOfFile.
  Parser(std::string_view text, const lexer::TokenStore& tokens, Arena& arena)
      : text_(text), tokens_(tokens.begin()), token_count_(tokens.size()), arena_(arena) {}

  /// file: [statements] ENDMARKER
  Module* parse_file();
  const std::optional<ParseError>& error() const { return error_; }

 private:
  friend class DepthGuard;

  // --- primitives (parser.cpp)
  const Token& tok() const { return tokens_[pos_]; }
  const Token& peek(uint32_t n = 1) const {
    size_t i = pos_ + n;
    return tokens_[i < token_count_ ? i : token_count_ - 1];
  }
  TokenKind kind() const { return tokens_[pos_].kind; }
  bool at(TokenKind k) const { return kind() == k; }
  bool at_name(std::string_view word) const { return at(TokenKind::Name) && text_of(tok()) == word; }
  std::string_view text_of(const Token& t) const { return {text_.data() + t.start, t.end - t.start}; }
  const Token& bump() {
    const Token& t = tokens_[pos_];
    // Line structure tokens do not end a node: a compound statement ends with its body.
    if (t.kind > TokenKind::Dedent) last_end_ = t.end;
    if (t.kind != TokenKind::EndOfFile) ++pos_;
    return t;
  }
  bool eat(TokenKind k) {
    if (!at(k)) return false;
    bump();
    return true;
  }
  bool expect(TokenKind k);
  bool failed() const { return error_.has_value(); }
  void fail(ParseErrorKind kind, Range range);
  void fail_at_token(ParseErrorKind kind);
  void fail_expected(TokenKind expected);
  uint32_t start() const { return tok().start; }
  Range from(uint32_t start) const { return {start, last_end_ > start ? last_end_ : start}; }

  template <class T, class... Fields>
  T* expr(Range range, Fields&&... fields) {
    T* node = arena_.make<T>(T{{T::kKind, ExprContext::Load, 1, range}, std::forward<Fields>(fields)...});
    // The most frequent nodes read their children's heights directly; the rest walk them.
    if constexpr (std::is_same_v<T, Name> || std::is_same_v<T, StringLiteral> || std::is_same_v<T, BytesLiteral> ||
                  std::is_same_v<T, IntLiteral> || std::is_same_v<T, FloatLiteral> ||
                  std::is_same_v<T, ComplexLiteral> || std::is_same_v<T, BooleanLiteral> ||
                  std::is_same_v<T, NoneLiteral> || std::is_same_v<T, EllipsisLiteral>) {
      // A leaf keeps height 1.
    } else if constexpr (std::is_same_v<T, Attribute> || std::is_same_v<T, Starred> || std::is_same_v<T, Await>) {
      set_height(node, node->value->height);
    } else if constexpr (std::is_same_v<T, UnaryOp>) {
      set_height(node, node->operand->height);
    } else if constexpr (std::is_same_v<T, BinOp>) {
      set_height(node, std::max(node->left->height, node->right->height));
    } else if constexpr (std::is_same_v<T, Subscript>) {
      set_height(node, std::max(node->value->height, node->slice->height));
    } else if constexpr (std::is_same_v<T, Call>) {
      uint32_t tallest = node->func->height;
      for (const Argument& argument : node->arguments) tallest = std::max<uint32_t>(tallest, argument.value->height);
      set_height(node, tallest);
    } else if constexpr (std::is_same_v<T, Tuple> || std::is_same_v<T, List> || std::is_same_v<T, Set>) {
      set_height(node, tallest_of(node->elts, 0));
    } else if constexpr (std::is_same_v<T, Compare>) {
      set_height(node, tallest_of(node->comparators, node->left->height));
    } else if constexpr (std::is_same_v<T, BoolOp>) {
      set_height(node, tallest_of(node->values, 0));
    } else {
      finish_expr(node);
    }
    return node;
  }
  /// The greater of `height` and the heights of `exprs`.
  static uint32_t tallest_of(Span<Expr*> exprs, uint32_t height) {
    for (const Expr* e : exprs) height = std::max<uint32_t>(height, e->height);
    return height;
  }
  /// Sets the height of a node whose tallest child is `child_height` high, failing beyond the bound.
  void set_height(Expr* node, uint32_t child_height) {
    if (child_height + 1 > kMaxExpressionHeight) {
      fail(ParseErrorKind::NestingTooDeep, node->range);
      node->height = kMaxExpressionHeight;
      return;
    }
    node->height = static_cast<uint16_t>(child_height + 1);
  }
  template <class T, class... Fields>
  T* stmt(Range range, Fields&&... fields) {
    return arena_.make<T>(T{{T::kKind, range}, std::forward<Fields>(fields)...});
  }
  template <class T, class... Fields>
  T* pattern(Range range, Fields&&... fields) {
    return arena_.make<T>(T{{T::kKind, range}, std::forward<Fields>(fields)...});
  }
  void finish_expr(Expr* node);
  Expr* placeholder();

  template <class T>
  ListBuilder<T> list() {
    return ListBuilder<T>(lists_.get<T>());
  }

  template <class T>
  Span<T> take(std::vector<T>& stack, size_t base) {
    Span<T> span = arena_.copy(stack.data() + base, stack.size() - base);
    stack.resize(base);
    return span;
  }

  Identifier identifier(const Token& t) {
    if (t.flags & lexer::kNameNonAscii) [[unlikely]] return normalized_identifier(t);
    return Identifier{text_of(t), t.range()};
  }
  Identifier normalized_identifier(const Token& t);
  Identifier expect_identifier();

  struct Snapshot {
    uint32_t pos;
    uint32_t last_end;
    size_t exprs, stmts, args;
  };
  Snapshot snapshot() const { return {pos_, last_end_, expr_stack_.size(), stmt_stack_.size(), arg_stack_.size()}; }
  void restore(const Snapshot& s);

  // --- statements (statements.cpp)
  Span<Stmt*> parse_statements_until_dedent();
  void parse_statement(std::vector<Stmt*>& out);
  void parse_simple_statements(std::vector<Stmt*>& out);
  Stmt* parse_simple_statement();
  Stmt* parse_expression_statement();
  Span<Stmt*> parse_block();
  Span<Stmt*> parse_colon_block();
  Span<Stmt*> parse_else_block();
  Stmt* parse_decorated();
  Stmt* parse_function_def(uint32_t start, Span<Decorator> decorators, bool is_async);
  Stmt* parse_class_def(uint32_t start, Span<Decorator> decorators);
  Stmt* parse_if();
  Stmt* parse_while();
  Stmt* parse_for(uint32_t start, bool is_async);
  Stmt* parse_with(uint32_t start, bool is_async);
  bool parse_with_items(bool parenthesized, ListBuilder<WithItem>& items);
  Stmt* parse_try();
  Stmt* parse_match_or_expression();
  Stmt* parse_import();
  Stmt* parse_from_import();
  Identifier parse_dotted_name();
  Stmt* parse_global(bool nonlocal);
  Stmt* parse_type_alias();
  Span<TypeParam> parse_type_params();
  const Parameters* parse_parameters(TokenKind closer, bool lambda);

  // --- expressions (expressions.cpp)
  /// A primary already parsed at the start of an expression, handed down the operator levels
  /// to the one that would have parsed it.
  struct Head {
    uint32_t start;
    Expr* primary;
  };
  Expr* parse_star_expressions();        // tuple of star_expression
  Expr* parse_star_expression();
  Expr* parse_star_named_expression();
  Expr* parse_bool_operation(TokenKind op_token, const Head* head);
  void parse_dict_items(ListBuilder<DictItem>& items);
  Expr* parse_star_named_expressions_tuple();
  Expr* parse_named_expression();
  Expr* parse_expression();
  Expr* parse_disjunction(const Head* head = nullptr);
  Expr* parse_conjunction(const Head* head = nullptr);
  Expr* parse_inversion(const Head* head = nullptr);
  Expr* parse_comparison(const Head* head = nullptr);
  Expr* parse_binary(int min_power, const Head* head = nullptr);
  Expr* parse_factor();
  Expr* parse_power(const Head* head = nullptr);
  Expr* parse_primary();
  Expr* parse_atom();
  Expr* parse_parenthesized();
  Expr* parse_list_display();
  Expr* parse_brace_display();
  Expr* parse_lambda();
  Expr* parse_yield();
  Expr* parse_yield_or_star_expressions();
  Expr* parse_slices();
  Expr* parse_slice();
  Span<Comprehension> parse_comprehension_clauses();
  Span<Argument> parse_arguments(TokenKind closer, Range* range_out);
  Expr* parse_number();
  Expr* parse_star_targets();
  Expr* parse_target_item();

  // --- targets (targets.cpp)
  enum class TargetRule { Assign, Augmented, Annotated, Delete, NamedExpr };
  bool check_target(Expr* target, TargetRule rule);
  bool check_annotated_prefix(const Expr* target, uint32_t start);
  void set_context(Expr* target, ExprContext ctx);

  // --- strings (strings.cpp)
  Expr* parse_strings();
  bool parse_fstring(ListBuilder<InterpolatedPart>& parts, StringFlags flags);
  bool parse_fstring_elements(ListBuilder<InterpolatedElement>& out, bool in_specifier, bool raw);
  bool parse_replacement_field(ListBuilder<InterpolatedElement>& out, bool raw);
  void strip_field_comments(uint32_t open_index);
  std::string_view debug_text_of(uint32_t begin, uint32_t end);
  std::optional<std::string_view> decode(std::string_view body, uint32_t body_offset, bool bytes, bool raw,
                                         bool in_fstring);
  /// The value of one STRING token: its body between prefix and quotes, decoded.
  std::optional<std::string_view> decode_string_token(const Token& t);

  // --- patterns (patterns.cpp)
  Pattern* parse_patterns();
  Pattern* parse_pattern();
  Pattern* parse_or_pattern();
  Pattern* parse_closed_pattern();
  Pattern* parse_sequence_pattern(TokenKind closer, uint32_t start);
  Pattern* parse_mapping_pattern();
  Pattern* parse_maybe_star_pattern();
  Expr* parse_value_expr_in_pattern(bool* is_value);
  Pattern* placeholder_pattern();

  std::string_view text_;
  const Token* tokens_;
  size_t token_count_;
  Arena& arena_;
  uint32_t pos_ = 0;
  uint32_t last_end_ = 0;
  uint32_t depth_ = 0;
  static constexpr uint32_t kNoField = UINT32_MAX;
  /// The token index of the `{` of the outermost replacement field being parsed, or kNoField.
  uint32_t outermost_field_ = kNoField;
  /// The outermost field last read for the debug fields inside it (strip_field_comments).
  struct FieldText {
    uint32_t open_index = kNoField;
    uint32_t begin = 0;                  ///< the offset after its `{`
    std::string_view stripped;           ///< its text without comments (a view of the source when it has none)
    std::vector<uint32_t> comment_ends;  ///< where each removed comment ends, in order
    std::vector<uint32_t> removed;       ///< the bytes removed up to the end of each of them
  } field_text_;
  std::optional<ParseError> error_;
  std::vector<Expr*> expr_stack_;
  std::vector<Stmt*> stmt_stack_;
  std::vector<Argument> arg_stack_;
  std::string scratch_;
  ListStacks<Expr*, Pattern*, CompareOperator, Comprehension, DictItem, PatternKeyword, Decorator, ElifElseClause,
             WithItem, ExceptHandler, MatchCase, Alias, Identifier, TypeParam, Parameter, StringPart,
             InterpolatedPart, InterpolatedElement>
      lists_;
};

/// One level of parser recursion, counted before the parser descends into it. Every cycle of
/// parse functions passes through one, so the recursion never goes deeper than the bound,
/// whatever the input. Beyond the bound the parse fails with NestingTooDeep and the guard is
/// false; the caller must then return at once, without descending:
///
///   DepthGuard guard(*this);
///   if (!guard) return placeholder();
class DepthGuard {
 public:
  explicit DepthGuard(Parser& parser) : parser_(parser) {
    if (++parser_.depth_ > kMaxNestingDepth) parser_.fail(ParseErrorKind::NestingTooDeep, parser_.tok().range());
  }
  ~DepthGuard() { --parser_.depth_; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;

  /// False once the parse has failed, at this level or before it: nothing is left to descend into.
  explicit operator bool() const { return !parser_.failed(); }

 private:
  Parser& parser_;
};

}  // namespace pysyntax::parser
