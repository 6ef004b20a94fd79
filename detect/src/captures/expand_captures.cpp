// Capture templates filled from a call's keyword values.
#include <re2/re2.h>

#include <new>

#include "captures/captures.h"

namespace detect {

CaptureExpander::CaptureExpander(HashKey key, std::size_t limit)
    : regex_(std::make_unique<re2::RE2>(R"(\{kwarg\('([^']+)'\)\})")),
      key_(key),
      limit_(limit),
      hasher_(key),
      replacement_(hasher_) {
  // The pattern is fixed and valid: RE2 fails on it only when it cannot get the memory to compile.
  if (!regex_->ok()) throw std::bad_alloc();
}

CaptureExpander::~CaptureExpander() = default;

const ValueCut& CaptureExpander::cut(CallKeywords& call, const std::string& value) {
  auto [entry, is_new] = call.cuts_.try_emplace(&value);
  if (is_new) cut_value(value, hasher_, entry->second);
  return entry->second;
}

std::string CaptureExpander::expand(std::string_view template_text, CallKeywords& call) {
  names_.clear();
  steps_.clear();
  TextMap<std::uint32_t> name_ids(key_);
  const re2::StringPiece input(template_text.data(), template_text.size());
  re2::StringPiece groups[2];
  std::size_t position = 0;
  while (position < input.size() && regex_->Match(input, position, input.size(), re2::RE2::UNANCHORED, groups, 2)) {
    const std::string_view name(groups[1].data(), groups[1].size());
    if (const std::uint32_t* id = name_ids.find(name)) {
      steps_.push_back(*id);
    } else {
      const auto id_now = static_cast<std::uint32_t>(names_.size());
      name_ids.insert_or_assign(name, id_now);
      steps_.push_back(id_now);
      auto value = call.values_.find(name);
      if (value == call.values_.end()) {
        names_.push_back({name, {}, nullptr});
      } else {
        names_.push_back({name, value->second, &cut(call, value->second)});
      }
    }
    // A match is never empty (it holds at least "{kwarg('x')}"), so this always advances.
    position = static_cast<std::size_t>(groups[0].data() + groups[0].size() - input.data());
  }
  if (steps_.empty()) return template_text.size() <= limit_ ? std::string(template_text) : std::string();
  std::string result;
  if (!replacement_.run(template_text, names_, steps_, limit_, result)) result.clear();
  return result;
}

}  // namespace detect
