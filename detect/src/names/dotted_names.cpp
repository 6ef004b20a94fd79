// Dotted names of expressions and their rewrite through a file's import table. These run for
// every call and decorator of the project, so they work in the caller's buffer and walk the
// attribute chain iteratively: one pass to check the chain and measure it, one to write it from
// its end backwards.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "names/names.h"

namespace detect {
namespace {

using pysyntax::Expr;
using pysyntax::ExprKind;

const Expr* skip_calls(const Expr* expression) {
  while (expression->kind == ExprKind::Call) expression = expression->as<pysyntax::Call>().func;
  return expression;
}

// The length of the dotted name, or none when the chain does not end in a name or the name would
// be longer than any name is taken to be.
std::optional<std::size_t> dotted_length(const Expr& expression) {
  std::size_t length = 0;
  for (const Expr* e = skip_calls(&expression);; e = skip_calls(e->as<pysyntax::Attribute>().value)) {
    if (e->kind == ExprKind::Name) {
      length += e->as<pysyntax::Name>().id.size();
      return length <= kMaxNameBytes ? std::optional(length) : std::nullopt;
    }
    if (e->kind != ExprKind::Attribute) return std::nullopt;
    length += 1 + e->as<pysyntax::Attribute>().attr.id.size();
    if (length > kMaxNameBytes) return std::nullopt;
  }
}

}  // namespace

bool dotted_name(const Expr& expression, std::string& out) {
  const std::optional<std::size_t> length = dotted_length(expression);
  if (!length) return false;
  out.resize(*length);
  char* const text = out.data();
  std::size_t end = *length;
  // The first pass proved that the chain is attributes down to a name, and measured the room each
  // part is copied into.
  for (const Expr* e = skip_calls(&expression);; e = skip_calls(e->as<pysyntax::Attribute>().value)) {
    if (e->kind == ExprKind::Name) {
      const std::string_view id = e->as<pysyntax::Name>().id;
      if (!id.empty()) std::memcpy(text, id.data(), id.size());
      return true;
    }
    const std::string_view attr = e->as<pysyntax::Attribute>().attr.id;
    end -= attr.size();
    if (!attr.empty()) std::memcpy(text + end, attr.data(), attr.size());
    text[--end] = '.';
  }
}

std::optional<std::string> dotted_name(const Expr& expression) {
  std::string out;
  if (!dotted_name(expression, out)) return std::nullopt;
  return out;
}

namespace {

// The import target of the first segment of `name` (the text before its first dot, or all of
// it), or null; `head_size` receives that segment's length. Replacing the head by the target
// gives "{target}.{rest}" when there is a dot, and the target alone when there is none.
const std::string* head_target(std::string_view name, const ImportAliases& aliases, std::size_t& head_size) {
  head_size = std::min(name.find('.'), name.size());
  return aliases.find(name.substr(0, head_size));
}

}  // namespace

bool resolve_dotted(std::string_view name, const ImportAliases& aliases, std::string& out) {
  std::size_t head_size = 0;
  const std::string* target = head_target(name, aliases, head_size);
  if (target == nullptr) return false;
  out.assign(*target).append(name.substr(head_size));
  return true;
}

std::optional<std::string> resolve_dotted(std::string_view name, const ImportAliases& aliases) {
  std::string out;
  if (!resolve_dotted(name, aliases, out)) return std::nullopt;
  return out;
}

bool resolved_name(const Expr& expression, const ImportAliases& aliases, std::string& out) {
  if (!dotted_name(expression, out)) return false;
  std::size_t head_size = 0;
  if (const std::string* target = head_target(out, aliases, head_size)) out.replace(0, head_size, *target);
  return true;
}

std::optional<std::string> resolved_name(const Expr& expression, const ImportAliases& aliases) {
  std::string out;
  if (!resolved_name(expression, aliases, out)) return std::nullopt;
  return out;
}

}  // namespace detect
