// The source analysis as one call: the parsed source files of a project and the loaded packs in,
// the BuildManifest out. Files are taken in walk order; each file's import table, file pass,
// factory map and per-function analysis run while it is added, so a caller that parses file by
// file may release each tree as soon as `add_file` returns. The builder borrows both pack lists:
// they must outlive it. Nothing here warns (the manifest's `warnings` stays empty), and nothing
// fails but the output budget: past it no further file adds anything and the caller fails
// (`within_output_budget`).
//
//   detect::ManifestBuilder builder(framework_packs, pattern_packs);
//   for (const auto& file : files) builder.add_file(file.path, file.statements, file.source_text().size());
//   detect::BuildManifest manifest = std::move(builder).finish();
#pragma once

#include <cstddef>
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
  // The same with seeds forked from the call's (the form above draws its own).
  ManifestBuilder(const std::vector<FrameworkPack>& framework_packs, const std::vector<PatternPack>& pattern_packs,
                  HashSeeds& call_seeds);
  // The packs are borrowed for the builder's lifetime, so temporaries would dangle.
  ManifestBuilder(std::vector<FrameworkPack>&&, const std::vector<PatternPack>&) = delete;
  ManifestBuilder(const std::vector<FrameworkPack>&, std::vector<PatternPack>&&) = delete;
  ManifestBuilder(std::vector<FrameworkPack>&&, std::vector<PatternPack>&&) = delete;
  ManifestBuilder(std::vector<FrameworkPack>&&, const std::vector<PatternPack>&, HashSeeds&) = delete;
  ManifestBuilder(const std::vector<FrameworkPack>&, std::vector<PatternPack>&&, HashSeeds&) = delete;
  ManifestBuilder(std::vector<FrameworkPack>&&, std::vector<PatternPack>&&, HashSeeds&) = delete;
  ~ManifestBuilder();
  ManifestBuilder(ManifestBuilder&&) noexcept;
  ManifestBuilder& operator=(ManifestBuilder&&) noexcept;
  ManifestBuilder(const ManifestBuilder&) = delete;
  ManifestBuilder& operator=(const ManifestBuilder&) = delete;

  // Analyses one file: `path` as walked (raw bytes), `statements` its module's top-level
  // statements, `source_bytes` the size of its text. Nothing is kept after the call.
  void add_file(std::string_view path, pysyntax::Span<pysyntax::Stmt*> statements, std::size_t source_bytes);

  // Whether the records made so far fit the output budget: their JSON may take 8 MiB and 32 bytes
  // for each byte of source added. Once they do not, further files add nothing and the caller is
  // to fail: a manifest out of all proportion to its input only comes from crafted trees (one
  // long text repeated by every record of a file).
  [[nodiscard]] bool within_output_budget() const;
  [[nodiscard]] std::size_t output_limit() const;

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
