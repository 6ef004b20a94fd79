// The Python lexer: source text to a flat token vector, following CPython 3.13's tokenizer
// (indentation with its tab rules, line continuation, bracket nesting, number forms, string
// ends, and the f-string modes of PEP 701, also used for template strings).
//
// Input contract: `text` is UTF-8; it need not end in a line break. A NUL byte ends the usable
// text with an error, as CPython refuses such source.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "lexer/token_buffer.h"
#include "literals/literals.h"

namespace pysyntax::lexer {
namespace {

/// Bytes that may continue a name (ASCII letters, digits, `_`, and every non-ASCII byte, as
/// CPython's tokenizer takes them before validating the name).
struct NameTable {
  bool continues[256] = {};
  /// What a byte between tokens leads to, one load for the three questions the lexer asks there.
  enum Lead : uint8_t { kToken, kBlank, kName, kSkipped };
  Lead lead[256] = {};
  constexpr NameTable() {
    for (int c = 0; c < 256; ++c) {
      const bool starts = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x80;
      continues[c] = starts || (c >= '0' && c <= '9');
      if (c == ' ' || c == '\t' || c == '\f') {
        lead[c] = kBlank;  // whitespace between tokens
      } else if (starts) {
        lead[c] = kName;
      } else if (c == '#' || c == '\\' || c == '\n' || c == '\r') {
        lead[c] = kSkipped;  // text that gives no token: comment, continuation, line break
      }
    }
  }
};
constexpr NameTable kNames;

constexpr bool is_ident_char(unsigned char c) { return kNames.continues[c]; }
constexpr bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
constexpr bool is_hex(unsigned char c) {
  return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

/// The hard keywords in a table indexed by a hash of their first and last letters and length,
/// which is unique among them: a name is a keyword only if it equals the one in its slot.
struct KeywordTable {
  struct Slot {
    uint64_t word = 0;  ///< the letters in memory order, zero-padded
    uint8_t size = 0;   ///< 0 for an empty slot
    TokenKind kind = TokenKind::Name;
  };
  Slot slots[128] = {};
  bool unique = true;

  static constexpr uint32_t hash(unsigned char first, unsigned char last, size_t size) {
    return (first + last * 11u + static_cast<uint32_t>(size)) & 127u;
  }
  constexpr KeywordTable() {
    const std::string_view spellings[] = {
#define PYSYNTAX_TOKEN(name, spelling)
#define PYSYNTAX_KEYWORD(name, spelling) spelling,
#include "pysyntax/token_kinds.def"
    };
    uint8_t kind = static_cast<uint8_t>(TokenKind::False);
    for (std::string_view word : spellings) {
      Slot& slot = slots[hash(word.front(), word.back(), word.size())];
      if (slot.size != 0) unique = false;
      for (size_t i = 0; i < word.size(); ++i) slot.word |= uint64_t{static_cast<unsigned char>(word[i])} << (8 * i);
      slot.size = static_cast<uint8_t>(word.size());
      slot.kind = static_cast<TokenKind>(kind++);
    }
  }
};
constexpr KeywordTable kKeywords;
static_assert(kKeywords.unique);
static_assert(kKeywords.slots[KeywordTable::hash('y', 'd', 5)].kind == TokenKind::Yield);

/// The keyword that `s` spells, or Name. `readable` bytes from `s.data()` may be read, at
/// least `s.size()`.
inline TokenKind keyword_kind(std::string_view s, size_t readable) {
  if (s.size() < 2 || s.size() > 8) return TokenKind::Name;
  const KeywordTable::Slot& slot = kKeywords.slots[KeywordTable::hash(
      static_cast<unsigned char>(s.front()), static_cast<unsigned char>(s.back()), s.size())];
  if (slot.size != s.size()) return TokenKind::Name;
  uint64_t word = 0;
  if (std::endian::native == std::endian::little && readable >= 8) {
    std::memcpy(&word, s.data(), 8);
    word &= ~uint64_t{0} >> (64 - 8 * s.size());
  } else {
    for (size_t i = 0; i < s.size(); ++i) word |= uint64_t{static_cast<unsigned char>(s[i])} << (8 * i);
  }
  return word == slot.word ? slot.kind : TokenKind::Name;
}

/// The string flags of a prefix (`rb`, `F`, `t`), or nullopt when the letters are no prefix.
std::optional<uint8_t> string_prefix_flags(std::string_view prefix) {
  if (prefix.size() > 2) return std::nullopt;
  uint8_t bits = 0;
  for (char c : prefix) {
    uint8_t bit = 0;
    switch (c) {
      case 'r': case 'R': bit = StringFlags::kRaw; break;
      case 'u': case 'U': bit = StringFlags::kUnicode; break;
      case 'b': case 'B': bit = StringFlags::kBytes; break;
      case 'f': case 'F': bit = StringFlags::kFormat; break;
      case 't': case 'T': bit = StringFlags::kTemplate; break;
      default: return std::nullopt;
    }
    if (bits & bit) return std::nullopt;
    bits |= bit;
  }
  if (prefix.size() == 2 && !(bits & StringFlags::kRaw)) return std::nullopt;  // only r may pair
  if ((bits & StringFlags::kUnicode) && prefix.size() != 1) return std::nullopt;
  return bits;
}

/// The next occurrence of one byte at or after an offset, kept between searches. The lexer only
/// moves forward, so each finder searches every byte of the text at most once: a fresh search
/// for each line or each escape would run to the same far occurrence again and again, quadratic
/// in a text whose line breaks are all `\r`, or a long string full of escapes.
class ByteFinder {
 public:
  explicit ByteFinder(char byte) : byte_(byte) {}

  /// The offset of the first `byte` at or after `i` in `text` up to `end`, or `end`.
  uint32_t find(std::string_view text, uint32_t end, uint32_t i) {
    if (i >= end) return end;
    if (i < searched_from_ || i > found_) {
      const void* p = std::memchr(text.data() + i, byte_, end - i);
      searched_from_ = i;
      found_ = p ? static_cast<uint32_t>(static_cast<const char*>(p) - text.data()) : end;
    }
    return found_;
  }

 private:
  char byte_;
  uint32_t searched_from_ = UINT32_MAX;  ///< no byte in [searched_from_, found_) is `byte_`
  uint32_t found_ = 0;
};

class Lexer {
 public:
  Lexer(std::string_view text, TokenBuffer& out) : text_(text), out_(out) {}

  void run();

 private:
  enum class ModeKind : uint8_t { Body, Field, Specifier };
  /// One level of the f-string mode stack: the literal text of an f-string (Body), a
  /// replacement field lexed as ordinary tokens (Field), or a format specifier's text (Specifier).
  struct Mode {
    ModeKind kind;
    char quote;            ///< the owning f-string's quote character
    bool triple;           ///< the owning f-string is triple-quoted
    bool raw;              ///< the owning f-string is raw
    uint8_t fields;        ///< Field levels open in the owning f-string, this one included
    bool fresh;            ///< Specifier: no replacement field has opened in it yet
    uint32_t bracket_base; ///< Field: index of its `{` in the bracket stack
    uint32_t start;        ///< Body: offset of the f-string's start
  };
  struct Bracket {
    char kind;
    uint32_t offset;
  };

  unsigned char at(uint32_t i) const { return i < end_ ? static_cast<unsigned char>(text_[i]) : 0; }
  void emit(TokenKind kind, uint32_t start, uint32_t end, uint8_t flags = 0, uint8_t prefix_len = 0,
            uint8_t in_specifier = 0) {
    out_.tokens.push_back(
        Token{kind, TokenByte{flags}, TokenByte{prefix_len}, TokenByte{in_specifier}, start, end});
  }
  void fail(LexicalErrorKind kind, uint32_t start, uint32_t end) {
    // Lookahead may run past the text; the range never does.
    const uint32_t size = static_cast<uint32_t>(text_.size());
    if (end > size) end = size;
    if (start > end) start = end;
    if (!failed_) out_.error = LexicalError{kind, {start, end}};
    failed_ = true;
  }
  bool in_field() const { return !modes_.empty() && modes_.back().kind == ModeKind::Field; }
  /// The offset of the next line break (`\n` or a lone `\r`) at or after `i`, or `end_`.
  uint32_t line_end(uint32_t i) { return std::min(next_lf_.find(text_, end_, i), next_cr_.find(text_, end_, i)); }
  /// The offset of the next `quote` or backslash at or after `i`, or `end_`.
  uint32_t quote_or_backslash(uint32_t i, char quote) {
    ByteFinder& quotes = quote == '"' ? next_double_quote_ : next_single_quote_;
    return std::min(quotes.find(text_, end_, i), next_backslash_.find(text_, end_, i));
  }
  uint32_t newline_length(uint32_t i) const {
    if (at(i) == '\n') return 1;
    if (at(i) == '\r') return at(i + 1) == '\n' ? 2 : 1;
    return 0;
  }

  void indentation();
  [[gnu::always_inline]] inline void token();
  void name_or_string();
  [[gnu::noinline]] void name_or_prefix(uint32_t start, uint32_t i, bool non_ascii);
  void string(uint32_t start, uint32_t quote_pos, uint8_t flags);
  void fstring_start(uint32_t start, uint32_t quote_pos, uint8_t flags);
  void fstring_text();
  void number();
  bool number_end(uint32_t i);
  void decimal_tail(uint32_t& i);
  [[gnu::always_inline]] inline void open_bracket(char kind, TokenKind token);
  [[gnu::always_inline]] inline void close_bracket(char kind, TokenKind token);
  void finish();

  std::string_view text_;
  TokenBuffer& out_;
  uint32_t end_ = 0;
  uint32_t pos_ = 0;
  bool failed_ = false;
  bool at_line_start_ = true;
  std::vector<uint32_t> indents_{0};
  std::vector<uint32_t> alt_indents_{0};
  std::vector<Bracket> brackets_;
  std::vector<Mode> modes_;
  uint32_t fstring_depth_ = 0;
  ByteFinder next_lf_{'\n'};
  ByteFinder next_cr_{'\r'};
  ByteFinder next_backslash_{'\\'};
  ByteFinder next_single_quote_{'\''};
  ByteFinder next_double_quote_{'"'};
};

void Lexer::run() {
  if (text_.size() >= 0xFFFFFFFFu) {
    fail(LexicalErrorKind::TextTooLarge, 0, 0);
    emit(TokenKind::EndOfFile, 0, 0);
    return;
  }
  end_ = static_cast<uint32_t>(text_.size());
  if (const void* nul = std::memchr(text_.data(), 0, text_.size())) {
    end_ = static_cast<uint32_t>(static_cast<const char*>(nul) - text_.data());
  }
  if (text_.size() >= 3 && text_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
  out_.tokens.reserve(text_.size() / 4 + 16);
  // Every step either consumes text, emits a token or fails; a step at the end of the text
  // ends the loop.
  while (!failed_) {
    if (pos_ >= end_) break;
    if (!modes_.empty() && modes_.back().kind != ModeKind::Field) {
      fstring_text();
      continue;
    }
    if (at_line_start_ && brackets_.empty()) {
      const uint32_t before = pos_;
      indentation();
      if (failed_) break;
      if (at_line_start_) {
        if (pos_ == before) break;
        continue;  // a blank line was skipped
      }
    }
    if (pos_ >= end_) break;
    token();
  }
  if (!failed_) {
    finish();
  } else {
    uint32_t at_error = out_.error->range.start;
    emit(TokenKind::EndOfFile, at_error, at_error);
  }
}

void Lexer::finish() {
  if (end_ < text_.size()) {
    fail(LexicalErrorKind::NulCharacter, end_, end_ + 1);
    emit(TokenKind::EndOfFile, end_, end_);
    return;
  }
  if (!modes_.empty()) {
    const Mode* body = nullptr;
    for (const Mode& m : modes_)
      if (m.kind == ModeKind::Body) body = &m;
    fail(modes_.back().kind == ModeKind::Body ? LexicalErrorKind::UnterminatedFString
                                              : LexicalErrorKind::FStringUnclosedBrace,
         body->start, end_);
    emit(TokenKind::EndOfFile, end_, end_);
    return;
  }
  if (!brackets_.empty()) {
    fail(LexicalErrorKind::UnclosedBracket, brackets_.back().offset, brackets_.back().offset + 1);
    emit(TokenKind::EndOfFile, end_, end_);
    return;
  }
  if (!at_line_start_) emit(TokenKind::Newline, end_, end_);
  for (size_t i = 1; i < indents_.size(); ++i) emit(TokenKind::Dedent, end_, end_);
  emit(TokenKind::EndOfFile, end_, end_);
}

/// At the start of a line outside brackets: measures the indentation, skips blank and
/// comment-only lines, and emits Indent or Dedent tokens. Tabs advance `col` to the next
/// multiple of 8 and `alt_col` by one; both measures must agree on every comparison, which is
/// how CPython rejects indentation whose meaning depends on the tab size.
void Lexer::indentation() {
  uint32_t col = 0, alt_col = 0;
  uint32_t continuation_col = 0;
  bool continued = false;
  {
    // Spaces only, the common case.
    const char* const base = text_.data();
    uint32_t i = pos_;
    for (uint64_t eight; end_ - i >= 8; i += 8) {  // deep indentation: eight spaces per step
      std::memcpy(&eight, base + i, 8);
      if (eight != 0x2020202020202020u) break;
    }
    while (i < end_ && base[i] == ' ') ++i;
    col = alt_col = i - pos_;
    pos_ = i;
  }
  for (;;) {
    unsigned char c = at(pos_);
    if (pos_ >= end_) break;
    if (c == ' ') {
      ++col, ++alt_col;
    } else if (c == '\t') {
      col = (col / 8 + 1) * 8;
      ++alt_col;
    } else if (c == '\f') {
      col = alt_col = 0;
    } else if (c == '\\' && newline_length(pos_ + 1) != 0) {
      if (!continued) continuation_col = col;
      continued = true;
      pos_ += newline_length(pos_ + 1);
      if (pos_ + 1 >= end_) {
        fail(LexicalErrorKind::EofAfterLineContinuation, pos_, pos_ + 1);
        return;
      }
    } else {
      break;
    }
    ++pos_;
  }
  if (continued) col = continuation_col;
  unsigned char c = at(pos_);
  if (pos_ >= end_) return;  // trailing blank text: finish() closes the open blocks
  if (c == '#' || c == '\n' || c == '\r') {
    pos_ = line_end(pos_);
    pos_ += newline_length(pos_);
    return;  // blank line: still at a line start
  }
  at_line_start_ = false;
  if (col == indents_.back()) {
    if (alt_col != alt_indents_.back()) fail(LexicalErrorKind::InconsistentTabs, pos_, pos_);
  } else if (col > indents_.back()) {
    if (alt_col <= alt_indents_.back()) {
      fail(LexicalErrorKind::InconsistentTabs, pos_, pos_);
      return;
    }
    if (indents_.size() >= kMaxIndentationLevels) {
      fail(LexicalErrorKind::TooManyIndentationLevels, pos_, pos_);
      return;
    }
    indents_.push_back(col);
    alt_indents_.push_back(alt_col);
    emit(TokenKind::Indent, pos_, pos_);
  } else {
    while (indents_.size() > 1 && col < indents_.back()) {
      indents_.pop_back();
      alt_indents_.pop_back();
      emit(TokenKind::Dedent, pos_, pos_);
    }
    if (col != indents_.back()) {
      fail(LexicalErrorKind::InconsistentDedent, pos_, pos_);
    } else if (alt_col != alt_indents_.back()) {
      fail(LexicalErrorKind::InconsistentTabs, pos_, pos_);
    }
  }
}

inline void Lexer::open_bracket(char kind, TokenKind token) {
  if (brackets_.size() >= kMaxBracketDepth) {
    fail(LexicalErrorKind::TooManyNestedBrackets, pos_, pos_ + 1);
    return;
  }
  brackets_.push_back({kind, pos_});
  emit(token, pos_, pos_ + 1);
  ++pos_;
}

inline void Lexer::close_bracket(char kind, TokenKind token) {
  if (brackets_.empty()) {
    fail(LexicalErrorKind::UnmatchedBracket, pos_, pos_ + 1);
    return;
  }
  if (brackets_.back().kind != kind) {
    // Inside a replacement field a stray `}` is the lone brace of f-string text.
    if (kind == '{' && in_field() && brackets_.size() - 1 == modes_.back().bracket_base) {
      fail(LexicalErrorKind::FStringSingleRightBrace, pos_, pos_ + 1);
    } else {
      fail(LexicalErrorKind::MismatchedBracket, pos_, pos_ + 1);
    }
    return;
  }
  brackets_.pop_back();
  emit(token, pos_, pos_ + 1);
  ++pos_;
}

/// One token in ordinary mode (outside f-string text), after the line's indentation.
inline void Lexer::token() {
  // Whitespace, comments, line continuations and (inside brackets) line breaks give no tokens.
  const char* const base = text_.data();
  for (;;) {
    uint32_t i = pos_;
    unsigned char c;
    NameTable::Lead lead;
    for (;; ++i) {
      if (i >= end_) {
        pos_ = i;
        return;
      }
      c = static_cast<unsigned char>(base[i]);
      lead = kNames.lead[c];
      if (lead != NameTable::kBlank) break;
    }
    pos_ = i;
    if (lead == NameTable::kName) return name_or_string();  // the most common token first
    if (lead != NameTable::kSkipped) break;
    if (c == '#') {
      pos_ = line_end(pos_);
    } else if (c == '\\') {
      uint32_t n = newline_length(pos_ + 1);
      if (n == 0) {
        fail(pos_ + 1 >= end_ ? LexicalErrorKind::EofAfterLineContinuation : LexicalErrorKind::LineContinuation,
             pos_, pos_ + 1);
        return;
      }
      pos_ += 1 + n;
      if (pos_ >= end_) {
        fail(LexicalErrorKind::EofAfterLineContinuation, pos_, pos_);
        return;
      }
    } else {  // a line break
      uint32_t n = newline_length(pos_);
      if (brackets_.empty()) {
        emit(TokenKind::Newline, pos_, pos_ + n);
        pos_ += n;
        at_line_start_ = true;
        return;
      }
      pos_ += n;
    }
  }

  const uint32_t start = pos_;
  const unsigned char c = static_cast<unsigned char>(base[start]);  // inside the text
  auto op = [&](TokenKind kind, uint32_t len) __attribute__((always_inline)) {
    emit(kind, start, start + len);
    pos_ = start + len;
  };
  switch (c) {  // the tokens that need no lookahead
    case '(': return open_bracket('(', TokenKind::LeftParen);
    case '[': return open_bracket('[', TokenKind::LeftBracket);
    case '{': return open_bracket('{', TokenKind::LeftBrace);
    case ')': return close_bracket('(', TokenKind::RightParen);
    case ']': return close_bracket('[', TokenKind::RightBracket);
    case '}':
      if (in_field() && brackets_.size() - 1 == modes_.back().bracket_base) {
        brackets_.pop_back();
        modes_.pop_back();
        return op(TokenKind::RightBrace, 1);
      }
      return close_bracket('{', TokenKind::RightBrace);
    case ',': return op(TokenKind::Comma, 1);
    case ';': return op(TokenKind::Semicolon, 1);
    case '~': return op(TokenKind::Tilde, 1);
    case '"':
    case '\'':
      return string(start, start, 0);
    default:
      break;
  }
  const unsigned char c1 = at(pos_ + 1);
  const unsigned char c2 = at(pos_ + 2);
  switch (c) {
    case ':':
      if (in_field() && brackets_.size() - 1 == modes_.back().bracket_base) {
        Mode specifier = modes_.back();
        specifier.kind = ModeKind::Specifier;
        specifier.fresh = true;
        modes_.push_back(specifier);
        return op(TokenKind::Colon, 1);
      }
      return c1 == '=' ? op(TokenKind::ColonEqual, 2) : op(TokenKind::Colon, 1);
    case '+': return c1 == '=' ? op(TokenKind::PlusEqual, 2) : op(TokenKind::Plus, 1);
    case '-':
      if (c1 == '=') return op(TokenKind::MinusEqual, 2);
      if (c1 == '>') return op(TokenKind::Arrow, 2);
      return op(TokenKind::Minus, 1);
    case '*':
      if (c1 == '*') return c2 == '=' ? op(TokenKind::DoubleStarEqual, 3) : op(TokenKind::DoubleStar, 2);
      return c1 == '=' ? op(TokenKind::StarEqual, 2) : op(TokenKind::Star, 1);
    case '/':
      if (c1 == '/') return c2 == '=' ? op(TokenKind::DoubleSlashEqual, 3) : op(TokenKind::DoubleSlash, 2);
      return c1 == '=' ? op(TokenKind::SlashEqual, 2) : op(TokenKind::Slash, 1);
    case '|': return c1 == '=' ? op(TokenKind::VerticalBarEqual, 2) : op(TokenKind::VerticalBar, 1);
    case '&': return c1 == '=' ? op(TokenKind::AmpersandEqual, 2) : op(TokenKind::Ampersand, 1);
    case '^': return c1 == '=' ? op(TokenKind::CircumflexEqual, 2) : op(TokenKind::Circumflex, 1);
    case '%': return c1 == '=' ? op(TokenKind::PercentEqual, 2) : op(TokenKind::Percent, 1);
    case '@': return c1 == '=' ? op(TokenKind::AtEqual, 2) : op(TokenKind::At, 1);
    case '=': return c1 == '=' ? op(TokenKind::EqualEqual, 2) : op(TokenKind::Equal, 1);
    case '!': return c1 == '=' ? op(TokenKind::NotEqual, 2) : op(TokenKind::Exclamation, 1);
    case '<':
      if (c1 == '<') return c2 == '=' ? op(TokenKind::LeftShiftEqual, 3) : op(TokenKind::LeftShift, 2);
      return c1 == '=' ? op(TokenKind::LessEqual, 2) : op(TokenKind::Less, 1);
    case '>':
      if (c1 == '>') return c2 == '=' ? op(TokenKind::RightShiftEqual, 3) : op(TokenKind::RightShift, 2);
      return c1 == '=' ? op(TokenKind::GreaterEqual, 2) : op(TokenKind::Greater, 1);
    case '.':
      if (is_digit(c1)) return number();
      if (c1 == '.' && c2 == '.') return op(TokenKind::Ellipsis, 3);
      return op(TokenKind::Dot, 1);
    default:
      break;
  }
  if (is_digit(c)) return number();
  fail(LexicalErrorKind::InvalidCharacter, start, start + 1);
}

void Lexer::name_or_string() {
  const uint32_t start = pos_;
  const unsigned char* const base = reinterpret_cast<const unsigned char*>(text_.data());
  const unsigned char* p = base + start;
  const unsigned char* const end = base + end_;
  unsigned char high = 0;
#if defined(__SSE2__)
  // Sixteen bytes a step while they lie inside the text; letters, digits, `_` and non-ASCII
  // bytes (the sign bit) continue the name.
  while (end - p >= 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i lower = _mm_or_si128(x, _mm_set1_epi8(0x20));
    const __m128i letter = _mm_and_si128(_mm_cmpgt_epi8(lower, _mm_set1_epi8('a' - 1)),
                                         _mm_cmplt_epi8(lower, _mm_set1_epi8('z' + 1)));
    const __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8('0' - 1)),
                                        _mm_cmplt_epi8(x, _mm_set1_epi8('9' + 1)));
    const __m128i underscore = _mm_cmpeq_epi8(x, _mm_set1_epi8('_'));
    const __m128i in_name = _mm_or_si128(_mm_or_si128(letter, digit), _mm_or_si128(underscore, x));
    // Bit k set when byte k continues the name; the complement has bits above 15 set, so the
    // count below is at most 16.
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(in_name));
    const unsigned taken = static_cast<unsigned>(__builtin_ctz(~mask));
    if (static_cast<unsigned>(_mm_movemask_epi8(x)) & ((1u << taken) - 1)) high = 0x80;
    p += taken;
    if (taken < 16) break;
  }
#endif
  while (p < end && kNames.continues[*p]) high |= *p++;
  const uint32_t i = static_cast<uint32_t>(p - base);
  const unsigned char next = at(i);
  if (high >= 0x80 || next == '"' || next == '\'') [[unlikely]] return name_or_prefix(start, i, high >= 0x80);
  pos_ = i;
  emit(keyword_kind(text_.substr(start, i - start), text_.size() - start), start, i);
}

/// The rarer ends of `name_or_string`, kept out of its way: a name followed by a quote (maybe a
/// string prefix) or one with non-ASCII characters.
void Lexer::name_or_prefix(uint32_t start, uint32_t i, bool non_ascii) {
  std::string_view word = text_.substr(start, i - start);
  unsigned char next = at(i);
  if ((next == '"' || next == '\'') && i < end_) {
    if (auto flags = string_prefix_flags(word)) {
      pos_ = i;
      if (*flags & (StringFlags::kFormat | StringFlags::kTemplate)) return fstring_start(start, i, *flags);
      return string(start, i, *flags);
    }
  }
  pos_ = i;
  if (non_ascii) {
    if (auto bad = literals::find_invalid_identifier_character(word)) {
      fail(LexicalErrorKind::InvalidCharacter, start + bad->offset, start + bad->offset + bad->length);
      return;
    }
    emit(TokenKind::Name, start, i, kNameNonAscii);
    return;
  }
  emit(keyword_kind(word, text_.size() - start), start, i);
}

/// A complete string or bytes literal (not an f-string): finds its closing quote.
void Lexer::string(uint32_t start, uint32_t quote_pos, uint8_t flags) {
  const char quote = static_cast<char>(at(quote_pos));
  const bool triple = at(quote_pos + 1) == quote && at(quote_pos + 2) == quote;
  if (quote == '"') flags |= StringFlags::kDoubleQuote;
  uint32_t i = quote_pos + (triple ? 3 : 1);
  const uint8_t prefix_len = static_cast<uint8_t>(quote_pos - start);
  const uint32_t body_start = i;
  bool plain = true;  // no backslash met yet
  if (triple) {
    flags |= StringFlags::kTriple;
    for (;;) {
      // Jump to the next quote or backslash; everything else is body.
      i = quote_or_backslash(i, quote);
      if (i >= end_) {
        fail(LexicalErrorKind::UnterminatedTripleQuotedString, start, end_);
        return;
      }
      if (text_[i] == '\\') {
        plain = false;
        i += 2;
        continue;
      }
      if (at(i + 1) == quote && at(i + 2) == quote && i + 2 < end_) {
        i += 3;
        break;
      }
      ++i;
    }
  } else {
    for (;;) {
      const char* const base = text_.data();
#if defined(__SSE2__)
      // Sixteen bytes a step while they lie inside the text, up to the first byte that ends
      // the body or starts an escape.
      while (i <= end_ && end_ - i >= 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + i));
        const __m128i stop = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8(quote)), _mm_cmpeq_epi8(x, _mm_set1_epi8('\\'))),
            _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(x, _mm_set1_epi8('\r'))));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(stop));
        if (mask != 0) {
          i += static_cast<uint32_t>(__builtin_ctz(mask));
          break;
        }
        i += 16;
      }
