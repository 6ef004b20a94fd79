// The BuildManifest's one outward form: compact JSON, keys in declaration order, `framework` and
// `deploy_target` null when absent, `unclassified_calls` and `receiver_rewrite` left out when
// absent. Each record kind has one writing routine used wherever that record appears.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "core/json_buffer.h"
#include "detect/error.h"
#include "detect/manifest.h"

namespace vesk {

// Writing cannot fail (every value has a form); the Result keeps the worker's error path honest
// should a failing case ever be added.
[[nodiscard]] detect::Result<JsonText> write_manifest_json(const detect::BuildManifest& manifest);

// One candidate object, for `framework` and each element of `framework_candidates`.
void write_candidate_json(JsonBuffer& out, const detect::FrameworkCandidate& candidate);
// The `location` member (key and object).
void write_location_json(JsonBuffer& out, std::string_view file, std::uint32_t line);
// The `unclassified_calls` member; only for a non-empty list.
void write_unclassified_calls_json(JsonBuffer& out, std::span<const detect::UnclassifiedCall> calls);

}  // namespace vesk
