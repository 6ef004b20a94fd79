#include "detect/large_block.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

namespace detect {
namespace {

constexpr std::size_t kPageSize = 4096;
constexpr std::size_t kHugePageSize = std::size_t{2} << 20;
// Blocks from this size on are laid out for huge pages.
constexpr std::size_t kHugeFrom = std::size_t{1} << 20;
// More than any address space holds: a larger request fails before the rounding below can wrap
// around to a small size.
constexpr std::size_t kMaxCapacity = std::size_t{1} << 48;

std::size_t round_up(std::size_t size, std::size_t unit) { return (size + unit - 1) / unit * unit; }

char* map_pages(std::size_t size) {
  void* raw = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  return raw == MAP_FAILED ? nullptr : static_cast<char*>(raw);
}

// A fresh mapping whose start is aligned to a huge page, so that the kernel can back all of it
// with huge pages: a little more is mapped, and the unaligned ends are given back.
char* map_aligned(std::size_t size) {
  const std::size_t mapped = size + kHugePageSize;
  void* raw = map_pages(mapped);
  if (raw == nullptr) return nullptr;
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
  if (capacity > kMaxCapacity) return false;
  // By at least half again, so that growth is rare; in small pages while small (a huge page
  // would be mostly unused), in whole huge pages from a megabyte on.
  const std::size_t wanted = std::max(capacity, capacity_ + capacity_ / 2);
  const bool huge = wanted >= kHugeFrom;
  const std::size_t size = round_up(wanted, huge ? kHugePageSize : kPageSize);
  if (data_ != nullptr && (capacity_ >= kHugeFrom || !huge)) {
    void* moved = ::mremap(data_, capacity_, size, MREMAP_MAYMOVE);
    if (moved == MAP_FAILED) return false;
    data_ = static_cast<char*>(moved);
    capacity_ = size;
    return true;
  }
  // A first mapping, or a small block turning large: a fresh aligned mapping (the few bytes of a
  // small block are copied over).
  char* fresh = huge ? map_aligned(size) : map_pages(size);
  if (fresh == nullptr) return false;
  if (data_ != nullptr) {
    std::memcpy(fresh, data_, capacity_);
    ::munmap(data_, capacity_);
  }
  data_ = fresh;
  capacity_ = size;
  return true;
}

void LargeBlock::release() {
  if (data_ != nullptr) ::munmap(data_, capacity_);
  data_ = nullptr;
  capacity_ = 0;
}

}  // namespace detect
