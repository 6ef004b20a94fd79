#include "common/seeded_hash.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>

namespace detect {
namespace {

inline std::uint64_t rotl(std::uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

struct SipState {
  std::uint64_t v0, v1, v2, v3;
  void round() {
    v0 += v1; v1 = rotl(v1, 13); v1 ^= v0; v0 = rotl(v0, 32);
    v2 += v3; v3 = rotl(v3, 16); v3 ^= v2;
    v0 += v3; v3 = rotl(v3, 21); v3 ^= v0;
    v2 += v1; v1 = rotl(v1, 17); v1 ^= v2; v2 = rotl(v2, 32);
  }
};

HashKey random_key() {
  HashKey key;
  unsigned char bytes[16];
  std::size_t filled = 0;
  while (filled < sizeof bytes) {
    const ssize_t got = ::getrandom(bytes + filled, sizeof bytes - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      // No random source: the tables still work, only their collision resistance is lost.
      break;
    }
    filled += static_cast<std::size_t>(got);
  }
  std::memcpy(&key.k0, bytes, 8);
  std::memcpy(&key.k1, bytes + 8, 8);
  return key;
}

}  // namespace

std::uint64_t siphash13(HashKey key, std::string_view data) {
  SipState s{key.k0 ^ 0x736f6d6570736575ULL, key.k1 ^ 0x646f72616e646f6dULL,
             key.k0 ^ 0x6c7967656e657261ULL, key.k1 ^ 0x7465646279746573ULL};
  const std::size_t n = data.size();
  const unsigned char* p = reinterpret_cast<const unsigned char*>(data.data());
  const std::size_t whole = n & ~std::size_t{7};
  for (std::size_t i = 0; i < whole; i += 8) {
    std::uint64_t m;
    std::memcpy(&m, p + i, 8);
    s.v3 ^= m;
    s.round();
    s.v0 ^= m;
  }
  std::uint64_t last = static_cast<std::uint64_t>(n) << 56;
  for (std::size_t i = whole; i < n; ++i) last |= static_cast<std::uint64_t>(p[i]) << (8 * (i - whole));
  s.v3 ^= last;
  s.round();
  s.v0 ^= last;
  s.v2 ^= 0xff;
  s.round();
  s.round();
  s.round();
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

HashSeeds::HashSeeds() : base_(random_key()) {}

HashSeeds HashSeeds::fork() {
  // SipHash of a counter under this key: the forked key looks independent of every key handed
  // out here, whose k0 only counts up.
  const std::uint64_t words[2] = {2 * forks_, 2 * forks_ + 1};
  ++forks_;
  const auto word = [&](int i) { return std::string_view(reinterpret_cast<const char*>(&words[i]), sizeof words[i]); };
  return HashSeeds(HashKey{siphash13(base_, word(0)), siphash13(base_, word(1))});
}

}  // namespace detect
