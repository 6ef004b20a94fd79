// How source code names things, bridged to the full dotted paths that pack rules use: the import
// table of one file (`ImportAliases`, filled by `collect_import_aliases`), the dotted name of a
// callee or decorator expression (`dotted_name`), its rewrite through the import table
// (`resolve_dotted`), and the two combined (`resolved_name`), which is what every pass compares
// with pack rule names.
//
// There is no scope analysis: an import anywhere the descent reaches counts for the whole file.
//
//   detect::ImportAliases aliases(seeds.next());
//   for (const pysyntax::Stmt* s : file.statements) detect::collect_import_aliases(*s, aliases);
//   std::string name;  // reused for every call of the file
//   if (detect::resolved_name(*call.func, aliases, name)) compare(name);
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "common/seeded_hash.h"
#include "pysyntax/ast.h"

namespace detect {

// The longest dotted name or import target that is taken for one: 4 KiB, a hundred times the
// longest module path or call name real code has. Every call of a file compares its names with
// rules and tables, so a longer one would cost its length at every call that shows it (one import
// of a 1 MB module path, resolved by 60,000 calls, copies 60 GB); such an expression has no dotted
// name, and such an import is ignored.
inline constexpr std::size_t kMaxNameBytes = 4096;

// Local name -> import target, one table per source file. Values are whole module paths
// ("a.b" after `import a.b`), "{module}.{name}" after a from-import, "{module}.*" under the key
// "*" after a star import.
using ImportAliases = TextMap<std::string>;

// Adds the entries of `statement` and of the statements nested in it that imports are looked for
// in (an import whose target is longer than kMaxNameBytes is ignored): bodies of functions and classes, of `if` with its elif/else clauses, of `try` and its
// handlers. Loops, `with`, `match`, and a `try`'s else and finally blocks are not entered.
// Later inserts replace earlier ones, so call it on the top-level statements in source order.
void collect_import_aliases(const pysyntax::Stmt& statement, ImportAliases& aliases);

// The dotted name of an expression ("a.b.c"), calls along the chain dropped (`a().b()` is
// "a.b"). Writes it into `out` (replacing its content) and returns true; returns false when the
// expression has none (a subscript, literal, lambda... anywhere in the chain, or a name longer
// than kMaxNameBytes), leaving `out` unspecified. Iterative and allocation-free beyond growing `out`: it runs for every call.
bool dotted_name(const pysyntax::Expr& expression, std::string& out);
std::optional<std::string> dotted_name(const pysyntax::Expr& expression);

// `name` with its first segment (the text before the first dot, or all of it) replaced by that
// segment's import target; none when the segment is not in the table. Only the first segment is
// ever looked up.
std::optional<std::string> resolve_dotted(std::string_view name, const ImportAliases& aliases);
// The same written into `out` (replacing its content); returns false, leaving `out` unspecified,
// when the segment is not in the table.
bool resolve_dotted(std::string_view name, const ImportAliases& aliases, std::string& out);

// The resolved name of an expression: its dotted name rewritten by `resolve_dotted` when the
// table knows its first segment, the dotted name itself otherwise. Returns false (and leaves
// `out` unspecified) when the expression has no dotted name.
bool resolved_name(const pysyntax::Expr& expression, const ImportAliases& aliases, std::string& out);
std::optional<std::string> resolved_name(const pysyntax::Expr& expression, const ImportAliases& aliases);

}  // namespace detect
