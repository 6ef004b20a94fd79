// Memory for the few large buffers of one analysis (the texts of the bulk records, the JSON
// text): taken from the system in whole pages and marked for transparent huge pages. First
// touching tens of megabytes page by page costs tens of thousands of faults, which in a virtual
// machine cost more than the analysis itself; in huge pages it takes a few dozen. A block grows
// by remapping, which moves the pages instead of copying the bytes.
#pragma once

#include <cstddef>
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

}  // namespace detect
