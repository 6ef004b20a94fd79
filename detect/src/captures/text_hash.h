// Polynomial hashes of texts modulo the prime 2^61 - 1, kept up to date while a text is cut and
// joined: the hash of a text is the sum of (byte + 1) * base^(bytes after it), and each text also
// keeps base^length, so joining two texts, or cutting a known prefix or suffix off one, gives the
// new hash in a few multiplications without looking at the bytes again.
//
// The base is drawn from the analysis' secret hash key, so a crafted project cannot aim for
// collisions. An equal hash is still only a hint: whoever acts on one compares the bytes.
#pragma once

#include <cstdint>
#include <string_view>

#include "common/seeded_hash.h"

namespace detect {

// A text's hash together with base^length.
struct TextHash {
  std::uint64_t hash = 0;
  std::uint64_t power = 1;
};

class TextHasher {
 public:
  static constexpr std::uint64_t kModulus = (std::uint64_t{1} << 61) - 1;

  explicit TextHasher(HashKey key);

  [[nodiscard]] TextHash of(std::string_view text) const {
    TextHash result;
    for (const char c : text) {
      result.hash = add(multiply(result.hash, base_), static_cast<unsigned char>(c) + 1u);
      result.power = multiply(result.power, base_);
    }
    return result;
  }

  // The hash of `front` followed by `back`.
  [[nodiscard]] static TextHash join(TextHash front, TextHash back) {
    return {add(multiply(front.hash, back.power), back.hash), multiply(front.power, back.power)};
  }

  // The hash of `whole` without its last bytes, `cut` (a text hashed by `of`, inverse its
  // `inverse_power`), which the caller knows `whole` to end with.
  [[nodiscard]] static TextHash drop_suffix(TextHash whole, TextHash cut, std::uint64_t cut_inverse_power) {
    return {multiply(subtract(whole.hash, cut.hash), cut_inverse_power), multiply(whole.power, cut_inverse_power)};
  }
  // The hash of `whole` without its first bytes, `cut`, which the caller knows `whole` to start with.
  [[nodiscard]] static TextHash drop_prefix(TextHash whole, TextHash cut, std::uint64_t cut_inverse_power) {
    const std::uint64_t rest_power = multiply(whole.power, cut_inverse_power);
    return {subtract(whole.hash, multiply(cut.hash, rest_power)), rest_power};
  }

  // base^-length for a text of `length` bytes.
  [[nodiscard]] std::uint64_t inverse_power(std::size_t length) const { return power_of(inverse_base_, length); }

 private:
  static std::uint64_t add(std::uint64_t a, std::uint64_t b) {
    std::uint64_t sum = a + b;
    return sum >= kModulus ? sum - kModulus : sum;
  }
  static std::uint64_t subtract(std::uint64_t a, std::uint64_t b) { return a >= b ? a - b : a + kModulus - b; }
  static std::uint64_t multiply(std::uint64_t a, std::uint64_t b) {
    const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
    std::uint64_t folded = static_cast<std::uint64_t>(product & kModulus) + static_cast<std::uint64_t>(product >> 61);
    return folded >= kModulus ? folded - kModulus : folded;
  }
  static std::uint64_t power_of(std::uint64_t value, std::uint64_t exponent) {
    std::uint64_t result = 1;
    for (; exponent != 0; exponent >>= 1, value = multiply(value, value))
      if (exponent & 1) result = multiply(result, value);
    return result;
  }

  std::uint64_t base_;
  std::uint64_t inverse_base_;
};

inline TextHasher::TextHasher(HashKey key)
    // Any base in [256, modulus - 2] will do; the key only has to make it unpredictable.
    : base_(256 + (key.k0 ^ (key.k1 * 0x9E3779B97F4A7C15ull)) % (kModulus - 258)),
      inverse_base_(power_of(base_, kModulus - 2)) {}

}  // namespace detect
