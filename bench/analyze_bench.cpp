// End-to-end speed and memory of one analyze_path call (the worker, without Python), on a real
// tree, single-threaded.
//
//   analyze_bench [--repeat N] [--cpython-seconds S [--cpython-cpu-seconds C]] [--output FILE]
//                 ROOT [PACK_DIR [PATTERN_DIR]]
//   analyze_bench --check ROOT [PACK_DIR [PATTERN_DIR]]
//   bench/run_analyze_bench.sh        (stdlib and demo, with CPython's ast.parse time for the ratio)
//
// Each pass is one whole call: pack loading, the walk (reading, parsing and analysing each file
// as it comes) and the manifest's JSON text, run in a fresh child process as the first call of a
// process would be. Pack folders left out are found as analyze_path finds them, under ROOT/packs.
// Prints the best of N passes (default 3): source MB/s (10^6 bytes of the `.py` files the walk
// reads, counted beforehand by a status-only walk of the same rules) and files/s, by wall-clock
// time and by CPU time (the figure to trust on a busy machine); the peak resident memory of one
// call (getrusage in the child, the pass's JSON text included) beside the JSON size and the
// memory goal (twice the JSON plus 64 MB); and the page faults of a pass, which cost more than
// the work itself where first touching memory is dear, as in a virtual machine. Given the
// wall-clock and CPU times CPython needs merely to `ast.parse` the same files
// (tools/cpython_parse_time.py), it also prints how many times faster the whole call is, by
// each clock.
//
// Then the fixed cost of a call, the part that does not grow with the tree: the best CPU time of
// many calls in this one process (after one call to warm up; up to 200, fewer once they took
// 2 s) on an empty folder, with the case's
// pack folders and with none, and on a folder of empty `.py` files, which gives what each file
// costs beyond its bytes. Packs are read afresh on every call, so their share is part of every call.
//
// --check instead compares the call's JSON with the manifest built the whole-list way (every
// file parsed first, then analysed in walk order) and exits 1 when they differ.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/analyze.h"
#include "core/manifest_json.h"
#include "detect/analysis.h"
#include "detect/packs.h"
#include "detect/walk.h"

