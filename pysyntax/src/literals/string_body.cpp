// Escape processing of str and bytes bodies and of the literal parts of f/t-strings, matching
// CPython 3.13's decoder: unknown escapes (`\q`, `\8`, `\u` in bytes) are kept with their
// backslash, octal escapes take up to three digits (above 0o377 a str gets the code point, bytes
// the low 8 bits), and line ends are normalised first, as CPython's tokenizer reads them.
#include <cstring>

#include <unicode/utf8.h>

#include "literals/literals.h"
#include "literals/utf8.h"

namespace pysyntax::literals {
namespace {

constexpr std::string_view kStringErrorNames[] = {
#define PYSYNTAX_STRING_ERROR(name) #name,
#include "literals/string_errors.def"
#undef PYSYNTAX_STRING_ERROR
};

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool is_plain(char c, bool in_fstring) {
  return c != '\\' && c != '\r' && !(in_fstring && (c == '{' || c == '}'));
}

StringError error_at(StringErrorKind kind, size_t offset, size_t length) {
  return StringError{kind, static_cast<uint32_t>(offset), static_cast<uint32_t>(length)};
}

std::optional<StringError> find_non_ascii(std::string_view body) {
  for (size_t i = 0; i < body.size(); ++i) {
    auto lead = static_cast<uint8_t>(body[i]);
    if (lead >= 0x80) {
      size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
      if (length > body.size() - i) length = body.size() - i;
      return error_at(StringErrorKind::NonAsciiInBytes, i, length);
    }
  }
  return std::nullopt;
}

// Reads exactly `count` hex digits at body[at...]; returns how many were there when fewer.
size_t read_hex(std::string_view body, size_t at, size_t count, uint32_t& value) {
  value = 0;
  for (size_t k = 0; k < count; ++k) {
    int digit = at + k < body.size() ? hex_digit(body[at + k]) : -1;
    if (digit < 0) return k;
    value = value * 16 + static_cast<uint32_t>(digit);
  }
  return count;
}

}  // namespace

std::string_view string_error_name(StringErrorKind kind) {
  return kStringErrorNames[static_cast<size_t>(kind)];
}

bool is_ascii(std::string_view s) {
  for (char c : s) {
    if (static_cast<uint8_t>(c) >= 0x80) return false;
  }
  return true;
}

bool body_needs_decoding(std::string_view body, bool is_bytes, bool is_raw, bool in_fstring) {
  const char* const data = body.data();
  const size_t size = body.size();
  if (!is_bytes && !in_fstring) {
    // Most bodies are plain text: two vectorised scans beat one byte loop with four tests.
    if (std::memchr(data, '\r', size) != nullptr) return true;
    return !is_raw && std::memchr(data, '\\', size) != nullptr;
  }
  for (size_t i = 0; i < size; ++i) {
    const char c = data[i];
    if (c == '\r' || (c == '\\' && !is_raw) || (in_fstring && (c == '{' || c == '}')) ||
        (is_bytes && static_cast<uint8_t>(c) >= 0x80)) {
      return true;
    }
  }
  return false;
}

std::optional<StringError> decode_string_body(std::string_view body, bool is_bytes, bool is_raw,
                                              bool in_fstring, std::string& out) {
  // CPython rejects a non-ASCII bytes literal before looking at its escapes.
  if (is_bytes) {
    if (auto error = find_non_ascii(body)) return error;
  }
  out.reserve(out.size() + body.size());
  const size_t n = body.size();
  size_t i = 0;
  while (i < n) {
    size_t run = i;
    while (run < n && is_plain(body[run], in_fstring)) ++run;
    out.append(body.substr(i, run - i));
    i = run;
    if (i == n) break;

    const char c = body[i];
    if (c == '\r') {
      out.push_back('\n');
      i += (i + 1 < n && body[i + 1] == '\n') ? 2 : 1;
      continue;
    }
    if (c == '{' || c == '}') {
      out.push_back(c);
      i += (i + 1 < n && body[i + 1] == c) ? 2 : 1;
      continue;
    }
    // A backslash. Raw bodies keep it; a body ending in one (an f-string part before a
    // replacement field, as in f"\{x}") keeps it too.
    if (is_raw || i + 1 == n) {
      out.push_back('\\');
      ++i;
      continue;
    }
    const size_t start = i;
    const char e = body[i + 1];
    i += 2;
    switch (e) {
      case '\n': break;  // line continuation
      case '\r':
        if (i < n && body[i] == '\n') ++i;
        break;
      case '\\': out.push_back('\\'); break;
      case '\'': out.push_back('\''); break;
      case '"': out.push_back('"'); break;
      case 'a': out.push_back('\a'); break;
      case 'b': out.push_back('\b'); break;
      case 'f': out.push_back('\f'); break;
      case 'n': out.push_back('\n'); break;
      case 'r': out.push_back('\r'); break;
      case 't': out.push_back('\t'); break;
      case 'v': out.push_back('\v'); break;
      case '0': case '1': case '2': case '3': case '4': case '5': case '6': case '7': {
        uint32_t value = static_cast<uint32_t>(e - '0');
        for (int k = 0; k < 2 && i < n && body[i] >= '0' && body[i] <= '7'; ++k, ++i) {
          value = value * 8 + static_cast<uint32_t>(body[i] - '0');
        }
        if (is_bytes) {
          out.push_back(static_cast<char>(value & 0xFF));
        } else {
          append_utf8(value, out);
        }
        break;
      }
      case 'x': {
        uint32_t value = 0;
        size_t got = read_hex(body, i, 2, value);
        if (got < 2) return error_at(StringErrorKind::TruncatedHexEscape, start, 2 + got);
        i += 2;
        if (is_bytes) {
          out.push_back(static_cast<char>(value));
        } else {
          append_utf8(value, out);
        }
        break;
      }
      case 'u':
      case 'U': {
        if (is_bytes) {
          out.push_back('\\');
          i = start + 1;
          break;
        }
        const size_t digits = e == 'u' ? 4 : 8;
        uint32_t value = 0;
        size_t got = read_hex(body, i, digits, value);
        if (got < digits) {
          return error_at(e == 'u' ? StringErrorKind::TruncatedUnicodeEscape
                                   : StringErrorKind::TruncatedLongUnicodeEscape,
                          start, 2 + got);
        }
        i += digits;
        if (value > 0x10FFFF) return error_at(StringErrorKind::IllegalUnicodeCharacter, start, 2 + digits);
        append_utf8(value, out);
        break;
      }
      case 'N': {
        if (is_bytes) {
          out.push_back('\\');
          i = start + 1;
          break;
        }
        if (i == n || body[i] != '{') return error_at(StringErrorKind::MalformedNamedEscape, start, 2);
        size_t close = body.find('}', i + 1);
        if (close == std::string_view::npos || close == i + 1) {
          return error_at(StringErrorKind::MalformedNamedEscape, start, 3);
        }
        auto code_point = lookup_character_name(body.substr(i + 1, close - i - 1));
        i = close + 1;
        if (!code_point) return error_at(StringErrorKind::UnknownCharacterName, start, i - start);
        append_utf8(*code_point, out);
        break;
      }
      default:
        // Unknown escape: CPython warns and keeps the backslash; the next character is read
        // again on its own, so "\{{" in an f-string still collapses its braces.
        out.push_back('\\');
        i = start + 1;
        break;
    }
  }
  return std::nullopt;
}

}  // namespace pysyntax::literals
