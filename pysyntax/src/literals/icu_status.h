// ICU reports an exhausted allocation as a status, like any other failure. Taken for one of the
// others (no such name, nothing to normalise) it would turn a lack of memory into a wrong value,
// so it becomes what every other exhausted allocation of the parser is: std::bad_alloc.
#pragma once

#include <unicode/utypes.h>

#include <new>

namespace pysyntax::literals {

inline void throw_if_out_of_memory(UErrorCode status) {
  if (status == U_MEMORY_ALLOCATION_ERROR) throw std::bad_alloc();
}

}  // namespace pysyntax::literals
