// How much manifest one analysis may make. Most texts of the manifest are repeated once per record
// that shows them (a function's name in each of its unclassified calls, a pack's id in each hit,
// an import target in every call it resolves, a file's path in every record of the file), so a
// crafted tree can multiply one long text by many records: a 400 kB function name over 60,000
// calls would ask for 24 GB of JSON from 1 MB of source. Each record's share of the JSON is
// therefore estimated as the record is made, and the whole is held to 8 MiB plus 32 bytes for
// each byte of source analysed. Real projects stay far below that (the CPython standard library,
// with a pattern pack that matches every function, needs under 2 bytes per byte); past it no
// further record is made and the call fails.
#pragma once

#include <cstddef>
#include <limits>

namespace detect {

class OutputBudget {
 public:
  static constexpr std::size_t kBaseBytes = std::size_t{8} << 20;
  static constexpr std::size_t kBytesPerSourceByte = 32;
  // What one record's JSON takes besides its texts: keys, punctuation, a number or two.
  static constexpr std::size_t kRecordBytes = 128;

  // Raises the limit for `bytes` more bytes of source analysed.
  void allow_source(std::size_t bytes) { limit_ = saturating_add(limit_, saturating_times(bytes)); }

  // Charges one record whose texts take `text_bytes`; false once the charges pass the limit,
  // and from then on.
  [[nodiscard]] bool charge_record(std::size_t text_bytes) { return charge(saturating_add(text_bytes, kRecordBytes)); }
  // Charges more texts of a record already charged.
  [[nodiscard]] bool charge(std::size_t bytes) {
    used_ = saturating_add(used_, bytes);
    return used_ <= limit_;
  }

  [[nodiscard]] bool exceeded() const { return used_ > limit_; }
  [[nodiscard]] std::size_t limit() const { return limit_; }

 private:
  static std::size_t saturating_add(std::size_t a, std::size_t b) {
    return a > std::numeric_limits<std::size_t>::max() - b ? std::numeric_limits<std::size_t>::max() : a + b;
  }
  static std::size_t saturating_times(std::size_t bytes) {
    return bytes > std::numeric_limits<std::size_t>::max() / kBytesPerSourceByte
               ? std::numeric_limits<std::size_t>::max()
               : bytes * kBytesPerSourceByte;
  }

  std::size_t limit_ = kBaseBytes;
  std::size_t used_ = 0;
};

}  // namespace detect
