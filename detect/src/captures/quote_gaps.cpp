// Cutting a template or a keyword value at its quotes.
#include "captures/quote_gaps.h"

#include <algorithm>

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

void cut_value(std::string_view text, const TextHasher& hasher, ValueCut& cut) {
  split_at_quotes(text, hasher, cut.gaps);
  cut.quiet_sizes.clear();
  for (std::size_t i = 1; i + 1 < cut.gaps.size(); ++i)
    if (!cut.gaps[i].opens && !cut.gaps[i].closes) cut.quiet_sizes.push_back(cut.gaps[i].text.size());
  std::sort(cut.quiet_sizes.begin(), cut.quiet_sizes.end());
  cut.quiet_totals.assign(cut.quiet_sizes.size() + 1, 0);
  for (std::size_t i = cut.quiet_sizes.size(); i-- != 0;)
    cut.quiet_totals[i] = cut.quiet_totals[i + 1] + cut.quiet_sizes[i] + 1;
}

std::size_t ValueCut::lasting_bytes(std::size_t longest_name) const {
  const auto sizes = quiet_sizes.begin();
  const auto empty_end = std::upper_bound(sizes, quiet_sizes.end(), std::size_t{0});
  const auto long_start = std::upper_bound(empty_end, quiet_sizes.end(), longest_name);
  return static_cast<std::size_t>(empty_end - sizes) + quiet_totals[static_cast<std::size_t>(long_start - sizes)];
}

}  // namespace detect
