#include "detect/large_block.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace detect {
namespace {

// More than any address space holds: a larger request fails before the rounding below can wrap
// around to a small size.
constexpr std::size_t kMaxCapacity = std::size_t{1} << 48;

std::size_t round_up(std::size_t size, std::size_t unit) { return (size + unit - 1) / unit * unit; }

// A fresh mapping whose start is aligned to a huge page, so that the kernel can back all of it
// with huge pages: a little more is mapped, and the unaligned ends are given back.
char* map_aligned(std::size_t size) {
  const std::size_t mapped = size + LargeBlock::kHugePageSize;
  void* raw = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = round_up(start, LargeBlock::kHugePageSize);
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
  if (capacity > kMaxCapacity) return false;
  // By at least half again, so that growth is rare.
  const std::size_t wanted = std::max(capacity, capacity_ + capacity_ / 2);
  if (wanted < kPagesFrom) {
    // realloc leaves the block as it was when it fails.
    void* moved = std::realloc(data_, wanted);
    if (moved == nullptr) return false;
    data_ = static_cast<char*>(moved);
    capacity_ = wanted;
    return true;
  }
  const std::size_t size = round_up(wanted, kHugePageSize);
  if (capacity_ >= kPagesFrom) {
    void* moved = ::mremap(data_, capacity_, size, MREMAP_MAYMOVE);
    if (moved == MAP_FAILED) return false;
    data_ = static_cast<char*>(moved);
    capacity_ = size;
    return true;
  }
  // A first mapping, or a heap block turning large: its bytes are copied over.
  char* fresh = map_aligned(size);
  if (fresh == nullptr) return false;
  if (data_ != nullptr) {
    std::memcpy(fresh, data_, capacity_);
    std::free(data_);
  }
  data_ = fresh;
  capacity_ = size;
  return true;
}

void LargeBlock::release() {
  if (capacity_ >= kPagesFrom) {
    ::munmap(data_, capacity_);
  } else {
    std::free(data_);
  }
  data_ = nullptr;
  capacity_ = 0;
}

void LargeBlock::discard(std::size_t from, std::size_t to) {
  if (capacity_ < kPagesFrom) return;
  // Whole huge pages only (the block starts at one), so that none is split into small ones.
  const std::size_t begin = round_up(from, kHugePageSize);
  const std::size_t end = std::min(to, capacity_) / kHugePageSize * kHugePageSize;
  // Only advice: pages the system does not take back are merely kept a little longer.
  if (begin < end) ::madvise(data_ + begin, end - begin, MADV_DONTNEED);
}

}  // namespace detect
