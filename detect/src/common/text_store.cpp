#include "detect/text_store.h"

#include <algorithm>
#include <new>

namespace detect {

void TextStore::start_block(std::size_t at_least) {
  // Blocks double from 64 KiB up to 8 MiB, so that a small analysis stays on the heap and a
  // large one has few blocks.
  constexpr std::size_t kFirstBlock = std::size_t{64} << 10;
  constexpr std::size_t kLargestUsualBlock = std::size_t{8} << 20;
  const std::size_t usual =
      blocks_.empty() ? kFirstBlock : std::min(blocks_.back().capacity() * 2, kLargestUsualBlock);
  LargeBlock block;
  if (!block.grow_to(std::max(usual, at_least))) throw std::bad_alloc();
  // Kept before the cursor moves into it: if the list cannot grow, the block goes and the store
  // still points into the block it had.
  blocks_.push_back(std::move(block));
  cursor_ = blocks_.back().data();
  left_ = blocks_.back().capacity();
}

}  // namespace detect
