// Reading `calls_json`: a JSON array of UnclassifiedCall records, in the object form that
// analyze_path writes or a positional array form, with serde-style messages
// ("missing field `callee`", "invalid length 4, expected ...") and the position where reading
// stopped: "{message} at line {l} column {c}".
#pragma once

#include <string_view>
#include <vector>

#include "detect/error.h"
#include "detect/manifest.h"

namespace vesk {

// Records nest three deep (the list, a call, its location); every level is counted against this
// limit. Values of undeclared keys are skipped without counting and without recursion.
inline constexpr std::size_t kCallsJsonNestingLimit = 128;

// The calls read, with the store that holds their texts.
struct CallList {
  std::vector<detect::UnclassifiedCall> calls;
  detect::TextStore texts;
};

[[nodiscard]] detect::Result<CallList> parse_calls_json(std::string_view text);

}  // namespace vesk
