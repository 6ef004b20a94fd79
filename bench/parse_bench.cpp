// Parser throughput and memory, single-threaded, on real source trees.
//
//   parse_bench [--repeat N] FOLDER_OR_FILE_OR_LIST.txt...
//   parse_bench /root/.pyenv/versions/3.13.0/lib/python3.13
//   /root/.pyenv/versions/3.13.0/bin/python3 tools/cpython_parse_time.py SAME_ARGUMENTS
//
// Reads every `.py` file below the arguments into memory first (files that are not valid UTF-8
// are left out, as the project walk leaves them out), then parses them all, one arena per file,
// N times (default 5), and prints the best pass: MB/s (10^6 bytes of source per second, by the
// wall clock and by the thread's CPU time, which a busy machine disturbs less), the
// peak resident memory (getrusage; it includes the source texts held in memory, printed beside
// it), and the arena bytes the trees take per source byte. The script on the second line times
// CPython's `ast.parse` on the same files, for the ratio.
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../tools/source_files.h"
#include "pysyntax/parse.h"

namespace {

double thread_cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Pass {
  double seconds = 0;
  double cpu_seconds = 0;
  size_t arena_used = 0;
  size_t arena_reserved = 0;
  size_t largest_arena_used = 0;
  size_t rejected = 0;
};

Pass parse_all(const std::vector<std::string>& texts) {
  Pass pass;
  auto start = std::chrono::steady_clock::now();
  double cpu_start = thread_cpu_seconds();
  for (const std::string& text : texts) {
    pysyntax::Arena arena;
    pysyntax::ParseResult result = pysyntax::parse_module(text, arena);
    pass.rejected += !result.ok();
    pass.arena_used += arena.bytes_used();
    pass.arena_reserved += arena.bytes_reserved();
    pass.largest_arena_used = std::max(pass.largest_arena_used, arena.bytes_used());
  }
  pass.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  pass.cpu_seconds = thread_cpu_seconds() - cpu_start;
  return pass;
}

}  // namespace

int main(int argc, char** argv) {
  int repeat = 5;
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
      repeat = std::max(1, std::atoi(argv[++i]));
    } else {
      arguments.emplace_back(argv[i]);
    }
  }
  if (arguments.empty()) {
    std::fprintf(stderr, "usage: parse_bench [--repeat N] FOLDER_OR_FILE_OR_LIST.txt...\n");
    return 2;
  }

  std::vector<std::string> texts;
  size_t source_bytes = 0;
  size_t left_out = 0;
  for (const std::string& path : pysyntax::tools::collect_python_files(arguments)) {
    std::optional<std::string> text = pysyntax::tools::read_file(path);
    if (!text || !pysyntax::tools::is_valid_utf8(*text)) {
      ++left_out;
      continue;
    }
    source_bytes += text->size();
    texts.push_back(std::move(*text));
  }
  if (texts.empty()) {
    std::fprintf(stderr, "parse_bench: no readable UTF-8 .py files\n");
    return 1;
  }

  Pass best;
  for (int r = 0; r < repeat; ++r) {
    Pass pass = parse_all(texts);
    if (r == 0 || pass.seconds < best.seconds) best = pass;
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const double mb = static_cast<double>(source_bytes) / 1e6;
  std::printf("files: %zu parsed (%zu rejected), %zu left out (unreadable or not UTF-8)\n", texts.size(),
              best.rejected, left_out);
  std::printf("source: %.1f MB\n", mb);
  std::printf("best of %d: %.3f s, %.1f MB/s (thread CPU time %.3f s, %.1f MB/s)\n", repeat, best.seconds,
              mb / best.seconds, best.cpu_seconds, mb / best.cpu_seconds);
  std::printf("peak RSS: %.1f MB (source texts held: %.1f MB)\n", static_cast<double>(usage.ru_maxrss) / 1024.0, mb);
  std::printf("arena: %.2f bytes used per source byte (%.2f reserved), largest tree %.1f MB\n",
              static_cast<double>(best.arena_used) / static_cast<double>(source_bytes),
              static_cast<double>(best.arena_reserved) / static_cast<double>(source_bytes),
              static_cast<double>(best.largest_arena_used) / 1e6);
  return 0;
}
