// The one way the module's sources include CPython: the full API, sizes as Py_ssize_t.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>