#endif
      while (i < end_) {
        const char ch = base[i];
        if (ch == quote || ch == '\\' || ch == '\n' || ch == '\r') break;
        ++i;
      }
      if (i >= end_ || text_[i] == '\n' || text_[i] == '\r') {
        fail(LexicalErrorKind::UnterminatedString, start, i);
        return;
      }
      if (text_[i] == '\\') {
        if (i + 1 >= end_) {
          fail(LexicalErrorKind::UnterminatedString, start, end_);
          return;
        }
        plain = false;
        i += 1 + (newline_length(i + 1) ? newline_length(i + 1) : 1);
        continue;
      }
      ++i;
      break;
    }
  }
  // A single-quoted body meets a carriage return only after a backslash; a triple-quoted one
  // asks the finder, which searches each byte of the text once, as the lexer only moves forward.
  if (plain && (!triple || next_cr_.find(text_, end_, body_start) >= i)) flags |= kStringPlainBody;
  emit(TokenKind::String, start, i, flags, prefix_len);
  pos_ = i;
}

void Lexer::fstring_start(uint32_t start, uint32_t quote_pos, uint8_t flags) {
  const char quote = static_cast<char>(at(quote_pos));
  const bool triple = at(quote_pos + 1) == quote && at(quote_pos + 2) == quote;
  if (quote == '"') flags |= StringFlags::kDoubleQuote;
  if (triple) flags |= StringFlags::kTriple;
  if (fstring_depth_ + 1 >= kMaxFStringNesting) {
    fail(LexicalErrorKind::TooManyNestedFStrings, start, quote_pos + 1);
    return;
  }
  ++fstring_depth_;
  const uint32_t body = quote_pos + (triple ? 3 : 1);
  emit(TokenKind::FStringStart, start, body, flags, static_cast<uint8_t>(quote_pos - start));
  modes_.push_back(Mode{ModeKind::Body, quote, triple, (flags & StringFlags::kRaw) != 0, 0, false, 0, start});
  pos_ = body;
}

