// Reading Python sources for the tools, the benchmark and the fuzzer: a file's bytes, the UTF-8
// check the project walk applies (a file that fails it is a read failure, not a parse), and the
// `.py` files below a folder in a stable order. Header-only, so that programs outside tools/
// can use it without linking anything of tools/.
#pragma once

#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pysyntax::tools {

inline std::optional<std::string> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return std::nullopt;
  const std::streamoff size = in.tellg();
  if (size < 0) return std::nullopt;
  std::string text(static_cast<size_t>(size), '\0');
  in.seekg(0);
  if (!in.read(text.data(), size)) return std::nullopt;
  return text;
}

// Strict UTF-8 (no surrogates, no overlong forms), and short enough for 32-bit offsets.
inline bool is_valid_utf8(std::string_view text) {
  if (text.size() >= 0xFFFFFFFFu) return false;
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  for (int32_t i = 0; i < length;) {
    UChar32 c = 0;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) return false;
  }
  return true;
}

// Expands each argument: a folder gives every `.py` file below it (sorted), a file that ends in
// ".txt" gives the paths listed in it one per line, any other file stands for itself.
inline std::vector<std::string> collect_python_files(const std::vector<std::string>& arguments) {
  namespace fs = std::filesystem;
  std::vector<std::string> files;
  for (const std::string& argument : arguments) {
    std::error_code ec;
    if (fs::is_directory(argument, ec)) {
      std::vector<std::string> found;
      for (auto it = fs::recursive_directory_iterator(argument, fs::directory_options::skip_permission_denied, ec);
           !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->path().extension() == ".py" && it->is_regular_file(ec)) found.push_back(it->path().string());
      }
      std::sort(found.begin(), found.end());
      files.insert(files.end(), found.begin(), found.end());
    } else if (argument.size() > 4 && argument.ends_with(".txt")) {
      std::ifstream list(argument);
      for (std::string line; std::getline(list, line);) {
        if (!line.empty()) files.push_back(line);
      }
    } else {
      files.push_back(argument);
    }
  }
  return files;
}

}  // namespace pysyntax::tools
