// One folder's listing, read whole while the folder is open, so that the folder need not stay open
// while the walk descends into its subfolders: the open descriptors of a walk then stay the same
// however deep the tree goes, and only the names still to be visited are held for each folder on
// the current path.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace detect {

// The buffer that every listing of a walk reads its entries through, made on first use.
struct ListingBuffer {
  static constexpr std::size_t kSize = 32768;  // as readdir's own
  std::unique_ptr<char[]> bytes;
};

class FolderListing {
 public:
  struct Entry {
    std::string_view name;
    unsigned char type;  // the listing's d_type: DT_DIR, DT_REG, DT_LNK, ..., DT_UNKNOWN
  };

  // The entries of the open folder `folder` (read from its own descriptor, whose offset this
  // moves), in the order the system lists them, without "." and ".." and without the names that
  // `keep` refuses. `folder` stays open and the caller's. A listing that fails part-way keeps the
  // entries read before the failure and gives the failure after them (`failure`), where a walk
  // that streamed the listing would have met it.
  static FolderListing read(int folder, bool (*keep)(std::string_view name), ListingBuffer& buffer);

  // The next entry, valid until the listing is destroyed; nothing once all were given.
  std::optional<Entry> next();

  // The error number that cut the listing short, or 0.
  [[nodiscard]] int failure() const { return failure_; }

 private:
  std::string entries_;  // per entry: its type byte, its name, a NUL (names never hold one)
  std::size_t next_ = 0;
  int failure_ = 0;
};

}  // namespace detect
