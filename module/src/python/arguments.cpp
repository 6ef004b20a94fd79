// Argument binding and conversion with the module's fixed texts.
#include "python/arguments.h"

#include <memory>
#include <string>

namespace vesk::python {
namespace {

// The qualified name of a type, or its tp_name when that cannot be had. The name object is let
// go also when copying its text runs out of memory.
std::string type_qualname(PyTypeObject* type) {
  const std::unique_ptr<PyObject, void (*)(PyObject*)> name(PyType_GetQualName(type), Py_DecRef);
  if (name != nullptr) {
    Py_ssize_t size = 0;
    if (const char* utf8 = PyUnicode_AsUTF8AndSize(name.get(), &size)) {
      return std::string(utf8, static_cast<std::size_t>(size));
    }
  }
  PyErr_Clear();
  return type->tp_name;
}

void raise_missing(const ArgumentSpec& spec, std::span<PyObject*> bound) {
  std::string list;
  std::size_t count = 0;
  for (std::size_t i = 0; i < spec.required; ++i) count += bound[i] == nullptr ? 1 : 0;
  std::size_t listed = 0;
  for (std::size_t i = 0; i < spec.required; ++i) {
    if (bound[i] != nullptr) continue;
    if (listed != 0) {
      if (count > 2) list += ",";
      list += listed + 1 == count ? " and " : " ";
    }
    list += '\'';
    list += spec.names[i];
    list += '\'';
    ++listed;
  }
  PyErr_Format(PyExc_TypeError, "%s() missing %zu required positional %s: %s", spec.function_name, count,
               count == 1 ? "argument" : "arguments", list.c_str());
}

}  // namespace

bool bind_arguments(const ArgumentSpec& spec, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                    std::span<PyObject*> bound) {
  const auto positional = static_cast<std::size_t>(nargs);
  const std::size_t parameters = spec.names.size();
  if (positional > parameters) {
    const char* verb = positional == 1 ? "was" : "were";
    if (spec.required == parameters) {
      PyErr_Format(PyExc_TypeError, "%s() takes %zu positional arguments but %zu %s given", spec.function_name,
                   parameters, positional, verb);
    } else {
      PyErr_Format(PyExc_TypeError, "%s() takes from %zu to %zu positional arguments but %zu %s given",
                   spec.function_name, spec.required, parameters, positional, verb);
    }
    return false;
  }
  for (std::size_t i = 0; i < positional; ++i) bound[i] = args[i];

  const Py_ssize_t keywords = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t k = 0; k < keywords; ++k) {
    PyObject* name = PyTuple_GET_ITEM(kwnames, k);
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(name, &size);
    if (utf8 == nullptr) PyErr_Clear();  // unreadable as UTF-8: matches no parameter
    std::size_t slot = parameters;
    for (std::size_t i = 0; utf8 != nullptr && i < parameters; ++i) {
      if (std::string_view(utf8, static_cast<std::size_t>(size)) == spec.names[i]) slot = i;
    }
    if (slot == parameters) {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%S'", spec.function_name, name);
      return false;
    }
    if (bound[slot] != nullptr) {
      PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", spec.function_name,
                   spec.names[slot]);
      return false;
    }
    bound[slot] = args[positional + static_cast<std::size_t>(k)];
  }

  if (positional < spec.required) {
    for (std::size_t i = 0; i < spec.required; ++i) {
      if (bound[i] == nullptr) {
        raise_missing(spec, bound);
        return false;
      }
    }
  }
  return true;
}

void add_parameter_note(const char* parameter) {
#if PY_VERSION_HEX >= 0x030C0000
  PyObject* exception = PyErr_GetRaisedException();
#else
  PyObject* type = nullptr;
  PyObject* exception = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &exception, &traceback);
  PyErr_NormalizeException(&type, &exception, &traceback);
  if (traceback != nullptr && exception != nullptr) PyException_SetTraceback(exception, traceback);