/// Literal text of an f-string body or format specifier, up to the next field, the end of the
/// field (in a specifier), or the closing quote.
void Lexer::fstring_text() {
  Mode& mode = modes_.back();
  const bool specifier = mode.kind == ModeKind::Specifier;
  const uint32_t start = pos_;
  uint32_t i = pos_;
  auto flush = [&](uint32_t to) {
    if (to > start) emit(TokenKind::FStringMiddle, start, to, mode.raw ? StringFlags::kRaw : 0, 0, specifier);
  };
  for (;;) {
    if (i >= end_) {
      pos_ = i;
      return;  // finish() reports the unterminated f-string
    }
    const char ch = text_[i];
    if (ch == mode.quote && (!mode.triple || (at(i + 1) == uint8_t(ch) && at(i + 2) == uint8_t(ch) && i + 2 < end_))) {
      if (specifier) {
        fail(LexicalErrorKind::FStringUnclosedBrace, i, i + 1);
        return;
      }
      flush(i);
      const uint32_t len = mode.triple ? 3 : 1;
      emit(TokenKind::FStringEnd, i, i + len);
      modes_.pop_back();
      --fstring_depth_;
      pos_ = i + len;
      return;
    }
    if ((ch == '\n' || ch == '\r') && !mode.triple) {
      // CPython ends a single-quoted specifier at a line break, back in its field, as long as no
      // field has opened in the specifier; after one the line break is the f-string's end.
      if (specifier && mode.fresh) {
        flush(i);
        modes_.pop_back();
        pos_ = i;
        return;
      }
      fail(LexicalErrorKind::UnterminatedFString, mode.start, i);
      return;
    }
    if (ch == '\\') {
      const unsigned char next = at(i + 1);
      if (next == '{' || next == '}') {
        ++i;
        continue;
      }
      if (!mode.raw && next == 'N' && at(i + 2) == '{') {
        // `\N{NAME}`: the braces belong to the escape, not to a field.
        i += 3;
        while (i < end_ && text_[i] != '}' && text_[i] != mode.quote && text_[i] != '\n' && text_[i] != '\r') ++i;
        if (i < end_ && text_[i] == '}') ++i;
        continue;
      }
      if (i + 1 >= end_) {
        i = end_;
        continue;
      }
      i += 1 + (newline_length(i + 1) ? newline_length(i + 1) : 1);
      continue;
    }
    if (ch == '{') {
      // In a specifier `{{` opens a field holding a dict or set display, unless a field has
      // already opened in that specifier: from there on it is an escaped brace, as in CPython.
      if ((!specifier || !mode.fresh) && at(i + 1) == '{') {
        i += 2;
        continue;
      }
      flush(i);
      pos_ = i;
      if (mode.fields >= 3) {
        fail(LexicalErrorKind::FStringNestedTooDeeply, i, i + 1);
        return;
      }
      mode.fresh = false;
      Mode field = mode;
      field.kind = ModeKind::Field;
      field.fields = static_cast<uint8_t>(mode.fields + 1);
      field.bracket_base = static_cast<uint32_t>(brackets_.size());
      open_bracket('{', TokenKind::LeftBrace);
      if (failed_) return;
      modes_.push_back(field);
      return;
    }
    if (ch == '}') {
      if (specifier) {
        flush(i);
        modes_.pop_back();  // the specifier
        modes_.pop_back();  // its field
        brackets_.pop_back();
        emit(TokenKind::RightBrace, i, i + 1);
        pos_ = i + 1;
        return;
      }
      if (at(i + 1) == '}') {
        i += 2;
        continue;
      }
      fail(LexicalErrorKind::FStringSingleRightBrace, i, i + 1);
      return;
    }
    ++i;
  }
}

