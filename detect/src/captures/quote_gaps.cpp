// Cutting a template or a keyword value at its quotes.
#include "captures/quote_gaps.h"

namespace detect {

void split_at_quotes(std::string_view text, const TextHasher& hasher, QuoteGaps& gaps) {
  gaps.clear();
  std::size_t start = 0;
  while (true) {
    const std::size_t quote = text.find('\'', start);
    const std::string_view gap = text.substr(start, quote == std::string_view::npos ? text.size() - start : quote - start);
    gaps.push_back({gap, hasher.of(gap), gap.ends_with(kPlaceholderOpen), gap.starts_with(kPlaceholderClose)});
    if (quote == std::string_view::npos) return;
    start = quote + 1;
  }
}

}  // namespace detect