#endif
  if (exception != nullptr) {
    // Made by the interpreter, not as a C++ string: while the exception is held here, nothing
    // may throw past the restore below.
    PyObject* note = PyUnicode_FromFormat("while processing '%s'", parameter);
    PyObject* result = note == nullptr ? nullptr : PyObject_CallMethod(exception, "add_note", "O", note);
    if (result == nullptr) PyErr_Clear();
    Py_XDECREF(result);
    Py_XDECREF(note);
  }
#if PY_VERSION_HEX >= 0x030C0000
  PyErr_SetRaisedException(exception);
#else
  PyErr_Restore(type, exception, traceback);
#endif
}

void raise_not_instance(PyObject* object, const char* expected) {
  if (object == Py_None) {
    PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", expected);
    return;
  }
  PyErr_Format(PyExc_TypeError, "'%s' object is not an instance of '%s'", type_qualname(Py_TYPE(object)).c_str(),
               expected);
}

bool convert_text(PyObject* object, std::string_view& out) {
  if (!PyUnicode_Check(object)) {
    raise_not_instance(object, "str");
    return false;
  }
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(object, &size);
  if (utf8 == nullptr) return false;
  out = std::string_view(utf8, static_cast<std::size_t>(size));
  return true;
}

namespace {

// True when `type` is numpy's boolean scalar type: its __module__ is the str "numpy" and its
// name "bool_" (numpy 1) or "bool" (numpy 2). Anything unreadable answers false.
bool is_numpy_bool_type(PyTypeObject* type) {
  PyObject* module = PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__module__");
  const bool from_numpy = module != nullptr && PyUnicode_Check(module) &&
                          PyUnicode_CompareWithASCIIString(module, "numpy") == 0;
  Py_XDECREF(module);
  if (!from_numpy) {
    PyErr_Clear();
    return false;
  }
  PyObject* name = PyType_GetName(type);
  const bool named = name != nullptr && PyUnicode_Check(name) &&
                     (PyUnicode_CompareWithASCIIString(name, "bool_") == 0 ||
                      PyUnicode_CompareWithASCIIString(name, "bool") == 0);
  Py_XDECREF(name);
  PyErr_Clear();
  return named;
}

}  // namespace

bool convert_bool(PyObject* object, bool& out) {
  if (PyBool_Check(object)) {
    out = object == Py_True;
    return true;
  }
  PyTypeObject* type = Py_TYPE(object);
  if (!is_numpy_bool_type(type)) {
    raise_not_instance(object, "bool");
    return false;
  }
  // Looked up on the type, as the interpreter looks up special methods, then bound to the object.
  PyObject* bool_name = PyUnicode_InternFromString("__bool__");
  if (bool_name == nullptr) return false;
  PyObject* method = _PyType_Lookup(type, bool_name);  // borrowed; sets no exception
  Py_DECREF(bool_name);
  if (method == nullptr) {
    PyErr_Format(PyExc_TypeError, "object of type '%s' does not define a '__bool__' conversion",
                 type_qualname(type).c_str());
    return false;
  }
  Py_INCREF(method);
  if (descrgetfunc get = Py_TYPE(method)->tp_descr_get; get != nullptr) {
    PyObject* bound_method = get(method, object, reinterpret_cast<PyObject*>(type));
    Py_DECREF(method);
    if (bound_method == nullptr) return false;
    method = bound_method;
  }
  PyObject* result = PyObject_CallNoArgs(method);
  Py_DECREF(method);
  if (result == nullptr) return false;
  if (!PyBool_Check(result)) {
    raise_not_instance(result, "bool");
    Py_DECREF(result);
    return false;
  }
  out = result == Py_True;
  Py_DECREF(result);
  return true;
}

bool convert_double(PyObject* object, double& out) {
  out = PyFloat_AsDouble(object);
  return !(out == -1.0 && PyErr_Occurred() != nullptr);
}

bool convert_u64(PyObject* object, std::uint64_t& out) {
  PyObject* integer = PyLong_Check(object) ? Py_NewRef(object) : PyNumber_Index(object);
  if (integer == nullptr) return false;
  const unsigned long long value = PyLong_AsUnsignedLongLong(integer);
  Py_DECREF(integer);
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred() != nullptr) return false;
  out = value;
  return true;
}

}  // namespace vesk::python
