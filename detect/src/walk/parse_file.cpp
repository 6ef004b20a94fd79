// One source text to a parsed file, or to the message of its first parse error.
#include <cstdint>
#include <limits>
#include <memory>

#include "detect/path.h"
#include "detect/walk.h"
#include "pysyntax/parse.h"
#include "walk/limits.h"

namespace detect {
namespace {

std::string parse_message(const pysyntax::ParseError& error) {
  std::string message = "ParseError { error: ";
  message += pysyntax::error_debug_text(error);
  message += ", location: ";
  message += std::to_string(error.range.start);
  message += "..";
  message += std::to_string(error.range.end);
  message += " }";
  return message;
}

}  // namespace

std::variant<ParsedFile, WalkError> parse_file(std::string_view path, std::string text) {
  // The parser's offsets are 32-bit; a longer text must never reach it.
  if (text.size() > kMaxSourceBytes) {
    return WalkError{WalkError::Kind::ParseFailed, std::string(path), kSourceTooLargeText};
  }
  // The tree points into the text, so the text goes behind a pointer before parsing: moving the
  // record later must not move the bytes (a short string's bytes live inside the string object).
  auto owned_text = std::make_unique<const std::string>(std::move(text));
  pysyntax::Arena arena;
  const pysyntax::ParseResult result = pysyntax::parse_module(*owned_text, arena);
  if (!result.ok()) {
    return WalkError{WalkError::Kind::ParseFailed, std::string(path), parse_message(*result.error)};
  }
  return ParsedFile(std::string(path), std::move(owned_text), std::move(arena), *result.module);
}

std::string display_walk_error(const WalkError& error) {
  std::string text = error.kind == WalkError::Kind::ReadFailed ? "io error reading " : "ruff parse error in ";
  append_path_text(text, error.path);
  text += ": ";
  text += error.detail;
  return text;
}

}  // namespace detect
