// Loading ICU's lazily loaded Unicode tables up front: one lookup in each is enough.
#include "pysyntax/unicode_tables.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>

namespace pysyntax {

bool load_unicode_tables() {
  UErrorCode names = U_ZERO_ERROR;
  u_charFromName(U_UNICODE_CHAR_NAME, "SPACE", &names);
  UErrorCode nfkc = U_ZERO_ERROR;
  icu::Normalizer2::getNFKCInstance(nfkc);
  return names != U_MEMORY_ALLOCATION_ERROR && nfkc != U_MEMORY_ALLOCATION_ERROR;
}

}  // namespace pysyntax
