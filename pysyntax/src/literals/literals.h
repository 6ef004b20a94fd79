// Literal decoders: the values of string, bytes and number literals and the normal form of
// identifiers, each exactly as CPython 3.13 computes them. The lexer decides where a literal
// ends and checks its form; these functions turn the accepted text into a value, and report the
// few errors that only escape processing can find (a truncated `\x`, an unknown `\N{...}` name,
// a non-ASCII character in bytes). Nothing here allocates except by appending to the caller's
// string (and inside ICU); an exhausted allocation, ICU's included, throws std::bad_alloc.
// Nothing depends on the process locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pysyntax::literals {

enum class StringErrorKind : uint8_t {
#define PYSYNTAX_STRING_ERROR(name) name,
#include "literals/string_errors.def"
#undef PYSYNTAX_STRING_ERROR
};

// The kind's CamelCase name, e.g. "TruncatedHexEscape".
std::string_view string_error_name(StringErrorKind kind);

// `offset` and `length` are bytes of the body: the whole escape from its backslash, or the one
// non-ASCII character of a bytes literal.
struct StringError {
  StringErrorKind kind;
  uint32_t offset;
  uint32_t length;
};

// Decodes the body of one string literal (the text between the quotes, prefix removed) or one
// literal part of an f/t-string, appending the value to `out`: UTF-8 for str, the raw byte
// values for bytes. A `\ud800`-style escape of a lone surrogate appends the surrogate's 3-byte
// form, the bytes Python's "surrogatepass" encoding gives. Line ends inside the body ("\r\n",
// "\r") become "\n", as CPython reads source text, raw literals included.
// is_raw: no escape processing. is_bytes: only ASCII characters allowed, and `\u`, `\U`, `\N`
// are not escapes. in_fstring: "{{" and "}}" collapse to one brace.
// On an error, `out` holds what was decoded before it.
std::optional<StringError> decode_string_body(std::string_view body, bool is_bytes, bool is_raw,
                                              bool in_fstring, std::string& out);

// False when the body's value is the body itself, so a caller may point into the text rather
// than decode. A bytes body with a non-ASCII character needs decoding (to report it).
bool body_needs_decoding(std::string_view body, bool is_bytes, bool is_raw, bool in_fstring);

// The value of an integer literal ("0x_ff", "1_000", "0o17", "0B1", "00"), or nullopt when it
// does not fit in 64 bits. The lexer has validated the form.
std::optional<uint64_t> integer_value(std::string_view literal_text);

// Appends the decimal digits of an integer literal of any size ("0xffffffffffffffffff" ->
// "4722366482869645213695"), for literals whose value does not fit in 64 bits.
void append_integer_decimal(std::string_view literal_text, std::string& out);

// The value of a float literal ("1_0.5e-3", "1.", ".5", "1e400" -> infinity, "1e-400" -> 0.0),
// correctly rounded like CPython. The lexer has validated the form.
double float_value(std::string_view literal_text);

// The imaginary part of an imaginary literal ("10j", "1.5e3J", "0777j").
double imaginary_value(std::string_view literal_text);

bool is_ascii(std::string_view s);

// The first character of an identifier that may not stand where it stands: the first character
// must have XID_Start (or be "_"), every other one XID_Continue, checked on the text as written,
// as CPython's tokenizer does. `offset`/`length` are bytes of the identifier; a byte that does
// not begin a valid UTF-8 sequence is reported with code_point U+FFFD.
struct InvalidIdentifierCharacter {
  uint32_t offset;
  uint32_t length;
  char32_t code_point;
};
std::optional<InvalidIdentifierCharacter> find_invalid_identifier_character(std::string_view identifier);

// Appends the NFKC form of a (non-ASCII) identifier to `out` and returns true when it differs
// from the identifier; returns false, appending nothing, when the identifier is already in NFKC
// (so the caller can keep pointing into the text). "ﬁ" -> "fi", "ｉｆ" -> "if".
bool normalize_identifier(std::string_view identifier, std::string& out);

// The code point named by the text of a `\N{...}` escape, as CPython resolves it: a character
// name or name alias of any type, case-insensitive; named sequences are not characters.
std::optional<char32_t> lookup_character_name(std::string_view name);

}  // namespace pysyntax::literals
