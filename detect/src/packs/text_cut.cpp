// The scan for the cut: one pass over the text, counting characters and lines as libyaml's scanner
// does (every code point one character; CR LF, CR, LF, U+0085, U+2028 and U+2029 each end a line).
#include "packs/text_cut.h"

#include <cstdint>
#include <string>

namespace detect::packs {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool is_continuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

struct LineBreak {
  std::size_t bytes = 0;  // 0: no line break
  std::size_t characters = 0;
};

// The line break that starts at `at`; CR LF is one break of two characters.
LineBreak line_break_at(std::string_view text, std::size_t at) {
  const std::string_view rest = text.substr(at);
  if (rest.starts_with("\r\n")) return {2, 2};
  if (rest[0] == '\r' || rest[0] == '\n') return {1, 1};
  if (rest.starts_with("\xC2\x85")) return {2, 1};
  if (rest.starts_with("\xE2\x80\xA8") || rest.starts_with("\xE2\x80\xA9")) return {3, 1};
  return {};
}

std::uint32_t next_line(std::uint32_t line) { return line == UINT32_MAX ? line : line + 1; }

std::string too_many_directives() {
  return "more than " + std::to_string(kDirectiveLines) + " YAML directives (lines that begin with %)";
}

}  // namespace

std::optional<TextCut> find_text_cut(std::string_view text) {
  std::size_t at = text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
  std::size_t characters = 0;
  std::size_t directive_lines = 0;
  std::uint32_t line = 1;
  bool at_line_start = true;
  while (at < text.size()) {  // every pass takes at least one byte
    if (at_line_start && text[at] == '%' && ++directive_lines > kDirectiveLines) {
      return TextCut{at, characters, PackReadError{too_many_directives(), "", line, 1}};
    }
    if (const LineBreak line_break = line_break_at(text, at); line_break.bytes != 0) {
      at += line_break.bytes;
      characters += line_break.characters;
      line = next_line(line);
      at_line_start = true;
      continue;
    }
    ++at;
    while (at < text.size() && is_continuation(text[at])) ++at;
    ++characters;
    at_line_start = false;
  }
  return std::nullopt;
}

}  // namespace detect::packs
