// The secret keys of the hash tables that hold text from the analysed project (names, anchors,
// free pack keys): one draw from the operating system's random source per analysis, and a key of
// its own for every table derived from it, so a crafted project cannot force collisions and a
// call asks the system for randomness once, not once per table.
#pragma once

#include <cstdint>

namespace detect {

struct HashKey {
  std::uint64_t k0 = 0;
  std::uint64_t k1 = 0;
};

// One per analysis (an analyze_path call), lent to each part that makes tables. Each key is
// SipHash of a counter under the drawn key, so the keys handed out look independent of one another
// and of the draw.
class HashSeeds {
 public:
  // Draws the key from the OS random source (getrandom).
  HashSeeds();

  // A fresh key for one table.
  HashKey next();

  // Seeds of their own for a part that hands out keys beyond this call's borrow (the manifest
  // builder keeps its seeds for as long as it lives), derived without a further draw.
  HashSeeds fork() { return HashSeeds(next()); }

 private:
  explicit HashSeeds(HashKey base) : base_(base) {}

  HashKey base_;
  std::uint64_t handed_out_ = 0;
};

}  // namespace detect
