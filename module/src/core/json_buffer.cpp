// Written forms of JSON texts, unsigned integers and 32-bit floats.
#include "core/json_buffer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

#include "detect/utf8.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vesk {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// The escape of one byte, or an empty view when the byte is written as itself.
std::string_view short_escape(unsigned char c) {
  switch (c) {
    case '"': return "\\\"";
    case '\\': return "\\\\";
    case '\b': return "\\b";
    case '\t': return "\\t";
    case '\n': return "\\n";
    case '\f': return "\\f";
    case '\r': return "\\r";
    default: return {};
  }
}

// What a text holds that its plain copy would not deal with.
enum TextFinding : unsigned { kNothingToDo = 0, kEscapes = 1, kNonAscii = 2 };

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighs = 0x8080808080808080ULL;

// The high bit of each byte set where the byte's value is zero, or where it is below 0x20, is a
// quotation mark or is a backslash (some bits may be set beside a byte that is; none are set when
// no byte is): eight bytes at a time.
std::uint64_t zero_bits(std::uint64_t x) { return (x - kOnes) & ~x; }
std::uint64_t escape_bits(std::uint64_t word) {
  return ((word - kOnes * 0x20) & ~word) | zero_bits(word ^ (kOnes * '"')) | zero_bits(word ^ (kOnes * '\\'));
}

std::uint64_t load8(const char* at) {
  std::uint64_t word;
  __builtin_memcpy(&word, at, 8);
  return word;
}
void store8(char* at, std::uint64_t word) { __builtin_memcpy(at, &word, 8); }
std::uint32_t load4(const char* at) {
  std::uint32_t word;
  __builtin_memcpy(&word, at, 4);
  return word;
}
void store4(char* at, std::uint32_t word) { __builtin_memcpy(at, &word, 4); }

unsigned findings(std::uint64_t all, std::uint64_t escapes) {
  return ((escapes & kHighs) != 0 ? kEscapes : kNothingToDo) | ((all & kHighs) != 0 ? kNonAscii : kNothingToDo);
}

// Copies the `size` bytes at `in` to `out` and tells what they hold. Nearly every text of a
// manifest (names, dotted paths, file paths) is ASCII with nothing to escape and is then done
// with this one copy, a block at a time; a text with escapes is written again over the copy.
// Short texts are read and written as two words that overlap (each byte of both is the text's),
// longer ones in blocks of sixteen, the last block overlapping the one before.
unsigned copy_scanning(const char* in, std::size_t size, char* out) {
  if (size < 16) {
    std::uint64_t first = 0;
    std::uint64_t second = 0;
    if (size >= 8) {
      first = load8(in);
      second = load8(in + size - 8);
      store8(out, first);
      store8(out + size - 8, second);
    } else if (size >= 4) {
      const std::uint32_t low = load4(in);
      const std::uint32_t high = load4(in + size - 4);
      store4(out, low);
      store4(out + size - 4, high);
      first = second = low | (std::uint64_t{high} << 32);
    } else if (size > 0) {
      // Bytes 0, size/2 and size-1 are all of them; the word repeats the first one.
      const auto a = static_cast<unsigned char>(in[0]);
      const auto b = static_cast<unsigned char>(in[size / 2]);
      const auto c = static_cast<unsigned char>(in[size - 1]);
      out[0] = static_cast<char>(a);
      out[size / 2] = static_cast<char>(b);
      out[size - 1] = static_cast<char>(c);
      first = second = (a * kOnes & ~std::uint64_t{0xFFFF00}) | (std::uint64_t{b} << 8) | (std::uint64_t{c} << 16);
    } else {
      return kNothingToDo;
    }
    return findings(first | second, escape_bits(first) | escape_bits(second));
  }
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i last_control = _mm_set1_epi8(0x1F);
  __m128i escapes = _mm_setzero_si128();
  __m128i all = _mm_setzero_si128();
  auto block = [&](std::size_t at) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), v);
    all = _mm_or_si128(all, v);
    // A byte is a control exactly when it is its minimum with 1F.
    const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(v, last_control), v);
    escapes = _mm_or_si128(escapes, _mm_or_si128(control, _mm_or_si128(_mm_cmpeq_epi8(v, quote),
                                                                        _mm_cmpeq_epi8(v, backslash))));
  };
  std::size_t i = 0;
  for (; i + 16 <= size; i += 16) block(i);
  if (i < size) block(size - 16);
  return (_mm_movemask_epi8(escapes) != 0 ? kEscapes : kNothingToDo) |
         (_mm_movemask_epi8(all) != 0 ? kNonAscii : kNothingToDo);
#else
  std::uint64_t all = 0;
  std::uint64_t escapes = 0;
  auto word = [&](std::size_t at) {
    const std::uint64_t w = load8(in + at);
    store8(out + at, w);
    all |= w;
    escapes |= escape_bits(w);
  };
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) word(i);
  if (i < size) word(size - 8);
  return findings(all, escapes);
