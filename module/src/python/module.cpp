// Module initialisation: multi-phase, one Py_mod_exec step that adds the three functions and
// __schema_version__, each name appended to __all__ as it is added. The module keeps no state.
#include <array>

#include "detect/manifest.h"
#include "pysyntax/unicode_tables.h"
#include "python/arguments.h"
#include "python/functions.h"
#include "python/guard.h"

namespace vesk::python {
namespace {

// CPython keeps pointers into this table for as long as the function objects live and takes it
// as non-const; nothing ever writes to it.
PyMethodDef method_table[] = {
    {"analyze_path", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(analyze_path)),
     METH_FASTCALL | METH_KEYWORDS, kAnalyzePathDoc},
    {"autowrap_path", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(autowrap_path)),
     METH_FASTCALL | METH_KEYWORDS, kAutowrapPathDoc},
    {"suggest_yaml_diff", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(suggest_yaml_diff)),
     METH_FASTCALL | METH_KEYWORDS, kSuggestYamlDiffDoc},
};

// Appends `name` to the module's __all__ (made on first use) and sets the attribute.
bool add_to_module(PyObject* module, PyObject* name, PyObject* value) {
  PyObject* all = PyObject_GetAttrString(module, "__all__");
  if (all == nullptr) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
    PyErr_Clear();
    all = PyList_New(0);
    if (all == nullptr) return false;
    if (PyObject_SetAttrString(module, "__all__", all) < 0) {
      Py_DECREF(all);
      return false;
    }
  } else if (!PyList_Check(all)) {
    raise_not_instance(all, "list");
    Py_DECREF(all);
    return false;
  }
  const bool added = PyList_Append(all, name) == 0 && PyObject_SetAttr(module, name, value) == 0;
  Py_DECREF(all);
  return added;
}

bool add_function(PyObject* module, PyObject* module_name, PyMethodDef* definition) {
  PyObject* function = PyCMethod_New(definition, module, module_name, nullptr);
  if (function == nullptr) return false;
  PyObject* name = PyObject_GetAttrString(function, "__name__");
  bool added = false;
  if (name != nullptr && !PyUnicode_Check(name)) {
    raise_not_instance(name, "str");
  } else if (name != nullptr) {
    added = add_to_module(module, name, function);
  }
  Py_XDECREF(name);
  Py_DECREF(function);
  return added;
}

bool add_schema_version(PyObject* module) {
  PyObject* name = PyUnicode_FromString("__schema_version__");
  PyObject* value = PyUnicode_FromString(detect::kSchemaVersion);
  const bool added = name != nullptr && value != nullptr && add_to_module(module, name, value);
  Py_XDECREF(name);
  Py_XDECREF(value);
  return added;
}

int exec_module(PyObject* module) {
  return guarded<int>(-1, [&]() -> int {
    if (!PyModule_Check(module)) {
      raise_not_instance(module, "module");
      return -1;
    }
    // ICU would keep a first load of its Unicode tables that ran out of memory for the rest of
    // the process, and every later analysis that needs them would fail on it; loaded here, they
    // are there before any call can run short, or the import fails instead.
    if (!pysyntax::load_unicode_tables()) {
      PyErr_NoMemory();
      return -1;
    }
    PyObject* module_name = PyModule_GetNameObject(module);
    if (module_name == nullptr) return -1;
    bool ok = true;
    for (PyMethodDef& definition : method_table) {
      ok = ok && add_function(module, module_name, &definition);
    }
    Py_DECREF(module_name);
    return ok && add_schema_version(module) ? 0 : -1;
  });
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef module_definition = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "vesk_analyzer",
    .m_doc = "",
    .m_size = 0,
    .m_methods = nullptr,
    .m_slots = module_slots,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

}  // namespace
}  // namespace vesk::python

PyMODINIT_FUNC PyInit_vesk_analyzer() { return PyModuleDef_Init(&vesk::python::module_definition); }
