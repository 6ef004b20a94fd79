// Files and folders told apart by what they are rather than by the path that reached them: the
// device and inode numbers of their status. Symbolic links, hard links and bind mounts let many
// paths lead to one file, and each level of links can double their number, so whatever follows
// paths counts its visits per identity to keep its work proportional to the tree itself.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <unordered_map>
#include <unordered_set>

#include "common/seeded_hash.h"

namespace detect {

// How many times one call may use the same file or folder. A project commonly reaches a folder
// under its own name and under a link or two (`src`, and `lib` pointing at it): three lets every
// such path be walked as before, while a tree of links that reaches one folder along 2^40 paths
// costs at most three times what it would cost without its links.
inline constexpr std::uint8_t kMaxVisitsPerIdentity = 3;

struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;

  static FileIdentity of(const struct stat& status) { return {status.st_dev, status.st_ino}; }
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// Keyed like the text tables: the numbers come from a tree nobody vetted.
struct FileIdentityHash {
  HashKey key;
  std::size_t operator()(const FileIdentity& identity) const;
};

using FileIdentitySet = std::unordered_set<FileIdentity, FileIdentityHash>;

// The visits made so far, one counter per distinct identity.
class VisitCounts {
 public:
  explicit VisitCounts(HashKey key) : counts_(0, FileIdentityHash{key}) {}

  // Counts one more visit of the file that `status` describes; false, counting nothing, once that
  // file has had kMaxVisitsPerIdentity.
  [[nodiscard]] bool admit(const struct stat& status) {
    std::uint8_t& count = counts_[FileIdentity::of(status)];
    if (count == kMaxVisitsPerIdentity) return false;
    ++count;
    return true;
  }

 private:
  std::unordered_map<FileIdentity, std::uint8_t, FileIdentityHash> counts_;
};

}  // namespace detect
