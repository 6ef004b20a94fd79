// Capture templates filled from a call's keyword values.
#include <re2/re2.h>

#include <memory>
#include <new>
#include <utility>

#include "captures/captures.h"

namespace detect {
namespace {

// Every occurrence of `match` in `template_text` replaced by `value`, left to right: a template
// with a single placeholder match needs no more than that. The bytes the replacement removes
// and inserts stay within the work budget whenever the result fits the limit (the removed bytes
// are at most the template, the inserted ones at most the limit and what was removed), so the
// limit alone decides.
std::string replace_all(std::string_view template_text, std::string_view match, std::string_view value,
                        std::size_t limit) {
  std::size_t occurrences = 0;
  for (std::size_t at = template_text.find(match); at != std::string_view::npos;
       at = template_text.find(match, at + match.size()))
    ++occurrences;
  // Compared without building the text, which a long value repeated could make huge.
  const std::size_t kept = template_text.size() - occurrences * match.size();
  if (kept > limit || (value.size() != 0 && occurrences > (limit - kept) / value.size())) return {};
  std::string result;
  result.reserve(kept + occurrences * value.size());
  std::size_t done = 0;
  for (std::size_t at = template_text.find(match); at != std::string_view::npos;
       at = template_text.find(match, done)) {
    result.append(template_text, done, at - done).append(value);
    done = at + match.size();
  }
  result.append(template_text, done, std::string_view::npos);
  return result;
}

}  // namespace

CaptureExpander::CaptureExpander(HashKey key, std::size_t limit)
    : templates_(key), key_(key), limit_(limit), hasher_(key), replacement_(hasher_) {}

CaptureExpander::~CaptureExpander() = default;

const ValueCut& CaptureExpander::cut(CallKeywords& call, const std::string& value) {
  auto [entry, is_new] = call.cuts_.try_emplace(&value);
  if (is_new) cut_value(value, hasher_, entry->second);
  return entry->second;
}

const CaptureExpander::Placeholders& CaptureExpander::placeholders(std::string_view template_text) {
  if (const Placeholders* known = templates_.find(template_text)) return *known;
  Placeholders found;
  TextMap<std::uint32_t> name_ids(key_);
  // Compiled at the first expansion: compiling costs more than the rest of a call on a small tree,
  // and a call whose packs match no capture template needs no pattern.
  if (regex_ == nullptr) {
    auto regex = std::make_unique<re2::RE2>(R"(\{kwarg\('([^']+)'\)\})");
    // The pattern is fixed and valid: RE2 fails on it only when it cannot get the memory to compile.
    if (!regex->ok()) throw std::bad_alloc();
    regex_ = std::move(regex);
  }
  const re2::StringPiece input(template_text.data(), template_text.size());
  re2::StringPiece groups[2];
  std::size_t position = 0;
  while (position < input.size() && regex_->Match(input, position, input.size(), re2::RE2::UNANCHORED, groups, 2)) {
    const std::string_view name(groups[1].data(), groups[1].size());
    if (const std::uint32_t* id = name_ids.find(name)) {
      found.steps.push_back(*id);
    } else {
      const auto id_now = static_cast<std::uint32_t>(found.names.size());
      name_ids.insert_or_assign(name, id_now);
      found.steps.push_back(id_now);
      found.names.push_back({static_cast<std::uint32_t>(groups[0].data() - input.data()),
                             static_cast<std::uint32_t>(groups[0].size()),
                             static_cast<std::uint32_t>(groups[1].data() - input.data()),
                             static_cast<std::uint32_t>(groups[1].size())});
    }
    // A match is never empty (it holds at least "{kwarg('x')}"), so this always advances.
    position = static_cast<std::size_t>(groups[0].data() + groups[0].size() - input.data());
  }
  templates_.insert_or_assign(template_text, std::move(found));
  return *templates_.find(template_text);
}

std::string CaptureExpander::expand(std::string_view template_text, CallKeywords& call) {
  const Placeholders& found = placeholders(template_text);
  if (found.steps.empty()) return template_text.size() <= limit_ ? std::string(template_text) : std::string();
  auto value_of = [&](std::string_view name) -> const std::string* {
    auto value = call.values_.find(name);
    return value == call.values_.end() ? nullptr : &value->second;
  };
  auto name_of = [&](const Placeholders::Name& name) {
    return template_text.substr(name.name_offset, name.name_size);
  };
  if (found.steps.size() == 1) {
    const Placeholders::Name& only = found.names[0];
    const std::string_view match = template_text.substr(only.match_offset, only.match_size);
    const std::string* value = value_of(name_of(only));
    return replace_all(template_text, match, value == nullptr ? std::string_view() : std::string_view(*value), limit_);
  }
  names_.clear();
  for (const Placeholders::Name& placeholder : found.names) {
    const std::string_view name = name_of(placeholder);
    if (const std::string* value = value_of(name)) {
      names_.push_back({name, *value, &cut(call, *value)});
    } else {
      names_.push_back({name, {}, nullptr});
    }
  }
  std::string result;
  if (!replacement_.run(template_text, names_, found.steps, limit_, result)) result.clear();
  return result;
}

}  // namespace detect
