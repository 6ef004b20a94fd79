// One source text to a parsed file, or to the message of its first parse error.
#include <cstdint>
#include <limits>
#include <memory>

#include "detect/path.h"
#include "detect/walk.h"
#include "pysyntax/parse.h"
#include "walk/limits.h"
#include "walk/parse_text.h"

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
  auto owned_text = std::make_unique<std::string>(std::move(text));
  pysyntax::Arena arena;
  return parse_text(path, owned_text, arena);
}

std::variant<ParsedFile, WalkError> parse_text(std::string_view path, std::unique_ptr<std::string>& text,
                                               pysyntax::Arena& arena) {
  // The parser's offsets are 32-bit; a longer text must never reach it.
  if (text->size() > kMaxSourceBytes) {
    return WalkError{WalkError::Kind::ParseFailed, std::string(path), kSourceTooLargeText};
  }
  arena.reset();
  const pysyntax::ParseResult result = pysyntax::parse_module(*text, arena);
  if (!result.ok()) {
    return WalkError{WalkError::Kind::ParseFailed, std::string(path), parse_message(*result.error)};
  }
  return ParsedFile(std::string(path), std::move(text), std::move(arena), *result.module);
}

std::string display_walk_error(const WalkError& error) {
  std::string text = error.kind == WalkError::Kind::ReadFailed ? "io error reading " : "ruff parse error in ";
  append_path_text(text, error.path);
  text += ": ";
  text += error.detail;
  return text;
}

}  // namespace detect
