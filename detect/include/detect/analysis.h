// The source analysis as one call: the parsed source files of a project and the loaded packs in,
// the BuildManifest out. Files are taken in walk order; each file's import table, file pass,
// factory map and per-function analysis run while it is added, so a caller that parses file by
// file may release each tree as soon as `add_file` returns. The builder borrows both pack lists:
// they must outlive it. Nothing here fails or warns; the manifest's `warnings` stays empty.
//
//   detect::ManifestBuilder builder(framework_packs, pattern_packs);
//   for (const auto& file : files) builder.add_file(file.path, file.statements);
//   detect::BuildManifest manifest = std::move(builder).finish();
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "detect/manifest.h"
#include "detect/packs.h"
#include "pysyntax/arena.h"
#include "pysyntax/ast.h"

namespace detect {

struct ParsedFile;

class ManifestBuilder {
 public:
  ManifestBuilder(const std::vector<FrameworkPack>& framework_packs,
                  const std::vector<PatternPack>& pattern_packs);
  // The packs are borrowed for the builder's lifetime, so temporaries would dangle.
  ManifestBuilder(std::vector<FrameworkPack>&&, const std::vector<PatternPack>&) = delete;
  ManifestBuilder(const std::vector<FrameworkPack>&, std::vector<PatternPack>&&) = delete;
  ManifestBuilder(std::vector<FrameworkPack>&&, std::vector<PatternPack>&&) = delete;
  ~ManifestBuilder();
  ManifestBuilder(ManifestBuilder&&) noexcept;
  ManifestBuilder& operator=(ManifestBuilder&&) noexcept;
  ManifestBuilder(const ManifestBuilder&) = delete;
  ManifestBuilder& operator=(const ManifestBuilder&) = delete;

  // Analyses one file: `path` as walked (raw bytes), `statements` its module's top-level
  // statements. Neither is kept after the call.
  void add_file(std::string_view path, pysyntax::Span<pysyntax::Stmt*> statements);

  // Scores the framework candidates and hands over the manifest; the builder is spent.
  [[nodiscard]] BuildManifest finish() &&;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// A builder over `files` in their order (reads each file's `path` and `statements` only).
[[nodiscard]] BuildManifest build_manifest(const std::vector<ParsedFile>& files,
                                           const std::vector<FrameworkPack>& framework_packs,
                                           const std::vector<PatternPack>& pattern_packs);

}  // namespace detect
