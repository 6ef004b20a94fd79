// Identifier validity (XID_Start / XID_Continue through ICU) and NFKC normalisation (ICU
// Normalizer2), as CPython 3.13 applies them: validity on the identifier as written, then NFKC
// for the name the tree keeps. CPython's tables are Unicode 15.1; ICU 72 has 15.0, so the few
// identifier characters 15.1 added are listed here.
#include <unicode/normalizer2.h>
#include <unicode/bytestream.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <new>

#include "literals/icu_status.h"
#include "literals/literals.h"

namespace pysyntax::literals {
namespace {

// ICU's sink over a std::string, except that an exhausted allocation does not unwind through
// ICU's frames, which are not written for exceptions: it is noted, the rest of the output is
// dropped, and the caller throws once ICU has returned.
class AppendingSink final : public icu::ByteSink {
 public:
  explicit AppendingSink(std::string& out) : out_(out) {}
  void Append(const char* bytes, int32_t n) override {
    if (out_of_memory_ || n <= 0) return;
    try {
      out_.append(bytes, static_cast<size_t>(n));
    } catch (const std::bad_alloc&) {
      out_of_memory_ = true;
    }
  }
  bool out_of_memory() const { return out_of_memory_; }

 private:
  std::string& out_;
  bool out_of_memory_ = false;
};

// CJK Unified Ideographs Extension I (XID_Start and XID_Continue).
bool is_unicode_15_1_start(UChar32 c) { return c >= 0x2EBF0 && c <= 0x2EE5D; }

// ZERO WIDTH NON-JOINER, ZERO WIDTH JOINER, KATAKANA MIDDLE DOT and its halfwidth form became
// XID_Continue in 15.1.
bool is_unicode_15_1_continue(UChar32 c) {
  return c == 0x200C || c == 0x200D || c == 0x30FB || c == 0xFF65 || is_unicode_15_1_start(c);
}

bool may_start(UChar32 c) {
  return c == '_' || u_hasBinaryProperty(c, UCHAR_XID_START) || is_unicode_15_1_start(c);
}

bool may_continue(UChar32 c) {
  return u_hasBinaryProperty(c, UCHAR_XID_CONTINUE) || is_unicode_15_1_continue(c);
}

}  // namespace

std::optional<InvalidIdentifierCharacter> find_invalid_identifier_character(std::string_view identifier) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(identifier.data());
  // Not ICU's int32_t offsets: an identifier may be longer than 2 GiB.
  const size_t length = identifier.size();
  size_t i = 0;
  while (i < length) {
    const size_t start = i;
    UChar32 c = 0;
    U8_NEXT(bytes, i, length, c);  // always advances
    bool valid = c >= 0 && (start == 0 ? may_start(c) : may_continue(c));
    if (!valid) {
      return InvalidIdentifierCharacter{static_cast<uint32_t>(start), static_cast<uint32_t>(i - start),
                                        c < 0 ? U'\uFFFD' : static_cast<char32_t>(c)};
    }
  }
  return std::nullopt;
}

bool normalize_identifier(std::string_view identifier, std::string& out) {
  if (is_ascii(identifier)) return false;
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfkc = icu::Normalizer2::getNFKCInstance(status);
  throw_if_out_of_memory(status);
  if (U_FAILURE(status)) return false;
  icu::StringPiece piece(identifier.data(), static_cast<int32_t>(identifier.size()));
  const bool already_normal = nfkc->isNormalizedUTF8(piece, status);
  throw_if_out_of_memory(status);
  if (already_normal && U_SUCCESS(status)) return false;
  status = U_ZERO_ERROR;
  std::string normalized;
  normalized.reserve(identifier.size());
  AppendingSink sink(normalized);
  nfkc->normalizeUTF8(0, piece, sink, nullptr, status);
  if (sink.out_of_memory()) throw std::bad_alloc();
  throw_if_out_of_memory(status);
  if (U_FAILURE(status) || normalized == identifier) return false;
  out += normalized;
  return true;
}

}  // namespace pysyntax::literals
