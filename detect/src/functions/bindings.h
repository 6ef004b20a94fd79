// Local variables bound to what they were assigned from, so that a method call on one
// (`llm.invoke(q)` after `llm = ChatModel()`) can be classified by the variable's class. All
// bindings of a function are made before it is measured; a variable keeps its first binding.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "functions/functions.h"
#include "metrics/metrics.h"
#include "pysyntax/ast.h"

namespace detect {

// Binds the single-name targets of plain and annotated assignments in `statement`, descending
// into loop bodies (and a for's else body), if clauses, with bodies and every block of a try;
// not into match statements or nested definitions.
void collect_bindings(LocalBindings& bindings, const pysyntax::Stmt& statement,
                      const ImportAliases& aliases, const FactoryMap& factories);

// Binds `variable` when `value` is a call of a file factory (to what the factory returns) or of
// an imported or dotted callee (to its resolved name); a bare local callee binds nothing.
void bind_receiver(LocalBindings& bindings, std::string_view variable, const pysyntax::Expr& value,
                   const ImportAliases& aliases, const FactoryMap& factories);

// The resolved name of the dotted callee `raw` when it tells what was called: it went through an
// import, or it is dotted itself. None for a bare local name (`Local()`, or `json()` after
// `import json`, which resolves to itself).
std::optional<std::string> informative_resolution(std::string_view raw, const ImportAliases& aliases);

}  // namespace detect
