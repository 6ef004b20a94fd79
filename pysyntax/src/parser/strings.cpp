// String atoms: implicitly concatenated string, bytes, f-string and t-string literals, their
// escape decoding, and the replacement fields of f- and t-strings.
#include "literals/literals.h"
#include "parser/parser.h"
#include "pysyntax/invariant.h"

namespace pysyntax::parser {
namespace {

uint32_t quote_length(uint8_t flags) { return (flags & StringFlags::kTriple) ? 3 : 1; }

/// The flags of a String token as the tree records them, without the lexer's own bit.
StringFlags string_flags(const Token& t) {
  return StringFlags{static_cast<uint8_t>(uint8_t{t.flags} & ~lexer::kStringPlainBody)};
}

}  // namespace

std::optional<std::string_view> Parser::decode(std::string_view body, uint32_t body_offset, bool bytes, bool raw,
                                               bool in_fstring) {
  if (!literals::body_needs_decoding(body, bytes, raw, in_fstring)) return body;
  scratch_.clear();
  if (auto error = literals::decode_string_body(body, bytes, raw, in_fstring, scratch_)) {
    fail(ParseErrorKind::InvalidStringLiteral,
         {body_offset + error->offset, body_offset + error->offset + error->length});
    error_->string_error = static_cast<uint8_t>(error->kind);
    return std::nullopt;
  }
  return arena_.copy(scratch_);
}

std::optional<std::string_view> Parser::decode_string_token(const Token& t) {
  const uint32_t body_start = t.start + t.prefix_len + quote_length(t.flags);
  const uint32_t body_end = t.end - quote_length(t.flags);
  const std::string_view body = text_.substr(body_start, body_end - body_start);
  const bool bytes = uint8_t{t.flags} & StringFlags::kBytes;
  const bool raw = uint8_t{t.flags} & StringFlags::kRaw;
  // The lexer has already looked for what decoding would change in a text literal; a bytes
  // literal is still checked for non-ASCII bytes.
  if ((uint8_t{t.flags} & lexer::kStringPlainBody) && !bytes) {
    VESK_INVARIANT(!literals::body_needs_decoding(body, false, raw, false),
                   "a string token marked plain has a body that decoding would change");
    return body;
  }
  return decode(body, body_start, bytes, raw, false);
}

/// strings: (STRING | fstring | tstring)+
Expr* Parser::parse_strings() {
  const uint32_t start = this->start();
  if (at(TokenKind::String) && peek().kind != TokenKind::String && peek().kind != TokenKind::FStringStart) {
    // One plain literal, the common case: no concatenation, no lists.
    const Token t = bump();
    const std::optional<std::string_view> value = decode_string_token(t);
    if (!value) return placeholder();
    const StringPart part{t.range(), string_flags(t), *value};
    const Span<StringPart> span = arena_.copy(&part, 1);
    if (uint8_t{t.flags} & StringFlags::kBytes) return expr<BytesLiteral>(from(start), *value, span);
    return expr<StringLiteral>(from(start), *value, span);
  }
  auto plain = list<StringPart>();        // the plain parts, in order
  auto parts = list<InterpolatedPart>();  // every part, once an f- or t-string has been met
  bool any_bytes = false, any_text = false, any_format = false, any_template = false, any_plain_text = false;
  auto as_interpolated = [&](const StringPart& part) {
    Span<InterpolatedElement> elements;
    if (!part.value.empty()) {
      const uint32_t quotes = quote_length(part.flags.bits);
      const uint32_t prefix = static_cast<uint32_t>(
          (part.flags.raw() ? 1 : 0) + (part.flags.unicode() ? 1 : 0) + (part.flags.bytes() ? 1 : 0));
      const Range body{part.range.start + prefix + quotes, part.range.end - quotes};
      InterpolatedElement element{body, nullptr, part.value, {}, Conversion::None, nullptr};
      elements = arena_.copy(&element, 1);
    }
    parts.push_back(InterpolatedPart{part.range, part.flags, elements});
  };
  while ((at(TokenKind::String) || at(TokenKind::FStringStart)) && !failed()) {
    const Token t = tok();
    if (t.kind == TokenKind::FStringStart) {
      if (!any_format && !any_template)
        for (size_t i = 0; i < plain.size(); ++i) as_interpolated(plain[i]);
      const bool is_template = (uint8_t{t.flags} & StringFlags::kTemplate);
      (is_template ? any_template : any_format) = true;
      any_text = true;
      if (!parse_fstring(parts, StringFlags{t.flags})) break;
      continue;
    }
    bump();
    const bool bytes = (uint8_t{t.flags} & StringFlags::kBytes);
    (bytes ? any_bytes : any_text) = true;
    if (!bytes) any_plain_text = true;
    const std::optional<std::string_view> value = decode_string_token(t);
    if (!value) break;
    plain.push_back(StringPart{t.range(), string_flags(t), *value});
    if (any_format || any_template) as_interpolated(plain[plain.size() - 1]);
  }
  const Range range = from(start);
  if (failed()) return placeholder();
  if (any_bytes && any_text) {
    fail(ParseErrorKind::MixedBytesAndNonBytes, range);
    return placeholder();
  }
  if (any_template && (any_format || any_plain_text)) {
    fail(ParseErrorKind::MixedTemplateAndNonTemplate, range);
    return placeholder();
  }
  if (any_template) return expr<TString>(range, parts.take(arena_));
  if (any_format) return expr<FString>(range, parts.take(arena_));
  std::string_view value = plain[0].value;
  if (plain.size() > 1) {
    scratch_.clear();
    for (size_t i = 0; i < plain.size(); ++i) scratch_ += plain[i].value;
    value = arena_.copy(scratch_);
  }
  Span<StringPart> span = plain.take(arena_);
  if (any_bytes) return expr<BytesLiteral>(range, value, span);
  return expr<StringLiteral>(range, value, span);
}

/// fstring: FSTRING_START fstring_middle* FSTRING_END
bool Parser::parse_fstring(ListBuilder<InterpolatedPart>& parts, StringFlags flags) {
  DepthGuard guard(*this);
  if (!guard) return false;
  const uint32_t start = this->start();
  bump();
  auto elements = list<InterpolatedElement>();
  if (!parse_fstring_elements(elements, false, flags.raw())) return false;
  if (!expect(TokenKind::FStringEnd)) return false;
  parts.push_back(InterpolatedPart{from(start), flags, elements.take(arena_)});
  return true;
}

/// fstring_middle*: literal text and replacement fields, up to FSTRING_END (or, in a format
/// specifier, up to the `}` that closes the field)
bool Parser::parse_fstring_elements(ListBuilder<InterpolatedElement>& out, bool in_specifier, bool raw) {
  for (;;) {
    if (failed()) return false;
    if (at(TokenKind::FStringMiddle)) {
      const Token t = bump();
      std::optional<std::string_view> value = decode(text_of(t), t.start, false, raw, true);
      if (!value) return false;
      out.push_back(InterpolatedElement{t.range(), nullptr, *value, {}, Conversion::None, nullptr});
      continue;
    }
    if (at(TokenKind::LeftBrace)) {
      if (!parse_replacement_field(out, raw)) return false;
      continue;
    }
    if (in_specifier ? at(TokenKind::RightBrace) : at(TokenKind::FStringEnd)) return true;
    if (at(TokenKind::EndOfFile)) return false;  // a lexical error ends the tokens here
    fail_expected(in_specifier ? TokenKind::RightBrace : TokenKind::FStringEnd);
    return false;
  }
}

/// Reads the outermost replacement field that opens at token `open_index` once: its text with
/// the comments removed, and where each removed comment ends. Comments sit only in the gaps
/// between the field's tokens; a removed comment leaves its line break.
void Parser::strip_field_comments(uint32_t open_index) {
  FieldText& field = field_text_;
  field.open_index = open_index;
  field.begin = tokens_[open_index].end;
  field.comment_ends.clear();
  field.removed.clear();
  scratch_.clear();
  uint32_t cursor = field.begin;
  uint32_t removed = 0;
  auto gap = [&](uint32_t to) {
    for (uint32_t i = cursor; i < to; ++i) {
      if (text_[i] != '#') {
        scratch_ += text_[i];
        continue;
      }
      const uint32_t comment = i;
      while (i < to && text_[i] != '\n' && text_[i] != '\r') ++i;
      removed += i - comment;
      field.comment_ends.push_back(i);
      field.removed.push_back(removed);
      if (i < to) scratch_ += text_[i];
    }
  };
  // Up to the `}` that closes the field (its braces are tokens, those of `{{` are not), or to
  // the end of the tokens after a lexical error.
  uint32_t depth = 1;
  uint32_t i = open_index + 1;
  for (; tokens_[i].kind != TokenKind::EndOfFile; ++i) {
    const Token& t = tokens_[i];
    if (t.kind == TokenKind::LeftBrace) ++depth;
    if (t.kind == TokenKind::RightBrace && --depth == 0) break;
    gap(t.start);
    scratch_.append(text_.substr(t.start, t.end - t.start));
    cursor = t.end;
  }
  const uint32_t end = tokens_[i].start;
  gap(end);
  field.stripped = removed == 0 ? text_.substr(field.begin, end - field.begin) : arena_.copy(scratch_);
}

/// The text of a debug field (`{expr=}`) from `begin` to `end`, as CPython keeps it: the source
/// with its comments removed. The outermost field is read once and every debug field inside it
/// is a piece of that text: making each one anew would copy nested fields once per level.
std::string_view Parser::debug_text_of(uint32_t begin, uint32_t end) {
  if (field_text_.open_index != outermost_field_) strip_field_comments(outermost_field_);
  const FieldText& field = field_text_;
  if (field.comment_ends.empty()) return text_.substr(begin, end - begin);
  // Neither end lies inside a comment: `begin` follows a `{`, `end` starts a token.
  auto stripped_offset = [&](uint32_t offset) {
    const auto after = std::upper_bound(field.comment_ends.begin(), field.comment_ends.end(), offset);
    const uint32_t removed = after == field.comment_ends.begin() ? 0 : field.removed[after - field.comment_ends.begin() - 1];
    return offset - field.begin - removed;
  };
  const uint32_t from = stripped_offset(begin);
  return field.stripped.substr(from, stripped_offset(end) - from);
}

/// fstring_replacement_field:
///   '{' (yield_expr | star_expressions) ['='] ['!' NAME] [':' fstring_format_spec*] '}'
bool Parser::parse_replacement_field(ListBuilder<InterpolatedElement>& out, bool raw) {
  DepthGuard guard(*this);
  if (!guard) return false;
  const uint32_t pos_of_open = pos_;
  struct OutermostField {
    uint32_t& field;
    const uint32_t enclosing;
    ~OutermostField() { field = enclosing; }
  } outermost{outermost_field_, outermost_field_};
  if (outermost.enclosing == kNoField) outermost_field_ = pos_of_open;
  const Token open = bump();
  switch (kind()) {
    case TokenKind::RightBrace:
    case TokenKind::Exclamation:
    case TokenKind::Colon:
    case TokenKind::Equal:
      fail_at_token(ParseErrorKind::FStringEmptyExpression);
      return false;
    case TokenKind::Lambda:
      fail_at_token(ParseErrorKind::FStringUnparenthesizedLambda);
      return false;
    default:
      break;
  }
  Expr* expression = at(TokenKind::Yield) ? parse_yield() : parse_star_expressions();
  if (failed()) return false;
  std::string_view debug_text;
  if (eat(TokenKind::Equal)) debug_text = debug_text_of(open.end, tok().start);
  Conversion conversion = Conversion::None;
  if (at(TokenKind::Exclamation)) {
    const Token bang = bump();
    if (!at(TokenKind::Name) || tok().start != bang.end) {
      fail(ParseErrorKind::FStringInvalidConversion, bang.range());
      return false;
    }
    std::string_view name = text_of(tok());
    if (name == "s") conversion = Conversion::Str;
    else if (name == "r") conversion = Conversion::Repr;
    else if (name == "a") conversion = Conversion::Ascii;
    else {
      fail_at_token(ParseErrorKind::FStringInvalidConversion);
      return false;
    }
    bump();
  }
  const FormatSpec* specifier = nullptr;
  if (at(TokenKind::Colon)) {
    const Token colon = bump();
    auto elements = list<InterpolatedElement>();
    if (!parse_fstring_elements(elements, true, raw)) return false;
    specifier = arena_.make<FormatSpec>(
        FormatSpec{Range{colon.end, tok().start}, elements.take(arena_)});
  }
  if (!at(TokenKind::RightBrace)) {
    fail_expected(TokenKind::RightBrace);
    return false;
  }
  const Token close = bump();
  out.push_back(InterpolatedElement{Range{open.start, close.end}, expression, {}, debug_text, conversion, specifier});
  return true;
}

}  // namespace pysyntax::parser
