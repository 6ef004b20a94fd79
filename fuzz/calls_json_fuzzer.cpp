// Fuzzes the calls_json reader. Beyond "no crash": every failure carries a position, and every
// list that reads writes back (through the manifest writer) to a text that reads as the same list.
// Run from the build folder with a copy of the seeds as corpus:
//   cp -r ../fuzz/seeds/calls_json corpus-calls && fuzz/calls_json_fuzzer -dict=../fuzz/calls_json.dict corpus-calls
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/calls_json.h"
#include "core/manifest_json.h"

namespace {

bool same_call(const detect::UnclassifiedCall& a, const detect::UnclassifiedCall& b) {
  return a.callee == b.callee && a.resolved_callee == b.resolved_callee &&
         a.receiver_rewrite == b.receiver_rewrite && a.function == b.function &&
         a.location.file == b.location.file && a.location.line == b.location.line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto first = vesk::parse_calls_json(text);
  if (!first.ok()) {
    if (first.error().message().find(" at line ") == std::string::npos) std::abort();
    return 0;
  }
  if (first.value().calls.empty()) return 0;
  vesk::JsonBuffer out;
  vesk::write_unclassified_calls_json(out, first.value().calls);
  std::string_view written = out.view();
  written.remove_prefix(std::string_view("\"unclassified_calls\":").size());
  auto second = vesk::parse_calls_json(written);
  if (!second.ok() || second.value().calls.size() != first.value().calls.size()) std::abort();
  for (std::size_t i = 0; i < first.value().calls.size(); ++i) {
    if (!same_call(first.value().calls[i], second.value().calls[i])) std::abort();
  }
  return 0;
}
