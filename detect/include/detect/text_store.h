// The texts of the manifest's bulk records (pattern hits and unclassified calls): copied end to
// end into large blocks that never move, so a record holds plain views instead of strings of its
// own. Hundreds of thousands of records then cost no allocation each, and a text they share (the
// file's path, the function's name, a callee that resolves to itself) is stored once.
//
// Views stay valid for as long as the store lives, also after the store itself is moved; the
// store cannot be copied.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>
#include <vector>

#include "detect/large_block.h"

namespace detect {

class TextStore {
 public:
  TextStore() = default;
  TextStore(TextStore&&) noexcept = default;
  TextStore& operator=(TextStore&&) noexcept = default;
  TextStore(const TextStore&) = delete;
  TextStore& operator=(const TextStore&) = delete;

  // A lasting copy of `text`.
  std::string_view add(std::string_view text) {
    if (text.empty()) return {};
    if (text.size() > left_) start_block(text.size());
    char* at = cursor_;
    std::memcpy(at, text.data(), text.size());
    cursor_ += text.size();
    left_ -= text.size();
    return {at, text.size()};
  }

 private:
  void start_block(std::size_t at_least);

  std::vector<LargeBlock> blocks_;
  char* cursor_ = nullptr;
  std::size_t left_ = 0;
};

}  // namespace detect
