// Sequential placeholder replacement over a list of quote gaps.
//
// An occurrence of "{kwarg('N')}" is a middle gap reading N whose previous gap ends with
// "{kwarg(" and whose next gap starts with ")}". Two occurrences of one placeholder overlap only
// when their middle gaps are neighbours (they share a quote); a gap between two middles two apart
// starts with ")}" and ends with "{kwarg(", so it is at least nine bytes long and the two do not
// touch. Scanning left to right, a plain replacement of all occurrences therefore takes, of every
// run of neighbouring middles, the first, the third, and so on.
#include "captures/sequential_replacement.h"

#include <algorithm>
#include <cstring>

namespace detect {
namespace {

constexpr std::size_t kPlaceholderFrame = 11;  // "{kwarg('" and "')}" around the name

std::uint64_t name_key(std::size_t size, TextHash hash) {
  return hash.hash ^ (static_cast<std::uint64_t>(size) * 0x9E3779B97F4A7C15ull);
}

}  // namespace

std::size_t work_budget(std::string_view template_text, std::span<const PlaceholderValue> names, std::size_t limit) {
  std::size_t budget = template_text.size() + limit;
  for (const PlaceholderValue& name : names) budget += name.value.size();
  return budget;
}

SequentialReplacement::SequentialReplacement(const TextHasher& hasher)
    : hasher_(hasher),
      open_hash_(hasher.of(kPlaceholderOpen)),
      close_hash_(hasher.of(kPlaceholderClose)),
      open_inverse_power_(hasher.inverse_power(kPlaceholderOpen.size())),
      close_inverse_power_(hasher.inverse_power(kPlaceholderClose.size())) {}

SequentialReplacement::Index SequentialReplacement::name_group(std::size_t size, TextHash hash) const {
  if (size > longest_name_) return kNone;
  const std::uint64_t key = name_key(size, hash);
  auto found = std::lower_bound(group_by_key_.begin(), group_by_key_.end(), std::pair{key, Index{kNone}});
  return found != group_by_key_.end() && found->first == key ? found->second : kNone;
}

SequentialReplacement::Index SequentialReplacement::new_gap(const GapPiece& piece) {
  const Index index = static_cast<Index>(gaps_.size());
  Gap& gap = gaps_.emplace_back();
  gap.opens = piece.opens;
  gap.closes = piece.closes;
  gap.name = name_group(piece.text.size(), piece.hash);
  append_view(index, piece.text, piece.hash);
  return index;
}

void SequentialReplacement::append_view(Index index, std::string_view text, TextHash hash) {
  if (text.empty()) return;
  Gap& gap = gaps_[static_cast<std::size_t>(index)];
  const Index view = static_cast<Index>(views_.size());
  views_.push_back({text.data(), text.size(), gap.last_view, kNone});
  if (gap.last_view == kNone) {
    gap.first_view = view;
  } else {
    views_[static_cast<std::size_t>(gap.last_view)].next = view;
  }
  gap.last_view = view;
  gap.size += text.size();
  gap.hash = TextHasher::join(gap.hash, hash);
}

void SequentialReplacement::prepend_view(Index index, std::string_view text, TextHash hash) {
  if (text.empty()) return;
  Gap& gap = gaps_[static_cast<std::size_t>(index)];
  const Index view = static_cast<Index>(views_.size());
  views_.push_back({text.data(), text.size(), kNone, gap.first_view});
  if (gap.first_view == kNone) {
    gap.last_view = view;
  } else {
    views_[static_cast<std::size_t>(gap.first_view)].prev = view;
  }
  gap.first_view = view;
  gap.size += text.size();
  gap.hash = TextHasher::join(hash, gap.hash);
}

void SequentialReplacement::drop_open_suffix(Index index) {
  Gap& gap = gaps_[static_cast<std::size_t>(index)];
  for (std::size_t left = kPlaceholderOpen.size(); left != 0;) {
    View& view = views_[static_cast<std::size_t>(gap.last_view)];
    if (view.size > left) {
      view.size -= left;
      break;
    }
    left -= view.size;
    gap.last_view = view.prev;
    if (gap.last_view == kNone) {
      gap.first_view = kNone;
    } else {
      views_[static_cast<std::size_t>(gap.last_view)].next = kNone;
    }
  }
  gap.size -= kPlaceholderOpen.size();
  gap.hash = TextHasher::drop_suffix(gap.hash, open_hash_, open_inverse_power_);
}

void SequentialReplacement::drop_close_prefix(Index index) {
  Gap& gap = gaps_[static_cast<std::size_t>(index)];
  for (std::size_t left = kPlaceholderClose.size(); left != 0;) {
    View& view = views_[static_cast<std::size_t>(gap.first_view)];
    if (view.size > left) {
      view.data += left;
      view.size -= left;
      break;
    }
    left -= view.size;
    gap.first_view = view.next;
    if (gap.first_view == kNone) {
      gap.last_view = kNone;
    } else {
      views_[static_cast<std::size_t>(gap.first_view)].prev = kNone;
    }
  }
  gap.size -= kPlaceholderClose.size();
  gap.hash = TextHasher::drop_prefix(gap.hash, close_hash_, close_inverse_power_);
}

// Joins the next gap onto `index` (the quote between them is gone) and drops it from the text.
void SequentialReplacement::absorb_next(Index index) {
  Gap& gap = gaps_[static_cast<std::size_t>(index)];
  const Index next_index = gap.next;
  unlist(next_index);
  Gap& next = gaps_[static_cast<std::size_t>(next_index)];
  if (next.first_view != kNone) {
    if (gap.last_view == kNone) {
      gap.first_view = next.first_view;
    } else {
      views_[static_cast<std::size_t>(gap.last_view)].next = next.first_view;
      views_[static_cast<std::size_t>(next.first_view)].prev = gap.last_view;
    }
    gap.last_view = next.last_view;
  }
  gap.size += next.size;
  gap.hash = TextHasher::join(gap.hash, next.hash);
  gap.next = next.next;
  if (next.next != kNone) gaps_[static_cast<std::size_t>(next.next)].prev = index;
}

// Recomputes what a changed gap's ends and length say.
void SequentialReplacement::refresh(Index index) {
  Gap& gap = gaps_[static_cast<std::size_t>(index)];
  gap.name = name_group(gap.size, gap.hash);
  // Its last seven and first two bytes, gathered across views.
  char tail[kPlaceholderOpen.size()];
  std::size_t tail_size = 0;
  for (Index v = gap.last_view; v != kNone && tail_size < sizeof tail; v = views_[static_cast<std::size_t>(v)].prev) {
    const View& view = views_[static_cast<std::size_t>(v)];
    for (std::size_t i = view.size; i != 0 && tail_size < sizeof tail; --i) tail[sizeof tail - ++tail_size] = view.data[i - 1];
  }
  gap.opens = tail_size == sizeof tail && std::memcmp(tail, kPlaceholderOpen.data(), sizeof tail) == 0;
  char head[kPlaceholderClose.size()];
  std::size_t head_size = 0;
  for (Index v = gap.first_view; v != kNone && head_size < sizeof head; v = views_[static_cast<std::size_t>(v)].next) {
    const View& view = views_[static_cast<std::size_t>(v)];
    for (std::size_t i = 0; i < view.size && head_size < sizeof head; ++i) head[head_size++] = view.data[i];
  }
  gap.closes = head_size == sizeof head && std::memcmp(head, kPlaceholderClose.data(), sizeof head) == 0;
}

void SequentialReplacement::unlist(Index index) {
  Gap& gap = gaps_[static_cast<std::size_t>(index)];
  if (gap.listed == kNone) return;
  if (gap.listed_prev == kNone) {
    listed_heads_[static_cast<std::size_t>(gap.listed)] = gap.listed_next;
  } else {
    gaps_[static_cast<std::size_t>(gap.listed_prev)].listed_next = gap.listed_next;
  }
  if (gap.listed_next != kNone) gaps_[static_cast<std::size_t>(gap.listed_next)].listed_prev = gap.listed_prev;
  gap.listed = gap.listed_prev = gap.listed_next = kNone;
}

// Lists the gap under its name group exactly while it is the middle of an occurrence.
void SequentialReplacement::update_listing(Index index) {
  if (index == kNone) return;
  Gap& gap = gaps_[static_cast<std::size_t>(index)];
  const bool middle = gap.name != kNone && gap.prev != kNone && gap.next != kNone &&
                      gaps_[static_cast<std::size_t>(gap.prev)].opens && gaps_[static_cast<std::size_t>(gap.next)].closes;
  const Index wanted = middle ? gap.name : kNone;
  if (gap.listed == wanted) return;
  unlist(index);
  if (wanted == kNone) return;
  Index& head = listed_heads_[static_cast<std::size_t>(wanted)];
  gap.listed = wanted;
  gap.listed_next = head;
  if (head != kNone) gaps_[static_cast<std::size_t>(head)].listed_prev = index;
  head = index;
}

bool SequentialReplacement::reads(Index index, std::string_view name) const {
  const Gap& gap = gaps_[static_cast<std::size_t>(index)];
  if (gap.size != name.size()) return false;
  std::size_t at = 0;
  for (Index v = gap.first_view; v != kNone; v = views_[static_cast<std::size_t>(v)].next) {
    const View& view = views_[static_cast<std::size_t>(v)];
    if (std::memcmp(view.data, name.data() + at, view.size) != 0) return false;
    at += view.size;
  }
  return true;
}

void SequentialReplacement::load_template(std::string_view template_text) {
  split_at_quotes(template_text, hasher_, template_gaps_);
  Index previous = kNone;
  for (const GapPiece& piece : template_gaps_) {
    const Index index = new_gap(piece);
    gaps_[static_cast<std::size_t>(index)].prev = previous;
    if (previous != kNone) gaps_[static_cast<std::size_t>(previous)].next = index;
    previous = index;
  }
  for (Index index = 0; index != static_cast<Index>(gaps_.size()); ++index) {
    update_listing(index);
    const Gap& gap = gaps_[static_cast<std::size_t>(index)];
    if (index != 0 && gap.next != kNone && !gap.opens && !gap.closes && gap.name == kNone) lasting_ += gap.size + 1;
  }
}

// Replaces the occurrence whose middle gap is `middle`: its previous gap loses "{kwarg(" and takes
// the value's first gap, the value's inner gaps come between, and the next gap loses ")}" and
// takes the value's last gap. A value without quotes joins the two into one gap.
void SequentialReplacement::replace(Index middle, const PlaceholderValue& value) {
  unlist(middle);
  const Index before = gaps_[static_cast<std::size_t>(middle)].prev;
  const Index after = gaps_[static_cast<std::size_t>(middle)].next;
  drop_open_suffix(before);
  drop_close_prefix(after);
  const QuoteGaps* pieces = value.value.empty() ? nullptr : &value.value_cut->gaps;
  if (pieces == nullptr || pieces->size() == 1) {
    if (pieces != nullptr) append_view(before, pieces->front().text, pieces->front().hash);
    gaps_[static_cast<std::size_t>(before)].next = after;
    gaps_[static_cast<std::size_t>(after)].prev = before;
    absorb_next(before);
    refresh(before);
    update_listing(gaps_[static_cast<std::size_t>(before)].prev);
    update_listing(before);
    update_listing(gaps_[static_cast<std::size_t>(before)].next);
    return;
  }
  append_view(before, pieces->front().text, pieces->front().hash);
  prepend_view(after, pieces->back().text, pieces->back().hash);
  refresh(before);
  refresh(after);
  Index previous = before;
  for (std::size_t i = 1; i + 1 < pieces->size(); ++i) {
    const Index inner = new_gap((*pieces)[i]);
    gaps_[static_cast<std::size_t>(inner)].prev = previous;
    gaps_[static_cast<std::size_t>(previous)].next = inner;
    previous = inner;
  }
  gaps_[static_cast<std::size_t>(previous)].next = after;
  gaps_[static_cast<std::size_t>(after)].prev = previous;
  update_listing(gaps_[static_cast<std::size_t>(before)].prev);
  for (Index gap = before; gap != after; gap = gaps_[static_cast<std::size_t>(gap)].next) update_listing(gap);
  update_listing(after);
  update_listing(gaps_[static_cast<std::size_t>(after)].next);
}

void SequentialReplacement::write(std::string& out) const {
  out.clear();
  for (Index g = 0; g != kNone; g = gaps_[static_cast<std::size_t>(g)].next) {
    if (g != 0) out.push_back('\'');
    for (Index v = gaps_[static_cast<std::size_t>(g)].first_view; v != kNone; v = views_[static_cast<std::size_t>(v)].next)
      out.append(views_[static_cast<std::size_t>(v)].data, views_[static_cast<std::size_t>(v)].size);
  }
}

bool SequentialReplacement::run(std::string_view template_text, std::span<const PlaceholderValue> names,
                                std::span<const std::uint32_t> steps, std::size_t limit, std::string& out) {
  gaps_.clear();
  views_.clear();
  group_by_key_.clear();
  name_groups_.clear();
  longest_name_ = 0;
  lasting_ = 0;
  for (const PlaceholderValue& name : names) longest_name_ = std::max(longest_name_, name.name.size());
  for (std::size_t i = 0; i < names.size(); ++i)
    group_by_key_.emplace_back(name_key(names[i].name.size(), hasher_.of(names[i].name)), static_cast<Index>(i));
  // Names whose hashes agree share the group of the first of them; reading the bytes tells them apart.
  std::stable_sort(group_by_key_.begin(), group_by_key_.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  group_by_key_.erase(std::unique(group_by_key_.begin(), group_by_key_.end(),
                                  [](const auto& a, const auto& b) { return a.first == b.first; }),
                      group_by_key_.end());
  for (const PlaceholderValue& name : names) name_groups_.push_back(name_group(name.name.size(), hasher_.of(name.name)));
  listed_heads_.assign(names.size(), kNone);

  load_template(template_text);

  std::size_t budget = work_budget(template_text, names, limit);
  std::size_t size = template_text.size();
  std::uint32_t step_number = 0;
  for (const std::uint32_t step : steps) {
    ++step_number;
    const PlaceholderValue& value = names[step];
    const Index group = name_groups_[step];
    if (listed_heads_[static_cast<std::size_t>(group)] == kNone) continue;
    const std::size_t placeholder_size = value.name.size() + kPlaceholderFrame;
    found_.clear();
    for (Index g = listed_heads_[static_cast<std::size_t>(group)]; g != kNone;
         g = gaps_[static_cast<std::size_t>(g)].listed_next) {
      if (reads(g, value.name)) {
        found_.push_back(g);
        gaps_[static_cast<std::size_t>(g)].found_in_step = step_number;
      } else {
        // Another name of the same hash, or a collision: reading it is paid for like a removal.
        if (budget < placeholder_size) return false;
        budget -= placeholder_size;
      }
    }
    chosen_.clear();
    auto found_now = [&](Index g) { return g != kNone && gaps_[static_cast<std::size_t>(g)].found_in_step == step_number; };
    for (const Index g : found_) {
      if (found_now(gaps_[static_cast<std::size_t>(g)].prev)) continue;  // inside a run, taken from its start
      bool take = true;
      for (Index x = g; found_now(x); x = gaps_[static_cast<std::size_t>(x)].next, take = !take)
        if (take) chosen_.push_back(x);
    }
    const std::size_t churn_each = placeholder_size + value.value.size();
    if (chosen_.size() > budget / churn_each) return false;
    budget -= chosen_.size() * churn_each;
    // What an insertion leaves for good already tells when the result will be too long.
    if (!value.value.empty()) lasting_ += chosen_.size() * value.value_cut->lasting_bytes(longest_name_);
    if (lasting_ > limit) return false;
    size = size - chosen_.size() * placeholder_size + chosen_.size() * value.value.size();
    for (const Index middle : chosen_) replace(middle, value);
  }
  if (size > limit) return false;
  write(out);
  return true;
}

}  // namespace detect
