// Fills a file's import table from its import statements and from the statements nested in the
// few compound statements that are searched for imports.
#include "names/names.h"

namespace detect {
namespace {

using pysyntax::Stmt;
using pysyntax::StmtKind;

void collect_body(pysyntax::Span<Stmt*> body, ImportAliases& aliases) {
  for (const Stmt* statement : body) collect_import_aliases(*statement, aliases);
}

void add_import(const pysyntax::Import& import, ImportAliases& aliases) {
  for (const pysyntax::Alias& alias : import.names) {
    const std::string_view module = alias.name.id;
    // `import a.b` binds `a` but the table keeps the whole path, so `a.x` later resolves to
    // `a.b.x`: callers rely on the values being whole module paths.
    if (module.size() > kMaxNameBytes) continue;
    const std::string_view key =
        alias.asname.empty() ? module.substr(0, module.find('.')) : alias.asname.id;
    aliases.insert_or_assign(key, std::string(module));
  }
}

void add_import_from(const pysyntax::ImportFrom& import, ImportAliases& aliases) {
  // `from . import n` names no module, and the relative level is ignored everywhere, so there is
  // nothing to say about where `n` comes from.
  if (import.module.empty()) return;
  const std::string_view module = import.module.id;
  for (const pysyntax::Alias& alias : import.names) {
    const std::string_view name = alias.name.id;
    if (module.size() + 1 + name.size() > kMaxNameBytes) continue;
    std::string target;
    target.reserve(module.size() + 1 + name.size());
    target.append(module).append(1, '.').append(name);
    aliases.insert_or_assign(alias.asname.empty() ? name : alias.asname.id, std::move(target));
  }
}

}  // namespace

// Recursion follows statement nesting, which the parser bounds by its indentation limit.
void collect_import_aliases(const Stmt& statement, ImportAliases& aliases) {
  switch (statement.kind) {
    case StmtKind::Import:
      add_import(statement.as<pysyntax::Import>(), aliases);
      return;
    case StmtKind::ImportFrom:
      add_import_from(statement.as<pysyntax::ImportFrom>(), aliases);
      return;
    case StmtKind::FunctionDef:
      collect_body(statement.as<pysyntax::FunctionDef>().body, aliases);
      return;
    case StmtKind::ClassDef:
      collect_body(statement.as<pysyntax::ClassDef>().body, aliases);
      return;
    case StmtKind::If: {
      const auto& if_statement = statement.as<pysyntax::If>();
      collect_body(if_statement.body, aliases);
      for (const pysyntax::ElifElseClause& clause : if_statement.clauses) collect_body(clause.body, aliases);
      return;
    }
    case StmtKind::Try: {
      // The else and finally blocks are deliberately not searched.
      const auto& try_statement = statement.as<pysyntax::Try>();
      collect_body(try_statement.body, aliases);
      for (const pysyntax::ExceptHandler& handler : try_statement.handlers) collect_body(handler.body, aliases);
      return;
    }
    default:
      return;
  }
}

}  // namespace detect
