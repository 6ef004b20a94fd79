// A text cut at its single quotes. A placeholder's name holds no quote, so every occurrence of
// "{kwarg('N')}" in a text is a gap that reads N, between a gap that ends with "{kwarg(" and one
// that starts with ")}": the gaps are the units in which capture templates are rewritten.
#pragma once

#include <cstddef>
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

// A keyword value cut at its quotes, with a lower bound on what of it outlasts every later step.
// An inner gap that neither opens nor closes is never trimmed or joined (only the neighbours of
// an occurrence are), and when it cannot be a name either it is never replaced: it stays, and so
// do the quotes around it, whatever the steps after its insertion do.
struct ValueCut {
  QuoteGaps gaps;
  std::vector<std::size_t> quiet_sizes;   // of the inner gaps that neither open nor close, ascending
  std::vector<std::size_t> quiet_totals;  // [i]: the sum over quiet_sizes[i..] of size + 1

  // The bytes of the inner gaps that can be no name (empty, or longer than `longest_name`), one
  // quote each included: every insertion of the value adds at least this much to the result.
  [[nodiscard]] std::size_t lasting_bytes(std::size_t longest_name) const;
};

void cut_value(std::string_view text, const TextHasher& hasher, ValueCut& cut);

}  // namespace detect
