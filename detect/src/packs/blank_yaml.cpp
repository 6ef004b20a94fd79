// The blank-file test of the pack loaders: a file of nothing but blank lines, comment lines and
// document markers is skipped without a word.
#include <string_view>

#include "detect/utf8.h"
#include "detect/packs.h"

namespace detect {

namespace {

// Unicode White_Space. Not among them: U+FEFF (a byte-order mark keeps a line from being blank),
// U+001C to U+001F, U+180E, U+200B.
bool is_white_space(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

char32_t decode(std::string_view s, std::size_t i, std::size_t length) {
  const auto byte = [&](std::size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(s[i + k])); };
  switch (length) {
    case 1: return byte(0);
    case 2: return ((byte(0) & 0x1F) << 6) | (byte(1) & 0x3F);
    case 3: return ((byte(0) & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
    default: return ((byte(0) & 0x07) << 18) | ((byte(1) & 0x3F) << 12) | ((byte(2) & 0x3F) << 6) | (byte(3) & 0x3F);
  }
}

// The line without White_Space at either end; bytes that are not UTF-8 count as text.
std::string_view trim(std::string_view line) {
  std::size_t begin = line.size();
  std::size_t end = 0;
  for (std::size_t i = 0; i < line.size();) {
    std::size_t subpart = 1;
    const std::size_t length = utf8::sequence_length(line, i, &subpart);
    const std::size_t step = length == 0 ? subpart : length;
    if (length == 0 || !is_white_space(decode(line, i, length))) {
      if (begin == line.size()) begin = i;
      end = i + step;
    }
    i += step;
  }
  return begin < end ? line.substr(begin, end - begin) : std::string_view();
}

bool may_pass_over(std::string_view line) {
  const std::string_view trimmed = trim(line);
  return trimmed.empty() || trimmed[0] == '#' || trimmed == "---" || trimmed == "...";
}

}  // namespace

bool is_blank_yaml(std::string_view text) {
  while (!text.empty()) {
    const std::size_t newline = text.find('\n');
    if (!may_pass_over(text.substr(0, newline))) return false;
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
  }
  return true;
}

}  // namespace detect
