// A bump allocator that owns every node of one syntax tree, and `Span`, the view of a child list
// stored in it. Nodes are trivially destructible, so the arena frees its blocks in one sweep and
// never runs destructors; there is no per-node free. An arena is movable, not copyable; a tree
// lives exactly as long as the arena it was parsed into. A request the system cannot meet throws
// std::bad_alloc and leaves the arena as it was, still usable and still releasing all it holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>
#include <type_traits>
#include <utility>

namespace pysyntax {

/// A read-only view of `size` consecutive elements, usually stored in an `Arena`.
template <class T>
class Span {
 public:
  constexpr Span() = default;
  constexpr Span(const T* data, uint32_t size) : data_(data), size_(size) {}

  constexpr const T* begin() const { return data_; }
  constexpr const T* end() const { return data_ + size_; }
  constexpr const T* data() const { return data_; }
  constexpr uint32_t size() const { return size_; }
  constexpr bool empty() const { return size_ == 0; }
  constexpr const T& operator[](uint32_t i) const { return data_[i]; }
  constexpr const T& front() const { return data_[0]; }
  constexpr const T& back() const { return data_[size_ - 1]; }

 private:
  const T* data_ = nullptr;
  uint32_t size_ = 0;
};

class Arena {
 public:
  /// `block_size` is the size of the ordinary blocks; larger requests get a block of their own.
  explicit Arena(size_t block_size = 64 * 1024) : block_size_(block_size) {}
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  Arena(Arena&& other) noexcept { swap(other); }
  Arena& operator=(Arena&& other) noexcept {
    if (this != &other) {
      release();
      swap(other);
    }
    return *this;
  }
  ~Arena() { release(); }

  /// Uninitialised memory for `size` bytes aligned to `align` (a power of two, at most 16).
  void* allocate(size_t size, size_t align) {
    uintptr_t p = (reinterpret_cast<uintptr_t>(cursor_) + (align - 1)) & ~uintptr_t(align - 1);
    const uintptr_t limit = reinterpret_cast<uintptr_t>(limit_);
    // Compared as room left, so that no size, however large, wraps around past the limit.
    if (cursor_ == nullptr || p > limit || size > limit - p) return allocate_slow(size, align);
    cursor_ = reinterpret_cast<char*>(p + size);
    return reinterpret_cast<void*>(p);
  }

  /// Constructs a `T` in the arena. `T` must be trivially destructible: nothing runs at release.
  template <class T, class... Args>
  T* make(Args&&... args) {
    static_assert(std::is_trivially_destructible_v<T>);
    return new (allocate(sizeof(T), alignof(T))) T{std::forward<Args>(args)...};
  }

  /// Copies `n` elements into the arena and returns the span over the copy.
  template <class T>
  Span<T> copy(const T* data, size_t n) {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
    if (n == 0) return {};
    // A span counts in 32 bits; that bound also keeps the size below `kMaxRequest`.
    static_assert(UINT32_MAX <= kMaxRequest / sizeof(T));
    if (n > UINT32_MAX) throw std::bad_alloc();
    T* out = static_cast<T*>(allocate(sizeof(T) * n, alignof(T)));
    std::memcpy(static_cast<void*>(out), data, sizeof(T) * n);
    return Span<T>(out, static_cast<uint32_t>(n));
  }

  /// Copies a text into the arena.
  std::string_view copy(std::string_view text) {
    if (text.empty()) return {};
    char* out = static_cast<char*>(allocate(text.size(), 1));
    std::memcpy(out, text.data(), text.size());
    return {out, text.size()};
  }

  /// Forgets every allocation but keeps the largest block for reuse, so one arena can serve
  /// file after file without returning its memory to the system in between. Trees parsed into
  /// the arena before are gone.
  void reset();

  /// Bytes handed out so far (including alignment padding).
  size_t bytes_used() const { return used_before_current_ + static_cast<size_t>(cursor_ - block_begin_); }
  /// Bytes obtained from the system.
  size_t bytes_reserved() const { return reserved_; }

 private:
  /// More than any address space holds: a larger request is refused before its size can wrap
  /// around in the block arithmetic.
  static constexpr size_t kMaxRequest = size_t(1) << 48;

  struct BlockHeader {
    BlockHeader* next;
    size_t size;
  };

  void* allocate_slow(size_t size, size_t align);
  void release();
  void swap(Arena& other) noexcept {
    std::swap(block_size_, other.block_size_);
    std::swap(blocks_, other.blocks_);
    std::swap(cursor_, other.cursor_);
    std::swap(limit_, other.limit_);
    std::swap(block_begin_, other.block_begin_);
    std::swap(used_before_current_, other.used_before_current_);
    std::swap(reserved_, other.reserved_);
  }

  size_t block_size_ = 64 * 1024;
  BlockHeader* blocks_ = nullptr;
  char* cursor_ = nullptr;
  char* limit_ = nullptr;
  char* block_begin_ = nullptr;
  size_t used_before_current_ = 0;
  size_t reserved_ = 0;
};

}  // namespace pysyntax
