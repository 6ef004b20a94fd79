// A text cut at its single quotes. A placeholder's name holds no quote, so every occurrence of
// "{kwarg('N')}" in a text is a gap that reads N, between a gap that ends with "{kwarg(" and one
// that starts with ")}": the gaps are the units in which capture templates are rewritten.
#pragma once

#include <string_view>
#include <vector>

#include "captures/text_hash.h"

namespace detect {

inline constexpr std::string_view kPlaceholderOpen = "{kwarg(";   // before the name's opening quote
inline constexpr std::string_view kPlaceholderClose = ")}";       // after its closing quote

// The text between two neighbouring quotes, or between an end of the text and its nearest quote.
struct GapPiece {
  std::string_view text;
  TextHash hash;
  bool opens = false;   // ends with kPlaceholderOpen
  bool closes = false;  // starts with kPlaceholderClose
};

// One more gap than the text has quotes; a text without quotes is one gap.
using QuoteGaps = std::vector<GapPiece>;

void split_at_quotes(std::string_view text, const TextHasher& hasher, QuoteGaps& gaps);

}  // namespace detect
