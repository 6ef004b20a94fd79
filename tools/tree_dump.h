// The canonical text form of a syntax tree, the same form tools/cpython_dump.py prints for
// CPython's `ast`, so that the two parsers can be compared line by line (the form itself is
// described at the top of that script). Structure and values only: no positions.
#pragma once

#include <string>

#include "pysyntax/ast.h"

namespace pysyntax::tools {

// Appends the dump of `module` to `out`, lines separated by "\n", without a final newline.
void dump_module(const Module& module, std::string& out);

}  // namespace pysyntax::tools
