#include "core/json_to_units.h"

#include <algorithm>
#include <string_view>

#include "detect/large_block.h"
#include "detect/utf8.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vesk {
namespace {

// How much text is decoded between two hand-backs of its pages: a huge page, the unit in which
// the text's block gives pages back.
constexpr std::size_t kStep = detect::LargeBlock::kHugePageSize;

constexpr std::size_t kBlock = 16;
constexpr std::size_t kGroup = 4 * kBlock;

#if defined(__SSE2__)

// One bit for each of the sixteen bytes at `in` that is above 7F.
unsigned high_bits(const char* in) {
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in))));
}

// The sixteen bytes at `in` as sixteen units at `out`, each byte zero-extended.
template <typename Unit>
void widen_block(const char* in, Unit* out) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  auto* to = reinterpret_cast<__m128i*>(out);
  if constexpr (sizeof(Unit) == 1) {
    _mm_storeu_si128(to, bytes);
  } else {
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = _mm_unpacklo_epi8(bytes, zero);
    const __m128i high = _mm_unpackhi_epi8(bytes, zero);
    if constexpr (sizeof(Unit) == 2) {
      _mm_storeu_si128(to, low);
      _mm_storeu_si128(to + 1, high);
    } else {
      _mm_storeu_si128(to, _mm_unpacklo_epi16(low, zero));
      _mm_storeu_si128(to + 1, _mm_unpackhi_epi16(low, zero));
      _mm_storeu_si128(to + 2, _mm_unpacklo_epi16(high, zero));
      _mm_storeu_si128(to + 3, _mm_unpackhi_epi16(high, zero));
    }
  }
}

#else

unsigned high_bits(const char* in) {
  unsigned bits = 0;
  for (std::size_t k = 0; k < kBlock; ++k) bits |= (static_cast<unsigned char>(in[k]) >> 7) << k;
  return bits;
}

template <typename Unit>
void widen_block(const char* in, Unit* out) {
  for (std::size_t k = 0; k < kBlock; ++k) out[k] = static_cast<unsigned char>(in[k]);
}

#endif

// One pass over the text, resumable at any byte where a character starts.
template <typename Unit>
class Decoder {
 public:
  Decoder(std::string_view in, Unit* out, std::size_t room, char32_t max_code_point)
      : in_(in), out_(out), room_(room), limit_(max_code_point) {}

  // Decodes whole characters until at least `stop` bytes are behind (or the text ends); false at
  // bytes that are not UTF-8, at a code point above the limit, or when the room runs out.
  bool run(std::size_t stop) {
    while (at_ < stop) {
      // Nearly all of a manifest is ASCII: four blocks at a time while they are.
      if (at_ + kGroup <= in_.size() && written_ + kGroup <= room_) {
        const char* group = in_.data() + at_;
        if ((high_bits(group) | high_bits(group + kBlock) | high_bits(group + 2 * kBlock) |
             high_bits(group + 3 * kBlock)) == 0) {
          Unit* to = out_ + written_;
          for (std::size_t k = 0; k < kGroup; k += kBlock) widen_block(group + k, to + k);
          at_ += kGroup;
          written_ += kGroup;
          continue;
        }
      }
      if (at_ + kBlock <= in_.size() && written_ + kBlock <= room_) {
        // The whole block is written; only its ASCII prefix counts, the rest is written over.
        const unsigned high = high_bits(in_.data() + at_);
        widen_block(in_.data() + at_, out_ + written_);
        if (high == 0) {
          at_ += kBlock;
          written_ += kBlock;
          continue;
        }
        const auto ascii = static_cast<std::size_t>(__builtin_ctz(high));
        at_ += ascii;
        written_ += ascii;
      } else if (static_cast<unsigned char>(in_[at_]) < 0x80) {
        if (written_ == room_) return false;
        out_[written_++] = static_cast<unsigned char>(in_[at_++]);
        continue;
      }
      if (!decode_one()) return false;
    }
    return true;
  }

  [[nodiscard]] std::size_t at() const { return at_; }
  // Whether the whole text filled the whole room, with `max_non_ascii` the largest code point
  // above U+007F.
  [[nodiscard]] bool exactly(char32_t max_non_ascii) const {
    return at_ == in_.size() && written_ == room_ && max_non_ascii_ == max_non_ascii;
  }

 private:
  // The character at `at_`, which starts with a byte above 7F.
  bool decode_one() {
    std::size_t subpart = 0;
    const std::size_t length = detect::utf8::sequence_length(in_, at_, &subpart);
    if (length == 0 || written_ == room_) return false;
    const char32_t code_point = detect::utf8::code_point(in_.data() + at_, length);
    if (code_point > limit_) return false;
    out_[written_++] = static_cast<Unit>(code_point);
    max_non_ascii_ = std::max(max_non_ascii_, code_point);
    at_ += length;
    return true;
  }

  std::string_view in_;
  Unit* out_;
  std::size_t room_;
  char32_t limit_;
  std::size_t at_ = 0;
  std::size_t written_ = 0;
  char32_t max_non_ascii_ = 0;
};

}  // namespace

template <typename Unit>
bool decode_to_units(JsonText& text, Unit* out, char32_t max_code_point) {
  const std::string_view in = text.view();
  Decoder<Unit> decoder(in, out, text.code_points(), max_code_point);
  // Steps end at whole multiples of a huge page, so that each hands back the pages of one step.
  std::size_t released = 0;
  while (decoder.at() < in.size()) {
    const std::size_t stop = std::min(in.size(), released + kStep);
    if (!decoder.run(stop)) return false;
    text.discard(released, stop);
    released = stop;
  }
  return decoder.exactly(text.max_non_ascii());
}

template bool decode_to_units<std::uint8_t>(JsonText&, std::uint8_t*, char32_t);
template bool decode_to_units<std::uint16_t>(JsonText&, std::uint16_t*, char32_t);
template bool decode_to_units<std::uint32_t>(JsonText&, std::uint32_t*, char32_t);

}  // namespace vesk
