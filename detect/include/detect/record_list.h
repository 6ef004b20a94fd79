// The list type of the manifest's bulk records: a contiguous array of trivially copyable records
// in a `LargeBlock`. Past the heap's share growing remaps the block, so records already written
// are neither copied nor held twice, and no memory is first touched for anything but new records;
// with hundreds of thousands of records a copying vector would touch about twice the memory the
// list ends up in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>
#include <type_traits>
#include <utility>

#include "detect/large_block.h"

namespace detect {

template <typename Record>
class RecordList {
  static_assert(std::is_trivially_copyable_v<Record> && std::is_trivially_destructible_v<Record>,
                "records are moved by realloc and by remapping their pages");

 public:
  RecordList() = default;
  RecordList(std::initializer_list<Record> records) { *this = records; }
  RecordList& operator=(std::initializer_list<Record> records) {
    size_ = 0;
    reserve(records.size());
    for (const Record& record : records) push_back(record);
    return *this;
  }
  RecordList(RecordList&& other) noexcept
      : block_(std::move(other.block_)), size_(std::exchange(other.size_, 0)) {}
  RecordList& operator=(RecordList&& other) noexcept {
    std::swap(block_, other.block_);
    std::swap(size_, other.size_);
    return *this;
  }
  RecordList(const RecordList&) = delete;
  RecordList& operator=(const RecordList&) = delete;

  void push_back(const Record& record) {
    if ((size_ + 1) * sizeof(Record) > block_.capacity()) reserve(size_ + 1);
    std::memcpy(static_cast<void*>(data() + size_), &record, sizeof(Record));
    ++size_;
  }
  // Room for `count` records in all (more is taken as the block grows in steps).
  void reserve(std::size_t count) {
    // A count whose bytes do not fit in a size cannot be had either.
    if (count > SIZE_MAX / sizeof(Record) || !block_.grow_to(count * sizeof(Record))) throw std::bad_alloc();
  }

  [[nodiscard]] Record* data() { return reinterpret_cast<Record*>(block_.data()); }
  [[nodiscard]] const Record* data() const { return reinterpret_cast<const Record*>(block_.data()); }
  [[nodiscard]] std::size_t size() const { return size_; }
  [[nodiscard]] bool empty() const { return size_ == 0; }
  Record& operator[](std::size_t i) { return data()[i]; }
  const Record& operator[](std::size_t i) const { return data()[i]; }
  [[nodiscard]] const Record& front() const { return data()[0]; }
  [[nodiscard]] const Record& back() const { return data()[size_ - 1]; }
  Record* begin() { return data(); }
  Record* end() { return data() + size_; }
  const Record* begin() const { return data(); }
  const Record* end() const { return data() + size_; }

 private:
  LargeBlock block_;
  std::size_t size_ = 0;
};

}  // namespace detect
