// The boundary that no C++ exception crosses: every entry point of the module runs its body
// through `guarded`, which turns an exhausted allocation into MemoryError and anything else that
// escapes into RuntimeError, so the interpreter keeps running.
#pragma once

#include <exception>
#include <new>

#include "python/python.h"

namespace vesk::python {

template <typename Result, typename Body>
Result guarded(Result failure, Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& error) {
    PyErr_Format(PyExc_RuntimeError, "internal error: %s", error.what());
  } catch (...) {
    PyErr_SetString(PyExc_RuntimeError, "internal error");
  }
  return failure;
}

}  // namespace vesk::python
