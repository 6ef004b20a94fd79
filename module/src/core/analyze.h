// The analyze_path worker: one analysis from a project root and two optional pack folders to
// the manifest's JSON text, or to the one failure message of the call. Knows nothing of Python.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/json_buffer.h"
#include "detect/error.h"
#include "detect/packs.h"

namespace vesk {

// The pack folders a call reads when none is given: the root joined with "packs" and then with
// "frameworks" or "patterns".
[[nodiscard]] std::string default_pack_dir(std::string_view root);
[[nodiscard]] std::string default_pattern_dir(std::string_view root);

// Loads the framework packs, then the pattern packs, walks and analyses the project, and writes
// the manifest whose warnings are the framework-pack warnings, the pattern-pack warnings and one
// "parse error: {}" per unusable source file, in that order. The error's message is the whole
// text the caller raises ("loading framework packs: ...", "walking project: walking {root}", ...).
[[nodiscard]] detect::Result<JsonText> analyze_path_impl(std::string_view path,
                                                        std::optional<std::string_view> pack_dir,
                                                        std::optional<std::string_view> pattern_dir);

// The call's road once both pack lists are loaded: the walk from `root`, the analysis and the JSON
// text, whose warnings are `warnings` (taken over) followed by one "parse error: {}" per unusable
// source file.
[[nodiscard]] detect::Result<JsonText> analyze_project(const std::string& root,
                                                      const std::vector<detect::FrameworkPack>& framework_packs,
                                                      const std::vector<detect::PatternPack>& pattern_packs,
                                                      std::vector<std::string> warnings);
// The same with the call's hash seeds (the form above draws its own).
[[nodiscard]] detect::Result<JsonText> analyze_project(const std::string& root,
                                                      const std::vector<detect::FrameworkPack>& framework_packs,
                                                      const std::vector<detect::PatternPack>& pattern_packs,
                                                      std::vector<std::string> warnings, detect::HashSeeds& seeds);

}  // namespace vesk
