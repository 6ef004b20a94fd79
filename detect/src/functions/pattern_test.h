// Whether a function's metrics meet a pattern pack's per-function thresholds. Every constraint
// the pack sets must hold; one it leaves out always holds. Bounds are inclusive, and a minimum
// above its maximum simply matches nothing.
#pragma once

#include "detect/packs.h"
#include "metrics/metrics.h"

namespace detect {

[[nodiscard]] bool meets_pattern(const PatternMatch& match, const FunctionMetrics& metrics);

}  // namespace detect
