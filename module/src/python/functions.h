// The three functions of the module, in the vectorcall-with-keywords form of METH_FASTCALL |
// METH_KEYWORDS, and their documentation texts (signature line first, for text signatures).
#pragma once

#include "python/python.h"

#include <string_view>

#include "core/json_buffer.h"

namespace vesk::python {

PyObject* analyze_path(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* autowrap_path(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* suggest_yaml_diff(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

extern const char kAnalyzePathDoc[];
extern const char kAutowrapPathDoc[];
extern const char kSuggestYamlDiffDoc[];

// A str from UTF-8 text; bytes that are not UTF-8 (none are expected) become U+FFFD rather than
// a second failure.
PyObject* text_to_str(std::string_view text);
// The str of a JSON text, as CPython's UTF-8 decoder would make it; the text is spent.
PyObject* json_to_str(JsonText&& json);
// Raises RuntimeError with `message` as its one argument.
void raise_runtime_error(std::string_view message);

}  // namespace vesk::python
