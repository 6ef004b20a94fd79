// suggest_yaml_diff's road after its arguments are converted.
#include "core/suggest.h"

#include <vector>

#include "core/calls_json.h"
#include "detect/packs.h"

namespace vesk {

std::string suggest_yaml_diff_impl(std::string_view pack_dir, std::string_view calls_json) {
  const auto calls = parse_calls_json(calls_json);
  if (!calls.ok()) return "parsing calls_json: " + calls.error().message();
  std::vector<std::string> discarded_warnings;
  const auto packs = detect::load_framework_packs(std::string(pack_dir), discarded_warnings);
  if (!packs.ok()) return "loading framework packs: " + packs.error().message();
  return kSuggestUnavailableNotice;
}

}  // namespace vesk
