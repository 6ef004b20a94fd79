// The largest source text the parser can take: its byte offsets are unsigned 32-bit, so a text
// of 4 GiB or more is refused before it is read whole, let alone parsed.
#pragma once

#include <cstdint>
#include <limits>

namespace detect {

inline constexpr std::uint64_t kMaxSourceBytes = std::numeric_limits<std::uint32_t>::max();
inline constexpr const char* kSourceTooLargeText = "file too large for the parser (4 GiB or more)";

}  // namespace detect
