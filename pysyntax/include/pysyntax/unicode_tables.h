// The two Unicode tables that ICU loads when they are first used: the character names that
// `\N{...}` escapes look up, and the NFKC data that non-ASCII identifiers are normalised with.
// ICU keeps the outcome of that first load for the rest of the process: a load that failed for
// want of memory makes every later use fail the same way, however much memory there is by then.
// A host that has to outlive an exhausted allocation therefore loads them once, up front.
#pragma once

namespace pysyntax {

/// Loads both tables (nothing to do when they are loaded already). False when ICU ran out of
/// memory: the tables cannot be had in this process any more, and a parse that needs them
/// throws std::bad_alloc.
[[nodiscard]] bool load_unicode_tables();

}  // namespace pysyntax
