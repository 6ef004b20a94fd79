// pydump: parses Python files with our parser and prints each tree in the canonical form that
// tools/cpython_dump.py prints for CPython, for the differential test and for looking at trees.
//
//   pydump FILE_OR_FOLDER_OR_LIST.txt...
//   pydump --verdicts < RECORDS
//
// Per file: "=== PATH", then the tree, or one line "ERROR <kind> <start>..<end>" for a parse
// error, "ERROR unreadable" or "ERROR invalid UTF-8" for a file the project walk would not parse.
// With --verdicts, for the mutation test: reads records "<byte count>\n<text>" from standard
// input and prints one line per record, "OK" or the ERROR line, without dumping trees.
#include <charconv>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "pysyntax/parse.h"
#include "source_files.h"
#include "tree_dump.h"

namespace {

using namespace pysyntax;

// Parses `text` and appends the tree (dump == true) or "OK", or the error line.
void describe(const std::string& text, bool dump, std::string& out) {
  if (!tools::is_valid_utf8(text)) {
    out += "ERROR invalid UTF-8";
    return;
  }
  Arena arena;
  ParseResult result = parse_module(text, arena);
  if (!result.ok()) {
    out += "ERROR " + error_debug_text(*result.error) + " " + std::to_string(result.error->range.start) + ".." +
           std::to_string(result.error->range.end);
  } else if (dump) {
    tools::dump_module(*result.module, out);
  } else {
    out += "OK";
  }
}

int print_verdicts() {
  std::string text;
  std::string out;
  for (std::string header; std::getline(std::cin, header);) {
    size_t length = 0;
    auto [end, ec] = std::from_chars(header.data(), header.data() + header.size(), length);
    if (ec != std::errc() || end != header.data() + header.size()) return 1;
    text.resize(length);
    if (!std::cin.read(text.data(), static_cast<std::streamsize>(length))) return 1;
    out.clear();
    describe(text, false, out);
    out.push_back('\n');
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  if (arguments.size() == 1 && arguments[0] == "--verdicts") return print_verdicts();
  if (arguments.empty()) {
    std::fprintf(stderr, "usage: pydump FILE_OR_FOLDER_OR_LIST.txt... | pydump --verdicts\n");
    return 2;
  }
  std::string out;
  for (const std::string& path : tools::collect_python_files(arguments)) {
    out = "=== " + path + "\n";
    std::optional<std::string> text = tools::read_file(path);
    if (!text) {
      out += "ERROR unreadable";
    } else {
      describe(*text, true, out);
    }
    out.push_back('\n');
    std::fwrite(out.data(), 1, out.size(), stdout);
  }
  return 0;
}
