// Capture templates filled from a call's keyword values.
#include <re2/re2.h>

#include <string_view>

#include "captures/captures.h"

namespace detect {
namespace {

// Every non-overlapping occurrence of `from` in `text`, left to right, replaced by `to`.
void replace_all(std::string& text, std::string_view from, std::string_view to) {
  std::size_t at = text.find(from);
  if (at == std::string::npos) return;
  std::string result;
  result.reserve(text.size());
  std::size_t done = 0;
  while (at != std::string::npos) {
    result.append(text, done, at - done);
    result += to;
    done = at + from.size();
    at = text.find(from, done);
  }
  result.append(text, done, std::string::npos);
  text = std::move(result);
}

}  // namespace

CapturePattern::CapturePattern() : regex_(std::make_unique<re2::RE2>(R"(\{kwarg\('([^']+)'\)\})")) {}
CapturePattern::~CapturePattern() = default;

CaptureResults expand_captures(const CapturePattern& pattern,
                               const std::map<std::string, std::string>& capture,
                               const KeywordValues& values) {
  CaptureResults results;
  const re2::RE2& regex = pattern.regex();
  for (const auto& [key, template_text] : capture) {
    std::string result = template_text;
    const re2::StringPiece input(template_text);
    re2::StringPiece groups[2];
    std::size_t position = 0;
    while (position < input.size() &&
           regex.Match(input, position, input.size(), re2::RE2::UNANCHORED, groups, 2)) {
      auto found = values.find(std::string(groups[1].data(), groups[1].size()));
      std::string_view value = found == values.end() ? std::string_view() : std::string_view(found->second);
      replace_all(result, std::string_view(groups[0].data(), groups[0].size()), value);
      // A match is never empty (it holds at least "{kwarg('x')}"), so this always advances.
      position = static_cast<std::size_t>(groups[0].data() + groups[0].size() - input.data());
    }
    results.emplace(key, std::move(result));
  }
  return results;
}

}  // namespace detect
