// The rewriting of one capture template: for each placeholder match of the template, in order,
// every non-overlapping occurrence of the placeholder's text in the current result is replaced by
// its keyword's value, occurrences that earlier values brought in or that form across the edges
// of inserted values included.
//
// The result is held as a list of gaps (the text between quotes, see quote_gaps.h), each gap a
// list of views into the template and the values, never copied; the gaps that read a placeholder
// name of the template and stand between an opening and a closing gap are listed by name. A step
// touches only its occurrences and their neighbours, so a step whose placeholder no longer occurs
// costs nothing and one that replaces a single occurrence does not rewrite the rest.
//
// A template whose placeholders feed on each other grows without limit, so the work is bounded:
// a run gives up once its replacements have removed and inserted more bytes in all than the
// template, the values it names and the result limit together (`work_budget`). Replacements that
// never consume an inserted value stay far below that; only templates whose values make more
// placeholders than they remove get there.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "captures/quote_gaps.h"

namespace detect {

// One distinct placeholder name of a template, with the value of its keyword.
struct PlaceholderValue {
  std::string_view name;
  std::string_view value;       // empty when the call has no such keyword
  const ValueCut* value_cut;  // `value` cut at its quotes
};

// The bytes a run may remove and insert in all: the template, each distinct name's value once,
// and the result limit.
[[nodiscard]] std::size_t work_budget(std::string_view template_text, std::span<const PlaceholderValue> names,
                                      std::size_t limit);

class SequentialReplacement {
 public:
  explicit SequentialReplacement(const TextHasher& hasher);

  // Runs the steps (indices into `names`, in template order) over `template_text`. Writes the
  // result to `out` and returns true, or returns false when the work budget runs out or the result
  // is longer than `limit`.
  [[nodiscard]] bool run(std::string_view template_text, std::span<const PlaceholderValue> names,
                         std::span<const std::uint32_t> steps, std::size_t limit, std::string& out);

 private:
  using Index = std::int32_t;
  static constexpr Index kNone = -1;

  struct View {
    const char* data;
    std::size_t size;
    Index prev;
    Index next;
  };
  struct Gap {
    Index prev = kNone, next = kNone;           // neighbours in the text
    Index first_view = kNone, last_view = kNone;
    std::size_t size = 0;
    TextHash hash;
    Index name = kNone;    // the name group its hash points to, when short enough to be a name
    Index listed = kNone;  // the name group whose occurrence list holds it
    Index listed_prev = kNone, listed_next = kNone;
    std::uint32_t found_in_step = 0;
    bool opens = false, closes = false;
  };

  void load_template(std::string_view template_text);
  Index new_gap(const GapPiece& piece);
  void append_view(Index gap, std::string_view text, TextHash hash);
  void prepend_view(Index gap, std::string_view text, TextHash hash);
  void drop_open_suffix(Index gap);
  void drop_close_prefix(Index gap);
  void absorb_next(Index gap);
  void refresh(Index gap);
  void update_listing(Index gap);
  void unlist(Index gap);
  Index name_group(std::size_t size, TextHash hash) const;
  bool reads(Index gap, std::string_view name) const;
  void replace(Index middle, const PlaceholderValue& value);
  void write(std::string& out) const;

  const TextHasher& hasher_;
  const TextHash open_hash_;
  const TextHash close_hash_;
  const std::uint64_t open_inverse_power_;
  const std::uint64_t close_inverse_power_;

  // Reused from run to run.
  std::vector<Gap> gaps_;
  std::vector<View> views_;
  QuoteGaps template_gaps_;
  std::vector<Index> name_groups_;       // per distinct name: its group (the first name of its hash)
  std::vector<Index> listed_heads_;      // per group: first gap of its occurrence list
  std::vector<std::pair<std::uint64_t, Index>> group_by_key_;  // sorted by key
  std::size_t longest_name_ = 0;
  std::size_t lasting_ = 0;  // bytes of the current text that no later step can remove
  std::vector<Index> found_;
  std::vector<Index> chosen_;
};

}  // namespace detect
