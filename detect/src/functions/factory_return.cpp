// What a module-level factory function returns: the resolved name of its first returned call of
// an imported or dotted callee. Returns under a loop's else body, an except handler, a try's else
// or finally block, a match case or a nested definition are not searched.
#include <optional>
#include <string>

#include "functions/bindings.h"
#include "functions/functions.h"
#include "names/names.h"

namespace detect {
namespace {

std::optional<std::string> first_in(pysyntax::Span<pysyntax::Stmt*> body, const ImportAliases& aliases) {
  for (const pysyntax::Stmt* statement : body) {
    if (std::optional<std::string> found = find_factory_return(*statement, aliases)) return found;
  }
  return std::nullopt;
}

std::optional<std::string> returned_callee(const pysyntax::Return& statement, const ImportAliases& aliases) {
  if (statement.value == nullptr) return std::nullopt;
  const auto* call = statement.value->try_as<pysyntax::Call>();
  if (call == nullptr) return std::nullopt;
  std::string raw;
  if (!dotted_name(*call->func, raw)) return std::nullopt;
  return informative_resolution(raw, aliases);
}

}  // namespace

std::optional<std::string> find_factory_return(const pysyntax::Stmt& statement, const ImportAliases& aliases) {
  using pysyntax::StmtKind;
  switch (statement.kind) {
    case StmtKind::Return:
      return returned_callee(statement.as<pysyntax::Return>(), aliases);
    case StmtKind::If: {
      const auto& s = statement.as<pysyntax::If>();
      if (std::optional<std::string> found = first_in(s.body, aliases)) return found;
      for (const pysyntax::ElifElseClause& clause : s.clauses) {
        if (std::optional<std::string> found = first_in(clause.body, aliases)) return found;
      }
      return std::nullopt;
    }
    case StmtKind::With:
      return first_in(statement.as<pysyntax::With>().body, aliases);
    case StmtKind::For:
      return first_in(statement.as<pysyntax::For>().body, aliases);
    case StmtKind::While:
      return first_in(statement.as<pysyntax::While>().body, aliases);
    case StmtKind::Try:
      return first_in(statement.as<pysyntax::Try>().body, aliases);
    default:
      return std::nullopt;
  }
}

}  // namespace detect
