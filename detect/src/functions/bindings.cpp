// Receiver bindings of one function body.
#include "functions/bindings.h"

#include <optional>
#include <string>

#include "names/names.h"

namespace detect {
namespace {

void collect_body(LocalBindings& bindings, pysyntax::Span<pysyntax::Stmt*> body,
                  const ImportAliases& aliases, const FactoryMap& factories) {
  for (const pysyntax::Stmt* statement : body) collect_bindings(bindings, *statement, aliases, factories);
}

}  // namespace

std::optional<std::string> informative_resolution(std::string_view raw, const ImportAliases& aliases) {
  std::optional<std::string> resolved = resolve_dotted(raw, aliases);
  if (!resolved) return std::nullopt;
  if (*resolved == raw && raw.find('.') == std::string_view::npos) return std::nullopt;
  return resolved;
}

void bind_receiver(LocalBindings& bindings, std::string_view variable, const pysyntax::Expr& value,
                   const ImportAliases& aliases, const FactoryMap& factories) {
  const auto* call = value.try_as<pysyntax::Call>();
  if (call == nullptr) return;
  std::string raw;
  if (!dotted_name(*call->func, raw)) return;
  if (const std::string* product = factories.find(raw)) {
    bindings.try_insert(variable, *product);
    return;
  }
  if (std::optional<std::string> resolved = informative_resolution(raw, aliases)) {
    bindings.try_insert(variable, std::move(*resolved));
  }
}

void collect_bindings(LocalBindings& bindings, const pysyntax::Stmt& statement,
                      const ImportAliases& aliases, const FactoryMap& factories) {
  using pysyntax::StmtKind;
  switch (statement.kind) {
    case StmtKind::Assign: {
      const auto& s = statement.as<pysyntax::Assign>();
      if (s.targets.size() != 1) return;
      if (const auto* name = s.targets[0]->try_as<pysyntax::Name>()) {
        bind_receiver(bindings, name->id, *s.value, aliases, factories);
      }
      return;
    }
    case StmtKind::AnnAssign: {
      const auto& s = statement.as<pysyntax::AnnAssign>();
      if (s.value == nullptr) return;
      if (const auto* name = s.target->try_as<pysyntax::Name>()) {
        bind_receiver(bindings, name->id, *s.value, aliases, factories);
      }
      return;
    }
    case StmtKind::For: {
      const auto& s = statement.as<pysyntax::For>();
      collect_body(bindings, s.body, aliases, factories);
      collect_body(bindings, s.orelse, aliases, factories);
      return;
    }
    case StmtKind::While:
      collect_body(bindings, statement.as<pysyntax::While>().body, aliases, factories);
      return;
    case StmtKind::If: {
      const auto& s = statement.as<pysyntax::If>();
      collect_body(bindings, s.body, aliases, factories);
      for (const pysyntax::ElifElseClause& clause : s.clauses) {
        collect_body(bindings, clause.body, aliases, factories);
      }
      return;
    }
    case StmtKind::With:
      collect_body(bindings, statement.as<pysyntax::With>().body, aliases, factories);
      return;
    case StmtKind::Try: {
      const auto& s = statement.as<pysyntax::Try>();
      collect_body(bindings, s.body, aliases, factories);
      for (const pysyntax::ExceptHandler& handler : s.handlers) {
        collect_body(bindings, handler.body, aliases, factories);
      }
      collect_body(bindings, s.orelse, aliases, factories);
      collect_body(bindings, s.finalbody, aliases, factories);
      return;
    }
    default:
      return;
  }
}

}  // namespace detect
