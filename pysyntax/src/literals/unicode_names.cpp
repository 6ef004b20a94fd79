// `\N{name}` lookup with CPython 3.13's rules on top of ICU's character names. ICU and CPython
// differ in four ways, each handled here: CPython reads the algorithmic Hangul syllable and CJK
// unified ideograph names in upper case only (and the ideograph's hex with 4 or 5 digits), it has
// no Tangut ideograph names, it accepts every alias type where ICU keeps only corrections, and
// its Unicode 15.1 data has characters ICU 72 lacks (the generated table and the range below).
#include <unicode/uchar.h>

#include <algorithm>
#include <array>

#include "literals/icu_status.h"
#include "literals/literals.h"

namespace pysyntax::literals {
namespace {

struct NameEntry {
  std::string_view name;
  char32_t code_point;
};

constexpr NameEntry kExtraNames[] = {
#include "literals/unicode_name_extras.inc"
};

// CJK Unified Ideographs Extension I, new in Unicode 15.1.
constexpr char32_t kExtensionIFirst = 0x2EBF0;
constexpr char32_t kExtensionILast = 0x2EE5D;

// Longer than any character name or alias (the longest has 88 characters).
constexpr size_t kMaxNameLength = 127;

constexpr std::string_view kHangulPrefix = "HANGUL SYLLABLE ";
constexpr std::string_view kUnifiedPrefix = "CJK UNIFIED IDEOGRAPH-";
constexpr std::string_view kTangutPrefix = "TANGUT IDEOGRAPH-";

bool is_unified_ideograph(char32_t c) {
  if (c >= kExtensionIFirst && c <= kExtensionILast) return true;
  std::array<char, 64> name{};
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = u_charName(static_cast<UChar32>(c), U_UNICODE_CHAR_NAME, name.data(),
                              static_cast<int32_t>(name.size()), &status);
  throw_if_out_of_memory(status);
  return U_SUCCESS(status) && std::string_view(name.data(), static_cast<size_t>(length)).starts_with(kUnifiedPrefix);
}

std::optional<char32_t> unified_ideograph(std::string_view digits) {
  if (digits.size() != 4 && digits.size() != 5) return std::nullopt;
  char32_t value = 0;
  for (char c : digits) {
    if (c >= '0' && c <= '9') {
      value = value * 16 + static_cast<char32_t>(c - '0');
    } else if (c >= 'A' && c <= 'F') {
      value = value * 16 + static_cast<char32_t>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
  }
  if (!is_unified_ideograph(value)) return std::nullopt;
  return value;
}

}  // namespace

std::optional<char32_t> lookup_character_name(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameLength) return std::nullopt;
  // ICU wants a NUL-terminated name; names are ASCII, so anything else names nothing.
  std::array<char, kMaxNameLength + 1> upper{};
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c < ' ' || c > '~') return std::nullopt;
    upper[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  const std::string_view upper_name(upper.data(), name.size());
  if (upper_name.starts_with(kHangulPrefix) || upper_name.starts_with(kUnifiedPrefix)) {
    if (upper_name != name) return std::nullopt;
    if (name.starts_with(kUnifiedPrefix)) return unified_ideograph(name.substr(kUnifiedPrefix.size()));
  }
  if (upper_name.starts_with(kTangutPrefix)) return std::nullopt;

  UErrorCode status = U_ZERO_ERROR;
  UChar32 found = u_charFromName(U_UNICODE_CHAR_NAME, upper.data(), &status);
  throw_if_out_of_memory(status);
  if (U_SUCCESS(status)) return static_cast<char32_t>(found);

  auto entry = std::lower_bound(std::begin(kExtraNames), std::end(kExtraNames), upper_name,
                                [](const NameEntry& e, std::string_view key) { return e.name < key; });
  if (entry != std::end(kExtraNames) && entry->name == upper_name) return entry->code_point;
  return std::nullopt;
}

}  // namespace pysyntax::literals
