// UTF-8 decoding step shared by validation and by the lossy path display.
#pragma once

#include <cstddef>
#include <string_view>

namespace detect::utf8 {

// Length of the well-formed sequence starting at `s[i]`, or 0 when none starts there. In the
// second case `*subpart` receives the length of the maximal ill-formed subpart (at least 1): the
// longest prefix of a well-formed sequence found there, which is replaced as one unit.
std::size_t sequence_length(std::string_view s, std::size_t i, std::size_t* subpart);

}  // namespace detect::utf8