#endif
}

}  // namespace

void CodePointCount::add_non_ascii(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      ++i;
      continue;
    }
    std::size_t subpart = 0;
    const std::size_t length = detect::utf8::sequence_length(text, i, &subpart);
    if (length == 0) {
      well_formed = false;
      return;
    }
    max_non_ascii = std::max(max_non_ascii, detect::utf8::code_point(text.data() + i, length));
    continuation_bytes += length - 1;
    i += length;
  }
}

void JsonBuffer::string_in_room(std::string_view text) {
  const unsigned found = copy_scanning(text.data(), text.size(), data_ + size_ + 1);
  // The rare texts are finished elsewhere, so that this path saves no registers.
  if (found != kNothingToDo) {
    string_in_room_found(text, found);
    return;
  }
  data_[size_] = '"';
  data_[size_ + 1 + text.size()] = '"';
  size_ += text.size() + 2;
}

__attribute__((noinline)) void JsonBuffer::string_in_room_found(std::string_view text, unsigned found) {
  // Escapes are ASCII and replace ASCII bytes, so the text's own code points are the ones written.
  if ((found & kNonAscii) != 0) count_.add_non_ascii(text);
  if ((found & kEscapes) == 0) {
    data_[size_] = '"';
    data_[size_ + 1 + text.size()] = '"';
    size_ += text.size() + 2;
    return;
  }
  // Over the copy.
  raw('"');
  std::size_t run_start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    append(text.substr(run_start, i - run_start));
    run_start = i + 1;
    if (const std::string_view escape = short_escape(c); !escape.empty()) {
      raw(escape);
    } else {
      const char unicode[] = {'\\', 'u', '0', '0', kHexDigits[c >> 4], kHexDigits[c & 0xF]};
      raw(std::string_view(unicode, sizeof unicode));
    }
  }
  append(text.substr(run_start));
  raw('"');
}

void JsonBuffer::u32(std::uint32_t value) {
  char digits[10];
  const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  (void)ec;  // ten digits always suffice for 32 bits
  raw(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

void JsonBuffer::f32(float value) {
  std::uint32_t bits = 0;
  __builtin_memcpy(&bits, &value, sizeof bits);
  repeated_in(last_float_, nullptr, 0, bits, [value](JsonBuffer& out) { out.write_f32(value); });
}

void JsonBuffer::write_f32(float value) {
  if (!std::isfinite(value)) {
    raw("null");
    return;
  }
  if (value == 0.0f) {
    raw(std::signbit(value) ? "-0.0" : "0.0");
    return;
  }
  // Shortest round-trip digits of the float itself (never widened to double), in scientific form:
  // "-d.ddde±xx". The layout below only rearranges these digits.
  char scientific[32];
  const auto [end, ec] = std::to_chars(scientific, scientific + sizeof scientific, value,
                                       std::chars_format::scientific);
  (void)ec;  // a float needs at most 15 characters here
  std::string_view text(scientific, static_cast<std::size_t>(end - scientific));

  if (text.front() == '-') {
    raw('-');
    text.remove_prefix(1);
  }
  const std::size_t e_pos = text.find('e');
  const std::string_view mantissa = text.substr(0, e_pos);
  int exponent = 0;
  std::from_chars(text.data() + e_pos + 2, text.data() + text.size(), exponent);
  if (text[e_pos + 1] == '-') exponent = -exponent;

  char digits[9];
  std::size_t n = 0;
  for (const char c : mantissa) {
    if (c != '.') digits[n++] = c;
  }
  const std::string_view d(digits, n);
  const int count = static_cast<int>(n);

  if (exponent >= -6 && exponent <= 12) {
    if (exponent >= count - 1) {  // a whole number
      raw(d);
      for (int i = 0; i < exponent - count + 1; ++i) raw('0');
      raw(".0");
    } else if (exponent >= 0) {
      const auto whole = static_cast<std::size_t>(exponent + 1);
      raw(d.substr(0, whole));
      raw('.');
      raw(d.substr(whole));
    } else {
      raw("0.");
      for (int i = 0; i < -exponent - 1; ++i) raw('0');
      raw(d);
    }
    return;
  }
  raw(d.substr(0, 1));
  if (n > 1) {
    raw('.');
    raw(d.substr(1));
  }
  raw(exponent < 0 ? "e-" : "e+");
  char magnitude[4];
  const auto [mag_end, mag_ec] = std::to_chars(magnitude, magnitude + sizeof magnitude, std::abs(exponent));
  (void)mag_ec;
  raw(std::string_view(magnitude, static_cast<std::size_t>(mag_end - magnitude)));
}

}  // namespace vesk
