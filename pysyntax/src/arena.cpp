// The slow path of the bump arena: a new block when the current one is full, and the release
// of every block at the end.
#include "pysyntax/arena.h"

#include <cstdlib>

namespace pysyntax {

void* Arena::allocate_slow(size_t size, size_t align) {
  const size_t header = (sizeof(BlockHeader) + 15) & ~size_t(15);
  const size_t needed = header + size + align;
  const size_t block = needed > block_size_ ? needed : block_size_;
  auto* raw = static_cast<char*>(std::malloc(block));
  if (raw == nullptr) std::abort();  // out of memory: nothing sensible is left to do
  auto* head = reinterpret_cast<BlockHeader*>(raw);
  head->size = block;
  reserved_ += block;
  char* begin = raw + header;
  if (needed > block_size_ && cursor_ != nullptr) {
    // An oversized request gets a block of its own behind the current one, so the space left
    // in the current block stays usable.
    head->next = blocks_->next;
    blocks_->next = head;
    used_before_current_ += size + align;
    uintptr_t p = (reinterpret_cast<uintptr_t>(begin) + (align - 1)) & ~uintptr_t(align - 1);
    return reinterpret_cast<void*>(p);
  }
  head->next = blocks_;
  blocks_ = head;
  if (block_begin_ != nullptr) used_before_current_ += static_cast<size_t>(cursor_ - block_begin_);
  block_begin_ = begin;
  cursor_ = begin;
  limit_ = raw + block;
  uintptr_t p = (reinterpret_cast<uintptr_t>(cursor_) + (align - 1)) & ~uintptr_t(align - 1);
  cursor_ = reinterpret_cast<char*>(p + size);
  return reinterpret_cast<void*>(p);
}

void Arena::release() {
  for (BlockHeader* block = blocks_; block != nullptr;) {
    BlockHeader* next = block->next;
    std::free(block);
    block = next;
  }
  blocks_ = nullptr;
  cursor_ = limit_ = block_begin_ = nullptr;
  used_before_current_ = reserved_ = 0;
}

}  // namespace pysyntax
