#include "detect/large_block.h"

#include <sys/mman.h>

#include <cstdint>

namespace detect {
namespace {

constexpr std::size_t kHugePageSize = std::size_t{2} << 20;

std::size_t round_up(std::size_t size, std::size_t unit) { return (size + unit - 1) / unit * unit; }

// A fresh mapping whose start is aligned to a huge page, so that the kernel can back all of it
// with huge pages: a little more is mapped, and the unaligned ends are given back.
char* map_aligned(std::size_t size) {
  const std::size_t mapped = size + kHugePageSize;
  void* raw = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = round_up(start, kHugePageSize);
  if (aligned != start) ::munmap(raw, aligned - start);
  const std::size_t tail = start + mapped - (aligned + size);
  if (tail != 0) ::munmap(reinterpret_cast<void*>(aligned + size), tail);
  // Only advice: where huge pages are switched off the block simply has small ones.
  ::madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
  return reinterpret_cast<char*>(aligned);
}

}  // namespace

bool LargeBlock::grow_to(std::size_t capacity) {
  if (capacity <= capacity_) return true;
  // Whole huge pages while small, then by at least half again, so that growth is rare.
  std::size_t size = round_up(capacity, kHugePageSize);
  if (size < capacity_ + capacity_ / 2) size = round_up(capacity_ + capacity_ / 2, kHugePageSize);
  if (data_ == nullptr) {
    char* fresh = map_aligned(size);
    if (fresh == nullptr) return false;
    data_ = fresh;
    capacity_ = size;
    return true;
  }
  void* moved = ::mremap(data_, capacity_, size, MREMAP_MAYMOVE);
  if (moved == MAP_FAILED) return false;
  ::madvise(moved, size, MADV_HUGEPAGE);
  data_ = static_cast<char*>(moved);
  capacity_ = size;
  return true;
}

void LargeBlock::release() {
  if (data_ != nullptr) ::munmap(data_, capacity_);
  data_ = nullptr;
  capacity_ = 0;
}

}  // namespace detect
