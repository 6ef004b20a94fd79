// Parsing one text with a caller's buffers, so that a walk reuses one text buffer and one arena
// for file after file instead of taking fresh memory for each.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "detect/walk.h"

namespace detect {

// `parse_file` on `*text` (which must not be null) in `arena`, after clearing the arena. On
// success the record takes both over; on failure both stay with the caller, to be reused.
[[nodiscard]] std::variant<ParsedFile, WalkError> parse_text(std::string_view path, std::unique_ptr<std::string>& text,
                                                             pysyntax::Arena& arena);

}  // namespace detect