/// `tok_decimal_tail`: digits with single underscores between them.
void Lexer::decimal_tail(uint32_t& i) {
  for (;;) {
    while (is_digit(at(i))) ++i;
    if (at(i) != '_') return;
    if (!is_digit(at(i + 1))) {
      fail(LexicalErrorKind::InvalidNumber, pos_, i + 1);
      return;
    }
    ++i;
  }
}

/// `verify_end_of_number`: a number may be followed directly by a keyword that can follow it
/// in valid code (`1if x else 2`), but not by other name characters.
bool Lexer::number_end(uint32_t i) {
  const unsigned char c = at(i);
  auto ahead = [&](std::string_view s) { return text_.substr(i + 1, s.size()) == s; };
  bool keyword = false;
  switch (c) {
    case 'a': keyword = ahead("nd"); break;
    case 'e': keyword = ahead("lse"); break;
    case 'f': keyword = ahead("or"); break;
    case 'i': keyword = at(i + 1) == 'f' || at(i + 1) == 'n' || at(i + 1) == 's'; break;
    case 'o': keyword = ahead("r"); break;
    case 'n': keyword = ahead("ot"); break;
    default: break;
  }
  if (!keyword && c < 0x80 && is_ident_char(c) && i < end_) {
    fail(LexicalErrorKind::InvalidNumber, pos_, i + 1);
    return false;
  }
  return true;
}

