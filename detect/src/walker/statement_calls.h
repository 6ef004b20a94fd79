// Helpers of the file pass shared between its sources: the full walk of one statement and the
// test that lets the pass skip statements without a call that any class rule names.
#pragma once

#include "walker/file_pass.h"

namespace detect {

// Hands every expression of `statement` (nested statements included) to the class rules.
void walk_statement_calls(FileContext& context, const pysyntax::Stmt& statement);

// True when some call in `statement` has a resolved callee named by a class rule.
[[nodiscard]] bool holds_class_rule_call(FileContext& context, const pysyntax::Stmt& statement);

}  // namespace detect
