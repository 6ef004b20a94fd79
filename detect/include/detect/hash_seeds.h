// The secret keys of the hash tables that hold text from the analysed project (names, anchors,
// free pack keys): one draw from the operating system's random source per analysis, and a key of
// its own for every table made from it, so a crafted project cannot force collisions and a
// call asks the system for randomness once, not once per table.
#pragma once

#include <cstdint>

namespace detect {

struct HashKey {
  std::uint64_t k0 = 0;
  std::uint64_t k1 = 0;
};

// One per analysis (an analyze_path call), lent to each part that makes tables. The keys handed
// out differ in k0 alone (k0 + 1 each time), as keys per table need only differ, not be
// independent; a fork starts from a key derived by SipHash, so its keys never meet these.
class HashSeeds {
 public:
  // Draws the key from the OS random source (getrandom).
  HashSeeds();

  // A fresh key for one table.
  HashKey next() {
    HashKey key = base_;
    base_.k0 += 1;
    return key;
  }

  // Seeds of their own for a part that hands out keys beyond this call's borrow (the manifest
  // builder keeps its seeds for as long as it lives), derived without a further draw.
  HashSeeds fork();

 private:
  explicit HashSeeds(HashKey base) : base_(base) {}

  HashKey base_;
  std::uint64_t forks_ = 0;
};

}  // namespace detect
