// Binding and converting the arguments of the module's functions. One set of rules and texts for
// all three: positional then keyword binding with CPython-style TypeErrors, then conversion of
// each bound argument, whose failure keeps its exception and gets the note
// "while processing '{name}'". Every function returns false with a Python exception set on
// failure.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "python/python.h"

namespace vesk::python {

// The parameters of one function: all positional-or-keyword, the first `required` of them
// required; no keyword-only parameters, no *args or **kwargs.
struct ArgumentSpec {
  const char* function_name;          // shown as "{name}()"
  std::span<const char* const> names;  // in order
  std::size_t required;
};

// Fills `bound` (one slot per parameter, borrowed references) from a vectorcall's arguments;
// unfilled slots stay null.
[[nodiscard]] bool bind_arguments(const ArgumentSpec& spec, PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames, std::span<PyObject*> bound);

// Attaches "while processing '{parameter}'" to the pending exception through its add_note method;
// a failure to attach is discarded and the original exception stays pending.
void add_parameter_note(const char* parameter);

// A str (or subclass) as a borrowed UTF-8 view of its content.
[[nodiscard]] bool convert_text(PyObject* object, std::string_view& out);
// A bool, or a numpy boolean scalar through its type's __bool__.
[[nodiscard]] bool convert_bool(PyObject* object, bool& out);
// Anything PyFloat_AsDouble accepts.
[[nodiscard]] bool convert_double(PyObject* object, double& out);
// An int, or what PyNumber_Index makes an int, from 0 to 2^64 - 1.
[[nodiscard]] bool convert_u64(PyObject* object, std::uint64_t& out);

// Runs one conversion and, when it fails, notes the parameter.
template <typename T, typename Convert>
[[nodiscard]] bool convert_parameter(const char* parameter, PyObject* object, T& out, Convert convert) {
  if (convert(object, out)) return true;
  add_parameter_note(parameter);
  return false;
}

// Raises TypeError "'{type}' object is not an instance of '{expected}'", or for None
// "'None' is not an instance of '{expected}'".
void raise_not_instance(PyObject* object, const char* expected);

}  // namespace vesk::python
