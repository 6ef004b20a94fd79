// The suggest mode's entry as far as this build has it: the calls are read and the framework
// packs loaded, so that a caller learns whether both are usable, and then the mode answers that
// it is not available. Knows nothing of Python.
#pragma once

#include <string>
#include <string_view>

namespace vesk {

// The whole message of the call's RuntimeError, no prefix.
inline constexpr const char* kSuggestUnavailableNotice =
    "the suggest mode is not available in this build of vesk_analyzer";

// Always a failure text: "parsing calls_json: {}", else "loading framework packs: {}", else the
// notice. The pack warnings are discarded unseen.
[[nodiscard]] std::string suggest_yaml_diff_impl(std::string_view pack_dir, std::string_view calls_json);

}  // namespace vesk
