// The manifest's JSON text as the returned str, built at its final length and kind and filled
// directly (core/json_to_units.h), instead of decoded from UTF-8 by CPython: with one character
// above U+00FF anywhere, CPython's decoder goes character by character over the whole text.
#include "python/functions.h"

#include <sys/mman.h>

#include <cstdint>

#include "core/json_to_units.h"
#include "detect/large_block.h"

namespace vesk::python {
namespace {

// From this size on glibc's malloc serves a request with a mapping of its own (its mmap threshold
// rises with use, but not above 32 MiB unless set by hand), so the advice given for the str's
// pages concerns the str alone; on memory shared with other blocks it would be harmless anyway.
constexpr std::size_t kAdviseFrom = std::size_t{32} << 20;
constexpr std::uintptr_t kHugePage = detect::LargeBlock::kHugePageSize;

// Huge pages for the inside of a large str's buffer, before it is first touched: filling a
// hundred megabytes page by page costs tens of thousands of faults, which in a virtual machine
// cost more than the filling itself.
void advise_huge_pages(void* data, std::size_t bytes) {
  if (bytes < kAdviseFrom) return;
  const auto start = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t begin = (start + kHugePage - 1) / kHugePage * kHugePage;
  const std::uintptr_t end = (start + bytes) / kHugePage * kHugePage;
  // Only advice: where huge pages are switched off the str simply has small ones.
  if (begin < end) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

bool fill(PyObject* str, JsonText& json) {
  void* data = PyUnicode_DATA(str);
  const char32_t max_code_point = PyUnicode_MAX_CHAR_VALUE(str);
  switch (PyUnicode_KIND(str)) {
    case PyUnicode_1BYTE_KIND: return decode_to_units(json, static_cast<std::uint8_t*>(data), max_code_point);
    case PyUnicode_2BYTE_KIND: return decode_to_units(json, static_cast<std::uint16_t*>(data), max_code_point);
    case PyUnicode_4BYTE_KIND: return decode_to_units(json, static_cast<std::uint32_t*>(data), max_code_point);
    default: return false;
  }
}

}  // namespace

PyObject* json_to_str(JsonText&& json) {
  // Text that is not UTF-8 (no manifest holds any) fails with CPython's own error.
  if (!json.well_formed()) return PyUnicode_FromStringAndSize(json.data(), static_cast<Py_ssize_t>(json.size()));
  PyObject* str = PyUnicode_New(static_cast<Py_ssize_t>(json.code_points()), json.max_non_ascii());
  if (str == nullptr) return nullptr;  // MemoryError is pending
  advise_huge_pages(PyUnicode_DATA(str), json.code_points() * PyUnicode_KIND(str));
  if (!fill(str, json)) {
    Py_DECREF(str);
    raise_runtime_error("internal error: the manifest's text does not decode to what its writer counted");
    return nullptr;
  }
  return str;
}

}  // namespace vesk::python
