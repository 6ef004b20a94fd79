// suggest_yaml_diff: seven parameters converted in order, four of them only for their checks,
// then the core's road, which always ends in a RuntimeError.
#include <array>
#include <cstdint>
#include <string_view>

#include "core/suggest.h"
#include "python/arguments.h"
#include "python/functions.h"
#include "python/guard.h"

namespace vesk::python {

const char kSuggestYamlDiffDoc[] =
    "suggest_yaml_diff(pack_dir, model_dir, calls_json, quantized=True, min_score=0.45, top_k=5, "
    "min_agree=3)\n"
    "--\n"
    "\n"
    "Propose framework-pack additions for the calls that analyze_path left unclassified.\n"
    "\n"
    "`calls_json` is a JSON array of unclassified calls as analyze_path writes them; the packs\n"
    "of `pack_dir` are the ones to extend. `model_dir`, `quantized`, `min_score`, `top_k` and\n"
    "`min_agree` configure the suggestion engine. This build checks the arguments, reads the\n"
    "calls and loads the packs, then raises RuntimeError: the suggest mode is not available.";

namespace {

constexpr const char* kSuggestParameters[] = {"pack_dir", "model_dir",  "calls_json", "quantized",
                                              "min_score", "top_k", "min_agree"};
constexpr ArgumentSpec kSuggestSpec{"suggest_yaml_diff", kSuggestParameters, 3};

// Converts a parameter only when it was bound: the defaults exist only in the signature.
template <typename T, typename Convert>
bool convert_if_bound(const char* parameter, PyObject* object, T& out, Convert convert) {
  return object == nullptr || convert_parameter(parameter, object, out, convert);
}

}  // namespace

PyObject* suggest_yaml_diff(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    std::array<PyObject*, 7> bound{};
    if (!bind_arguments(kSuggestSpec, args, nargs, kwnames, bound)) return nullptr;
    std::string_view pack_dir;
    std::string_view model_dir;
    std::string_view calls_json;
    bool quantized = true;
    double min_score = 0.0;
    std::uint64_t top_k = 0;
    std::uint64_t min_agree = 0;
    if (!convert_parameter("pack_dir", bound[0], pack_dir, convert_text) ||
        !convert_parameter("model_dir", bound[1], model_dir, convert_text) ||
        !convert_parameter("calls_json", bound[2], calls_json, convert_text) ||
        !convert_if_bound("quantized", bound[3], quantized, convert_bool) ||
        !convert_if_bound("min_score", bound[4], min_score, convert_double) ||
        !convert_if_bound("top_k", bound[5], top_k, convert_u64) ||
        !convert_if_bound("min_agree", bound[6], min_agree, convert_u64)) {
      return nullptr;
    }
    raise_runtime_error(suggest_yaml_diff_impl(pack_dir, calls_json));
    return nullptr;
  });
}

}  // namespace vesk::python