namespace {

namespace fs = std::filesystem;

struct Options {
  int repeat = 3;
  bool check = false;
  std::optional<double> cpython_seconds;
  std::optional<double> cpython_cpu_seconds;
  std::optional<std::string> output;
  std::vector<std::string> positional;
};

struct SourceCount {
  size_t files = 0;
  size_t bytes = 0;
};

// What the project walk reads, by the walk's own rules: names beginning with "." and the folders
// "__pycache__" and "node_modules" passed over, links followed, files whose extension is "py".
// A link back to an ancestor would make this loop; the trees benchmarked here have none.
SourceCount count_sources(const std::string& root) {
  SourceCount count;
  std::error_code ec;
  const auto options = fs::directory_options::follow_directory_symlink | fs::directory_options::skip_permission_denied;
  for (auto it = fs::recursive_directory_iterator(root, options, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.front() == '.' || name == "__pycache__" || name == "node_modules") {
      it.disable_recursion_pending();
      continue;
    }
    std::error_code status_ec;
    if (it->path().extension() != ".py" || it->is_directory(status_ec)) continue;
    const auto size = it->file_size(status_ec);
    if (status_ec) continue;
    ++count.files;
    count.bytes += size;
  }
  return count;
}

std::optional<std::string_view> folder_argument(const Options& options, size_t index) {
  if (options.positional.size() > index) return std::string_view(options.positional[index]);
  return std::nullopt;
}

detect::Result<vesk::JsonText> analyze(const Options& options) {
  return vesk::analyze_path_impl(options.positional[0], folder_argument(options, 1), folder_argument(options, 2));
}

// The pack folders of the case: those given, else where analyze_path looks under the root.
struct PackFolders {
  std::string frameworks;
  std::string patterns;
};

PackFolders pack_folders(const Options& options) {
  const std::string& root = options.positional[0];
  return {options.positional.size() > 1 ? options.positional[1] : vesk::default_pack_dir(root),
          options.positional.size() > 2 ? options.positional[2] : vesk::default_pattern_dir(root)};
}

// The manifest as it would be with every file parsed before any is analysed.
detect::Result<vesk::JsonText> analyze_whole_list(const Options& options) {
  const std::string& root = options.positional[0];
  const PackFolders folders = pack_folders(options);
  std::vector<std::string> warnings;
  auto framework_packs = detect::load_framework_packs(folders.frameworks, warnings);
  if (!framework_packs.ok()) return framework_packs.error();
  auto pattern_packs = detect::load_pattern_packs(folders.patterns, warnings);
  if (!pattern_packs.ok()) return pattern_packs.error();
  std::vector<detect::ParsedFile> files;
  std::vector<detect::WalkError> errors;
  const detect::Status walked = detect::walk_project(root, files, errors);
  if (!walked.ok()) return walked.error();
  detect::BuildManifest manifest = detect::build_manifest(files, framework_packs.value(), pattern_packs.value());
  for (const detect::WalkError& error : errors) warnings.push_back("parse error: " + detect::display_walk_error(error));
  manifest.warnings = std::move(warnings);
  return vesk::write_manifest_json(manifest);
}

int check(const Options& options) {
  detect::Result<vesk::JsonText> streamed = analyze(options);
  detect::Result<vesk::JsonText> whole = analyze_whole_list(options);
  if (!streamed.ok() || !whole.ok()) {
    std::fprintf(stderr, "analyze_bench: %s\n", (!streamed.ok() ? streamed.error() : whole.error()).message().c_str());
    return 1;
  }
  const bool same = streamed.value().view() == whole.value().view();
  std::printf("manifest (%zu bytes) %s the whole-list manifest\n", streamed.value().size(),
              same ? "is byte-identical to" : "DIFFERS from");
  return same ? 0 : 1;
}

double cpu_seconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

struct PassFigures {
  double seconds = 0;
  double cpu_seconds = 0;
  long peak_rss_kb = 0;
  long page_faults = 0;
  size_t json_bytes = 0;
  bool ok = false;
};

PassFigures run_pass(const Options& options, bool keep_output) {
  PassFigures figures;
  const auto start = std::chrono::steady_clock::now();
  const double cpu_start = cpu_seconds();
  detect::Result<vesk::JsonText> json = analyze(options);
  figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  figures.cpu_seconds = cpu_seconds() - cpu_start;
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  figures.peak_rss_kb = usage.ru_maxrss;
  figures.page_faults = usage.ru_minflt + usage.ru_majflt;
  if (!json.ok()) {
    std::fprintf(stderr, "analyze_bench: %s\n", json.error().message().c_str());
    return figures;
  }
  figures.json_bytes = json.value().size();
  figures.ok = true;
  if (keep_output) {
    std::ofstream out(*options.output, std::ios::binary);
    out << json.value();
    figures.ok = static_cast<bool>(out);
  }
  return figures;
}

// Each pass runs in a child of its own, as the first call of a fresh process: its peak RSS is
// that of one call alone, not raised by what earlier passes left behind in the allocator.
std::optional<PassFigures> run_pass_in_child(const Options& options, bool keep_output) {
  int channel[2];
  if (pipe(channel) != 0) return std::nullopt;
  const pid_t child = fork();
  if (child < 0) return std::nullopt;
  if (child == 0) {
    close(channel[0]);
    const PassFigures figures = run_pass(options, keep_output);
    const bool sent = write(channel[1], &figures, sizeof figures) == static_cast<ssize_t>(sizeof figures);
    _exit(sent && figures.ok ? 0 : 1);
  }
  close(channel[1]);
  PassFigures figures;
  const bool received = read(channel[0], &figures, sizeof figures) == static_cast<ssize_t>(sizeof figures);
  close(channel[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!received || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return figures;
}

// The best CPU time of up to `calls` calls of `call`, after one that warms up what a first call
// sets up; the calls stop early once they took kFixedCostBudgetSeconds, but never before the
// seventh. `calls` is set to the number made.
constexpr double kFixedCostBudgetSeconds = 2.0;

template <typename Call>
double best_cpu_seconds_of(int& calls, Call&& call) {
  call();
  double best = 0;
  double total = 0;
  int made = 0;
  while (made < calls && (made < 7 || total < kFixedCostBudgetSeconds)) {
    const double start = cpu_seconds();
    call();
    const double spent = cpu_seconds() - start;
    if (made == 0 || spent < best) best = spent;
    total += spent;
    ++made;
  }
  calls = made;
  return best;
}

// A scratch folder with an empty subfolder and a subfolder of empty `.py` files; removed when done.
class FixedCostTrees {
 public:
  static constexpr int kEmptyFiles = 100;

  FixedCostTrees() {
    char pattern[] = "/tmp/analyze_bench_fixed_XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return;
    top_ = pattern;
    std::error_code ec;
    fs::create_directory(empty(), ec);
    fs::create_directory(empty_files(), ec);
    for (int i = 0; i < kEmptyFiles; ++i) std::ofstream(empty_files() + "/m" + std::to_string(i) + ".py");
    made_ = !ec;
  }
  ~FixedCostTrees() {
    std::error_code ec;
    if (!top_.empty()) fs::remove_all(top_, ec);
  }
  FixedCostTrees(const FixedCostTrees&) = delete;
  FixedCostTrees& operator=(const FixedCostTrees&) = delete;

  [[nodiscard]] bool made() const { return made_; }
  [[nodiscard]] std::string empty() const { return top_ + "/empty"; }
  [[nodiscard]] std::string empty_files() const { return top_ + "/empty_files"; }
  [[nodiscard]] std::string missing() const { return top_ + "/missing"; }  // no packs

 private:
  std::string top_;
  bool made_ = false;
};

// One line: the CPU time of a call on an empty tree with the case's packs; beside it, each pack
// folder's loading alone and a call without packs, and what each empty file adds.
bool print_fixed_cost(const Options& options) {
  constexpr int kMaxCalls = 200;
  int fewest_calls = kMaxCalls;
  const FixedCostTrees trees;
  if (!trees.made()) {
    std::fprintf(stderr, "analyze_bench: cannot make the scratch folders for the fixed cost\n");
    return false;
  }
  const PackFolders folders = pack_folders(options);
  bool ok = true;
  const auto best_of = [&](auto call) {
    int calls = kMaxCalls;
    const double best = best_cpu_seconds_of(calls, [&] { ok = call() && ok; });
    fewest_calls = std::min(fewest_calls, calls);
    return best;
  };
  const auto timed = [&](const std::string& tree, const std::string& frameworks, const std::string& patterns) {
    return best_of([&] { return vesk::analyze_path_impl(tree, frameworks, patterns).ok(); });
  };
  const double whole = timed(trees.empty(), folders.frameworks, folders.patterns);
  // The seeds are drawn once per call; the loaders are timed with seeds of the whole run.
  detect::HashSeeds seeds;
  const double frameworks = best_of([&] {
    std::vector<std::string> warnings;
    return detect::load_framework_packs(folders.frameworks, warnings, seeds).ok();
  });
  const double patterns = best_of([&] {
    std::vector<std::string> warnings;
    return detect::load_pattern_packs(folders.patterns, warnings, seeds).ok();
  });
  const double bare = timed(trees.empty(), trees.missing(), trees.missing());
  const double files = timed(trees.empty_files(), folders.frameworks, folders.patterns);
  if (!ok) {
    std::fprintf(stderr, "analyze_bench: a fixed-cost call failed\n");
    return false;
  }
  const auto us = [](double seconds) { return seconds * 1e6; };
  std::printf("fixed cost per call: %.0f us (packs %.0f us: frameworks %.0f, patterns %.0f; a call without packs "
              "%.0f us); each empty file %.1f us more; CPU time, best of %d or more calls in one process\n",
              us(whole), us(frameworks + patterns), us(frameworks), us(patterns), us(bare),
              us(files - whole) / FixedCostTrees::kEmptyFiles, fewest_calls);
  return true;
}

int bench(const Options& options) {
  const SourceCount sources = count_sources(options.positional[0]);
  std::fflush(stdout);
  PassFigures best;
  long peak_rss_kb = 0;
  for (int pass = 0; pass < options.repeat; ++pass) {
    const std::optional<PassFigures> figures = run_pass_in_child(options, pass == 0 && options.output);
    if (!figures) return 1;
    if (pass == 0 || figures->seconds < best.seconds) best.seconds = figures->seconds;
    if (pass == 0 || figures->cpu_seconds < best.cpu_seconds) best.cpu_seconds = figures->cpu_seconds;
    peak_rss_kb = std::max(peak_rss_kb, figures->peak_rss_kb);
    best.page_faults = figures->page_faults;
    best.json_bytes = figures->json_bytes;
  }
  const double best_seconds = best.seconds;
  const double best_cpu_seconds = best.cpu_seconds;
  const size_t json_bytes = best.json_bytes;
  const double mb = static_cast<double>(sources.bytes) / 1e6;
  const double rss_mb = static_cast<double>(peak_rss_kb) * 1024.0 / 1e6;
  const double json_mb = static_cast<double>(json_bytes) / 1e6;
  std::printf("source: %zu files, %.2f MB\n", sources.files, mb);
  const double files = static_cast<double>(sources.files);
  std::printf("best of %d: %.3f s, %.1f MB/s, %.0f files/s (CPU time %.3f s, %.1f MB/s, %.0f files/s)\n",
              options.repeat, best_seconds, mb / best_seconds, files / best_seconds, best_cpu_seconds,
              mb / best_cpu_seconds, files / best_cpu_seconds);
  std::printf("JSON: %.2f MB; peak RSS: %.1f MB (goal: at most %.1f MB); %ld page faults in the last pass\n",
              json_mb, rss_mb, 2 * json_mb + 64, best.page_faults);
  if (options.cpython_seconds) {
    std::printf("CPython ast.parse alone: %.3f s; the whole analysis is %.1fx faster", *options.cpython_seconds,
                *options.cpython_seconds / best_seconds);
    if (options.cpython_cpu_seconds) {
      std::printf(" (by CPU time: %.3f s, %.1fx)", *options.cpython_cpu_seconds,
                  *options.cpython_cpu_seconds / best_cpu_seconds);
    }
    std::printf("\n");
  }
  std::fflush(stdout);
  return print_fixed_cost(options) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const bool has_value = i + 1 < argc;
    if (std::strcmp(argv[i], "--repeat") == 0 && has_value) {
      options.repeat = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--cpython-seconds") == 0 && has_value) {
      options.cpython_seconds = std::atof(argv[++i]);
    } else if (std::strcmp(argv[i], "--cpython-cpu-seconds") == 0 && has_value) {
      options.cpython_cpu_seconds = std::atof(argv[++i]);
    } else if (std::strcmp(argv[i], "--output") == 0 && has_value) {
      options.output = argv[++i];
    } else if (std::strcmp(argv[i], "--check") == 0) {
      options.check = true;
    } else {
      options.positional.emplace_back(argv[i]);
    }
  }
  if (options.positional.empty() || options.positional.size() > 3) {
    std::fprintf(stderr,
                 "usage: analyze_bench [--repeat N] [--cpython-seconds S [--cpython-cpu-seconds C]] [--output FILE]\n"
                 "                     ROOT [PACK_DIR [PATTERN_DIR]]\n"
                 "       analyze_bench --check ROOT [PACK_DIR [PATTERN_DIR]]\n");
    return 2;
  }
  return options.check ? check(options) : bench(options);
}
