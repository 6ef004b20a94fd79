// The bump arena: alignment, large requests beside ordinary blocks, reuse after reset, moves,
// requests that cannot be met.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <new>

#include "pysyntax/arena.h"

namespace pysyntax {
namespace {

TEST(Arena, AlignsAndKeepsEveryAllocationIntact) {
  Arena arena(256);
  std::vector<std::pair<uint64_t*, uint64_t>> written;
  for (uint64_t i = 0; i < 2000; ++i) {
    arena.allocate(1 + i % 7, 1);  // misalign the cursor
    auto* p = static_cast<uint64_t*>(arena.allocate(sizeof(uint64_t), alignof(uint64_t)));
    ASSERT_EQ(reinterpret_cast<uintptr_t>(p) % alignof(uint64_t), 0u);
    *p = i * 2654435761u;
    written.emplace_back(p, *p);
  }
  // A request larger than a block gets its own block and leaves the current one usable.
  char* big = static_cast<char*>(arena.allocate(10000, 16));
  std::memset(big, 'x', 10000);
  for (auto& [p, value] : written) ASSERT_EQ(*p, value);
  EXPECT_GE(arena.bytes_reserved(), arena.bytes_used());
  EXPECT_EQ(arena.copy(std::string_view("abc")), "abc");
}

TEST(Arena, ResetKeepsOneBlockAndMoveTransfersOwnership) {
  Arena arena(1024);
  for (int i = 0; i < 100; ++i) arena.allocate(500, 8);
  arena.reset();
  EXPECT_EQ(arena.bytes_used(), 0u);
  const size_t kept = arena.bytes_reserved();
  EXPECT_GT(kept, 0u);
  void* first = arena.allocate(16, 8);
  EXPECT_EQ(arena.bytes_reserved(), kept);  // served from the kept block

  Arena moved(std::move(arena));
  EXPECT_EQ(moved.bytes_reserved(), kept);
  EXPECT_EQ(arena.bytes_reserved(), 0u);
  arena = std::move(moved);
  EXPECT_EQ(arena.bytes_reserved(), kept);
  EXPECT_NE(first, nullptr);
}

// Sizes whose block arithmetic would wrap around (handing out a few bytes as a huge request) or
// that no system can give: each is refused as an exhausted allocation, and the arena stays whole.
TEST(Arena, RefusesWhatNoAddressSpaceHoldsAndStaysUsable) {
  Arena arena(256);
  const std::string_view kept = arena.copy(std::string_view("kept"));
  const size_t used = arena.bytes_used();
  const size_t reserved = arena.bytes_reserved();
  for (const size_t size : {SIZE_MAX, SIZE_MAX - 8, SIZE_MAX / 2, size_t(1) << 62}) {
    EXPECT_THROW(arena.allocate(size, 8), std::bad_alloc) << size;
  }
  const uint64_t element = 0;
  EXPECT_THROW(arena.copy(&element, SIZE_MAX / 4), std::bad_alloc);
  EXPECT_EQ(arena.bytes_used(), used);
  EXPECT_EQ(arena.bytes_reserved(), reserved);
  EXPECT_EQ(kept, "kept");
  EXPECT_EQ(arena.copy(std::string_view("more")), "more");
}

}  // namespace
}  // namespace pysyntax
