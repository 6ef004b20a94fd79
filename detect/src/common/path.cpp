#include "detect/path.h"

namespace detect {

std::string join_path(std::string_view dir, std::string_view name) {
  std::string out;
  out.reserve(dir.size() + 1 + name.size());
  out.append(dir);
  append_to_path(out, name);
  return out;
}

void append_to_path(std::string& dir, std::string_view name) {
  if (!dir.empty() && dir.back() != '/') dir.push_back('/');
  dir.append(name);
}

bool has_extension(std::string_view name, std::string_view extension) {
  if (name == "..") return false;
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  return name.substr(dot + 1) == extension;
}

}  // namespace detect
