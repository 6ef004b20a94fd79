// Feeds arbitrary bytes to both pack readers and to the blank test. Beyond not crashing, hanging or
// growing without bound, every read must give exactly one of a record and an error, and an error
// must have a message and a position only together with a line. Run from the build folder with a
// copy of the seeds as corpus:
//   cp -r ../fuzz/seeds/yaml corpus-yaml && fuzz/yaml_fuzzer -max_total_time=600 corpus-yaml
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "detect/packs.h"

namespace {

template <typename Pack>
void check(const detect::PackRead<Pack>& read) {
  if (read.pack.has_value() == read.error.has_value()) std::abort();
  if (read.error) {
    if (read.error->message.empty()) std::abort();
    if (read.error->line == 0 && read.error->column != 0) std::abort();
    if (read.error->display().empty()) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  check(detect::read_framework_pack(text));
  check(detect::read_pattern_pack(text));
  (void)detect::is_blank_yaml(text);
  return 0;
}
