// Reading Python sources for the tools: a file's bytes, the UTF-8 check the project walk applies
// (a file that fails it is a read failure, not a parse), and the `.py` files below a folder in
// a stable order.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pysyntax::tools {

std::optional<std::string> read_file(const std::string& path);

bool is_valid_utf8(std::string_view text);

// Expands each argument: a folder gives every `.py` file below it (sorted), a file that ends in
// ".txt" gives the paths listed in it one per line, any other file stands for itself.
std::vector<std::string> collect_python_files(const std::vector<std::string>& arguments);

}  // namespace pysyntax::tools
