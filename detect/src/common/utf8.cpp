#include "detect/utf8.h"

#include <cstdint>
#include <cstring>

#include "detect/io.h"
#include "detect/path.h"

namespace detect::utf8 {
namespace {

// The byte ranges of the Unicode standard's table of well-formed UTF-8 byte sequences: for each
// lead byte, the allowed range of the second byte; later bytes are always 80..BF.
struct LeadInfo {
  std::uint8_t length;
  std::uint8_t second_lo;
  std::uint8_t second_hi;
};

LeadInfo lead_info(std::uint8_t b) {
  if (b < 0x80) return {1, 0, 0};
  if (b < 0xC2) return {0, 0, 0};
  if (b < 0xE0) return {2, 0x80, 0xBF};
  if (b == 0xE0) return {3, 0xA0, 0xBF};
  if (b == 0xED) return {3, 0x80, 0x9F};
  if (b < 0xF0) return {3, 0x80, 0xBF};
  if (b == 0xF0) return {4, 0x90, 0xBF};
  if (b < 0xF4) return {4, 0x80, 0xBF};
  if (b == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

}  // namespace

std::size_t sequence_length(std::string_view s, std::size_t i, std::size_t* subpart) {
  const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
  const LeadInfo info = lead_info(byte(i));
  if (info.length == 0) {
    *subpart = 1;
    return 0;
  }
  if (info.length == 1) return 1;
  std::size_t k = 1;
  for (; k < info.length; ++k) {
    if (i + k >= s.size()) break;
    const std::uint8_t lo = k == 1 ? info.second_lo : 0x80;
    const std::uint8_t hi = k == 1 ? info.second_hi : 0xBF;
    const std::uint8_t b = byte(i + k);
    if (b < lo || b > hi) break;
  }
  if (k == info.length) return k;
  *subpart = k;
  return 0;
}

}  // namespace detect::utf8

namespace detect {

bool is_valid_utf8(std::string_view s) {
  std::size_t i = 0;
  const std::size_t n = s.size();
  while (i < n) {
    // ASCII runs dominate source text: test eight bytes at a time.
    while (i + 8 <= n) {
      std::uint64_t word;
      std::memcpy(&word, s.data() + i, 8);
      if (word & 0x8080808080808080ULL) break;
      i += 8;
    }
    if (i >= n) break;
    if (static_cast<std::uint8_t>(s[i]) < 0x80) {
      ++i;
      continue;
    }
    std::size_t subpart = 0;
    const std::size_t len = utf8::sequence_length(s, i, &subpart);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

void append_path_text(std::string& out, std::string_view path) {
  static constexpr char kReplacement[] = "\xEF\xBF\xBD";
  // Nearly every path is well-formed and shown as it stands, in one append.
  if (is_valid_utf8(path)) {
    out.append(path);
    return;
  }
  std::size_t i = 0;
  while (i < path.size()) {
    std::size_t subpart = 0;
    const std::size_t len = utf8::sequence_length(path, i, &subpart);
    if (len > 0) {
      out.append(path.substr(i, len));
      i += len;
    } else {
      out.append(kReplacement, 3);
      i += subpart;
    }
  }
}

std::string path_to_text(std::string_view path) {
  std::string out;
  out.reserve(path.size());
  append_path_text(out, path);
  return out;
}

}  // namespace detect
