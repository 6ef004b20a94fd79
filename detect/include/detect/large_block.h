// Memory for the few large buffers of one analysis (the texts of the bulk records, the JSON
// text): taken from the system in whole pages and marked for transparent huge pages. First
// touching tens of megabytes page by page costs tens of thousands of faults, which in a virtual
// machine cost more than the analysis itself; in huge pages it takes a few dozen. A block grows
// by remapping, which moves the pages instead of copying the bytes.
#pragma once

#include <cstddef>
#include <new>
#include <utility>

namespace detect {

class LargeBlock {
 public:
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

  [[nodiscard]] char* data() const { return data_; }
  [[nodiscard]] std::size_t capacity() const { return capacity_; }

 private:
  char* data_ = nullptr;
  std::size_t capacity_ = 0;
};

// Memory for a list of records: small lists from the ordinary heap, large ones in mappings of
// their own like a `LargeBlock`. Throws std::bad_alloc when out of memory, as new does.
void* allocate_large(std::size_t bytes);
void deallocate_large(void* memory, std::size_t bytes) noexcept;

template <typename T>
struct LargeAllocator {
  using value_type = T;
  LargeAllocator() = default;
  template <typename U>
  LargeAllocator(const LargeAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) { return static_cast<T*>(allocate_large(n * sizeof(T))); }
  void deallocate(T* memory, std::size_t n) noexcept { deallocate_large(memory, n * sizeof(T)); }
  friend bool operator==(LargeAllocator, LargeAllocator) { return true; }
};

}  // namespace detect
