// Test helper: a Python source parsed into a tree, with the file's import aliases, for the tests
// of the call classifier and the per-function pass.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "common/seeded_hash.h"
#include "names/names.h"
#include "pysyntax/arena.h"
#include "pysyntax/ast.h"
#include "pysyntax/parse.h"

namespace detect::testing {

struct ParsedSource {
  explicit ParsedSource(std::string source) : text(std::move(source)), aliases(seeds.next()) {
    pysyntax::ParseResult result = pysyntax::parse_module(text, arena);
    if (!result.ok()) {
      ADD_FAILURE() << "does not parse (" << pysyntax::error_debug_text(*result.error) << " at "
                    << result.error->range.start << "):\n" << text;
      return;
    }
    module = result.module;
    for (const pysyntax::Stmt* statement : module->body) collect_import_aliases(*statement, aliases);
  }

  pysyntax::Span<pysyntax::Stmt*> statements() const {
    return module == nullptr ? pysyntax::Span<pysyntax::Stmt*>() : module->body;
  }

  // The first top-level function named `name`, or null.
  const pysyntax::FunctionDef* function(std::string_view name) const {
    for (const pysyntax::Stmt* statement : statements()) {
      const auto* def = statement->try_as<pysyntax::FunctionDef>();
      if (def != nullptr && def->name.id == name) return def;
    }
    return nullptr;
  }

  HashSeeds seeds;
  std::string text;
  pysyntax::Arena arena;
  const pysyntax::Module* module = nullptr;
  ImportAliases aliases;
};

}  // namespace detect::testing
