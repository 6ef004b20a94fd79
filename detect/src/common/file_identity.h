// Files and folders told apart by what they are rather than by the path that reached them: the
// device and inode numbers of their status. Symbolic links, hard links and bind mounts let many
// paths lead to one file.
#pragma once

#include <sys/stat.h>

#include <unordered_set>

#include "common/seeded_hash.h"

namespace detect {

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

}  // namespace detect