void Lexer::number() {
  const uint32_t start = pos_;
  uint32_t i = pos_;
  TokenKind kind = TokenKind::Int;
  auto based = [&](auto is_base_digit, bool check_decimal_digits) {
    i += 2;
    do {
      if (at(i) == '_') ++i;
      if (!is_base_digit(at(i))) {
        fail(check_decimal_digits && is_digit(at(i)) ? LexicalErrorKind::InvalidDigit : LexicalErrorKind::InvalidNumber,
             start, i + 1);
        return false;
      }
      while (is_base_digit(at(i))) ++i;
    } while (at(i) == '_');
    if (check_decimal_digits && is_digit(at(i))) {
      fail(LexicalErrorKind::InvalidDigit, start, i + 1);
      return false;
    }
    return number_end(i);
  };
  const unsigned char c = at(i);
  if (c == '0' && (at(i + 1) == 'x' || at(i + 1) == 'X')) {
    if (!based(is_hex, false)) return;
  } else if (c == '0' && (at(i + 1) == 'o' || at(i + 1) == 'O')) {
    if (!based([](unsigned char d) { return d >= '0' && d <= '7'; }, true)) return;
  } else if (c == '0' && (at(i + 1) == 'b' || at(i + 1) == 'B')) {
    if (!based([](unsigned char d) { return d == '0' || d == '1'; }, true)) return;
  } else {
    bool fraction = false, leading_zero_error = false;
    uint32_t zeros_end = 0;
    if (c == '.') {
      fraction = true;
    } else if (c == '0') {
      ++i;
      for (;;) {
        if (at(i) == '_') {
          if (!is_digit(at(i + 1))) {
            fail(LexicalErrorKind::InvalidNumber, start, i + 1);
            return;
          }
          ++i;
        }
        if (at(i) != '0') break;
        ++i;
      }
      zeros_end = i;
      if (is_digit(at(i))) {
        leading_zero_error = true;
        decimal_tail(i);
        if (failed_) return;
      }
      const unsigned char d = at(i);
      if (d != '.' && d != 'e' && d != 'E' && d != 'j' && d != 'J' && leading_zero_error) {
        fail(LexicalErrorKind::LeadingZeros, start, zeros_end);
        return;
      }
      fraction = d == '.';
    } else {
      decimal_tail(i);
      if (failed_) return;
      fraction = at(i) == '.';
    }
    if (fraction) {
      kind = TokenKind::Float;
      ++i;  // the point
      if (is_digit(at(i))) {
        decimal_tail(i);
        if (failed_) return;
      }
    }
    if (at(i) == 'e' || at(i) == 'E') {
      const uint32_t e = i;
      uint32_t j = i + 1;
      if (at(j) == '+' || at(j) == '-') {
        ++j;
        if (!is_digit(at(j))) {
          fail(LexicalErrorKind::InvalidNumber, start, j);
          return;
        }
      } else if (!is_digit(at(j))) {
        // Not an exponent: `1else`, or a malformed `1e`.
        if (!number_end(e)) return;
        emit(kind, start, e);
        pos_ = e;
        return;
      }
      i = j;
      decimal_tail(i);
      if (failed_) return;
      kind = TokenKind::Float;
    }
    if (at(i) == 'j' || at(i) == 'J') {
      kind = TokenKind::Complex;
      ++i;
    }
    if (!number_end(i)) return;
  }
  emit(kind, start, i);
  pos_ = i;
}

}  // namespace

TokenBuffer tokenize(std::string_view text) {
  TokenBuffer out;
  Lexer lexer(text, out);
  lexer.run();
  return out;
}

}  // namespace pysyntax::lexer
