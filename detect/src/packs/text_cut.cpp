// The scan for the cut: one pass that decodes the text as libyaml's reader does, with its checks in
// its order, and counts characters and lines as its scanner does (every code point one character;
// CR LF, CR, LF, U+0085, U+2028 and U+2029 each end a line).
#include "packs/text_cut.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace detect::packs {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// One character as libyaml's reader takes it: its code point and length, or the problem that
// libyaml reports for it and the byte offset that it names.
struct ReadCharacter {
  char32_t value = 0;
  std::size_t bytes = 0;
  const char* problem = nullptr;
  std::size_t problem_offset = 0;
};

bool is_printable(char32_t c) {
  return c == 0x09 || c == 0x0A || c == 0x0D || (c >= 0x20 && c <= 0x7E) || c == 0x85 || (c >= 0xA0 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

ReadCharacter read_character(std::string_view text, std::size_t at) {
  const auto octet = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = octet(at);
  const std::size_t width = (lead & 0x80) == 0x00 ? 1
                            : (lead & 0xE0) == 0xC0 ? 2
                            : (lead & 0xF0) == 0xE0 ? 3
                            : (lead & 0xF8) == 0xF0 ? 4
                                                    : 0;
  if (width == 0) return {0, 0, "invalid leading UTF-8 octet", at};
  // Missing octets are found before wrong ones: a sequence cut short by the end is incomplete.
  if (width > text.size() - at) return {0, 0, "incomplete UTF-8 octet sequence", at};
  char32_t value = width == 1 ? lead : width == 2 ? lead & 0x1F : width == 3 ? lead & 0x0F : lead & 0x07;
  for (std::size_t k = 1; k < width; ++k) {
    if ((octet(at + k) & 0xC0) != 0x80) return {0, 0, "invalid trailing UTF-8 octet", at + k};
    value = (value << 6) | (octet(at + k) & 0x3F);
  }
  if ((width == 2 && value < 0x80) || (width == 3 && value < 0x800) || (width == 4 && value < 0x10000)) {
    return {0, 0, "invalid length of a UTF-8 sequence", at};
  }
  if ((value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) return {0, 0, "invalid Unicode character", at};
  if (!is_printable(value)) return {0, 0, "control characters are not allowed", at};
  return {value, width, nullptr, 0};
}

// The reader's error as libyaml's parser states it: a problem without a line, with its byte offset
// unless that is 0.
PackReadError refused(const ReadCharacter& character) {
  std::string message = character.problem;
  if (character.problem_offset != 0) message += " at position " + std::to_string(character.problem_offset);
  return PackReadError{std::move(message), "", 0, 0};
}

std::string too_many_directives() {
  return "more than " + std::to_string(kDirectiveLines) + " YAML directives (lines that begin with %)";
}

// The length of the longest prefix of `text`, a multiple of eight, whose bytes are all 20..7E.
std::size_t printable_ascii_prefix(std::string_view text) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
  std::size_t at = 0;
  while (at + 8 <= text.size()) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + at, 8);
    // A byte below 20, a byte 7F (zero once XORed with 7F) or a byte with its top bit set; the
    // subtractions may flag a byte that is fine, never miss one that is not.
    const std::uint64_t below_space = (word - 0x20 * kOnes) & ~word & kHighs;
    const std::uint64_t is_delete = ((word ^ (0x7F * kOnes)) - kOnes) & ~(word ^ (0x7F * kOnes)) & kHighs;
    if ((below_space | is_delete | (word & kHighs)) != 0) break;
    at += 8;
  }
  return at;
}

bool is_line_break(char32_t c) { return c == '\r' || c == '\n' || c == 0x85 || c == 0x2028 || c == 0x2029; }

std::uint32_t next_line(std::uint32_t line) { return line == UINT32_MAX ? line : line + 1; }

}  // namespace

std::optional<TextCut> find_text_cut(std::string_view text) {
  std::size_t at = text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
  std::size_t characters = 0;
  std::size_t directive_lines = 0;
  std::uint32_t line = 1;
  bool at_line_start = true;
  while (at < text.size()) {  // every pass takes one character, at least one byte
    // Inside a line, printable ASCII is one character a byte that neither ends the line nor
    // starts a directive: eight such bytes are taken in one step.
    if (!at_line_start) {
      const std::size_t run = printable_ascii_prefix(text.substr(at));
      at += run;
      characters += run;
      if (at == text.size()) break;
    }
    // One printable ASCII byte, or a line feed: the same as the full decoding below gives, but
    // without it (a "%" only counts at the start of a line).
    const auto byte = static_cast<unsigned char>(text[at]);
    if ((byte >= 0x20 && byte <= 0x7E && !(at_line_start && byte == '%')) || byte == '\n') {
      ++at;
      ++characters;
      at_line_start = byte == '\n';
      if (at_line_start) line = next_line(line);
      continue;
    }
    const ReadCharacter character = read_character(text, at);
    if (character.problem != nullptr) return TextCut{at, characters, refused(character)};
    if (at_line_start && character.value == '%' && ++directive_lines > kDirectiveLines) {
      return TextCut{at, characters, PackReadError{too_many_directives(), "", line, 1}};
    }
    at += character.bytes;
    ++characters;
    // CR LF is one line break: the line starts after the LF.
    at_line_start = is_line_break(character.value) && !(character.value == '\r' && at < text.size() && text[at] == '\n');
    if (at_line_start) line = next_line(line);
  }
  return std::nullopt;
}

}  // namespace detect::packs
