// analyze_path and autowrap_path: convert the arguments, run the worker, hand back its text.
#include <array>
#include <optional>
#include <string_view>
#include <utility>

#include "core/analyze.h"
#include "python/arguments.h"
#include "python/functions.h"
#include "python/guard.h"

namespace vesk::python {

const char kAnalyzePathDoc[] =
    "analyze_path(path, pack_dir=None, pattern_dir=None)\n"
    "--\n"
    "\n"
    "Analyze a Python source tree and return a JSON-serialised BuildManifest.\n"
    "\n"
    "Arguments\n"
    "---------\n"
    "* `path` \u2014 root directory to scan (typically the project directory).\n"
    "* `pack_dir` \u2014 optional directory of YAML framework packs. If None,\n"
    "  defaults to `<path>/packs/frameworks/`. Falls back to an empty pack\n"
    "  set (no detection) if the directory does not exist.\n"
    "* `pattern_dir` \u2014 optional directory of YAML pattern packs. If None,\n"
    "  defaults to `<path>/packs/patterns/`.";

const char kAutowrapPathDoc[] =
    "autowrap_path(_path)\n"
    "--\n"
    "\n"
    "Auto-wrap stub \u2014 lands in PR-D with the decorator runtime.";

PyObject* text_to_str(std::string_view text) {
  return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

void raise_runtime_error(std::string_view message) {
  PyObject* text = text_to_str(message);
  if (text == nullptr) return;  // MemoryError is pending instead
  // Set as the exception state itself: an exception the caller is handling is not made its
  // context, as PyErr_SetObject would.
  PyErr_Restore(Py_NewRef(PyExc_RuntimeError), text, nullptr);
}

namespace {

constexpr const char* kAnalyzePathParameters[] = {"path", "pack_dir", "pattern_dir"};
constexpr ArgumentSpec kAnalyzePathSpec{"analyze_path", kAnalyzePathParameters, 1};

constexpr const char* kAutowrapPathParameters[] = {"_path"};
constexpr ArgumentSpec kAutowrapPathSpec{"autowrap_path", kAutowrapPathParameters, 1};

// An optional text parameter: absent when left out or None.
bool convert_optional_text(const char* parameter, PyObject* object, std::optional<std::string_view>& out) {
  if (object == nullptr || object == Py_None) return true;
  std::string_view text;
  if (!convert_parameter(parameter, object, text, convert_text)) return false;
  out = text;
  return true;
}

}  // namespace

PyObject* analyze_path(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    std::array<PyObject*, 3> bound{};
    if (!bind_arguments(kAnalyzePathSpec, args, nargs, kwnames, bound)) return nullptr;
    std::string_view path;
    std::optional<std::string_view> pack_dir;
    std::optional<std::string_view> pattern_dir;
    if (!convert_parameter("path", bound[0], path, convert_text) ||
        !convert_optional_text("pack_dir", bound[1], pack_dir) ||
        !convert_optional_text("pattern_dir", bound[2], pattern_dir)) {
      return nullptr;
    }
    auto json = analyze_path_impl(path, pack_dir, pattern_dir);
    if (!json.ok()) {
      raise_runtime_error(json.error().message());
      return nullptr;
    }
    return json_to_str(std::move(json.value()));
  });
}

PyObject* autowrap_path(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    std::array<PyObject*, 1> bound{};
    if (!bind_arguments(kAutowrapPathSpec, args, nargs, kwnames, bound)) return nullptr;
    std::string_view unused;
    if (!convert_parameter("_path", bound[0], unused, convert_text)) return nullptr;
    return PyLong_FromUnsignedLongLong(0);
  });
}

}  // namespace vesk::python
