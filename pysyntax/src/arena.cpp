// The slow path of the bump arena: a new block when the current one is full, and the release
// of every block at the end.
#include "pysyntax/arena.h"

#include <cstdlib>
#include <new>

namespace pysyntax {

void* Arena::allocate_slow(size_t size, size_t align) {
  if (size > kMaxRequest) throw std::bad_alloc();
  const size_t header = (sizeof(BlockHeader) + 15) & ~size_t(15);
  const size_t needed = header + size + align;
  // Blocks grow with the arena (up to 1 MiB, a quarter of what it holds) so that a large tree takes few of them.
  size_t ordinary = block_size_;
  while (ordinary < reserved_ / 4 && ordinary < (size_t(1) << 20)) ordinary *= 2;
  const size_t block = needed > ordinary ? needed : ordinary;
  auto* raw = static_cast<char*>(std::malloc(block));
  // Nothing has changed yet, so the arena stays whole; the caller's unwinding releases it.
  if (raw == nullptr) throw std::bad_alloc();
  auto* head = reinterpret_cast<BlockHeader*>(raw);
  head->size = block;
  reserved_ += block;
  char* begin = raw + header;
  if (needed > ordinary && cursor_ != nullptr) {
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

void Arena::reset() {
  BlockHeader* keep = nullptr;
  for (BlockHeader* block = blocks_; block != nullptr;) {
    BlockHeader* next = block->next;
    if (keep == nullptr || block->size > keep->size) {
      if (keep != nullptr) std::free(keep);
      keep = block;
    } else {
      std::free(block);
    }
    block = next;
  }
  blocks_ = keep;
  used_before_current_ = 0;
  reserved_ = 0;
  cursor_ = limit_ = block_begin_ = nullptr;
  if (keep == nullptr) return;
  keep->next = nullptr;
  reserved_ = keep->size;
  const size_t header = (sizeof(BlockHeader) + 15) & ~size_t(15);
  block_begin_ = cursor_ = reinterpret_cast<char*>(keep) + header;
  limit_ = reinterpret_cast<char*>(keep) + keep->size;
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
