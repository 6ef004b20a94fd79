// Memory for the few buffers of one analysis that can grow large (the texts of the bulk records,
// the record lists, the JSON text). Below 1 MiB a block is ordinary heap memory (malloc and
// realloc); from 1 MiB on it is taken from the system in whole pages, aligned and marked for
// transparent huge pages, and grows by remapping.
//
// Why the two: first touching tens of megabytes page by page costs tens of thousands of faults,
// which in a virtual machine cost more than the analysis itself; in huge pages it takes a few
// dozen, and remapping moves pages instead of copying bytes. Below a huge page's worth none of
// that pays, while every mapping costs system calls and, when it goes, a flush of the address
// translations: a small analysis repeated over and over then spends a third of its time in the
// kernel. The heap keeps what a call freed for the next one.
#pragma once

#include <cstddef>
#include <utility>

namespace detect {

class LargeBlock {
 public:
  // Blocks of this capacity and more live in pages of their own; smaller ones on the heap.
  static constexpr std::size_t kPagesFrom = std::size_t{1} << 20;
  // The huge page of x86-64 and most other systems: a paged block starts at one, spans whole
  // ones and gives memory back in whole ones, so that none is split into small pages.
  static constexpr std::size_t kHugePageSize = std::size_t{2} << 20;

  LargeBlock() = default;
  LargeBlock(LargeBlock&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)), capacity_(std::exchange(other.capacity_, 0)) {}
  LargeBlock& operator=(LargeBlock&& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(capacity_, other.capacity_);
    return *this;
  }
  LargeBlock(const LargeBlock&) = delete;
  LargeBlock& operator=(const LargeBlock&) = delete;
  ~LargeBlock() { release(); }

  // Room for at least `capacity` bytes in all, the bytes held so far kept in place or moved
  // along; false (and the block unchanged) when the system has no memory to give.
  [[nodiscard]] bool grow_to(std::size_t capacity);
  void release();
  // Gives the whole pages that lie inside bytes [from, to) back to the system, which then no
  // longer counts them as resident; their bytes are not to be read again. For a block that is
  // read once from front to back, so that it does not stay in memory beside what is made of it.
  // A heap block keeps its memory: it is small.
  void discard(std::size_t from, std::size_t to);

  [[nodiscard]] char* data() const { return data_; }
  [[nodiscard]] std::size_t capacity() const { return capacity_; }

 private:
  char* data_ = nullptr;
  std::size_t capacity_ = 0;  // below kPagesFrom exactly when the block is on the heap
};

}  // namespace detect
