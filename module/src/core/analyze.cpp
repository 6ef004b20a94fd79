// The road of one analyze_path call. Files are analysed as the walk hands them over, so only one
// parsed tree is alive at a time; the manifest is the same as if all were parsed first.
#include "core/analyze.h"

#include <utility>
#include <vector>

#include "core/manifest_json.h"
#include "detect/analysis.h"
#include "detect/packs.h"
#include "detect/path.h"
#include "detect/walk.h"

namespace vesk {
namespace {

// Feeds each parsed file to the manifest builder and turns each unusable file into a warning, in
// walk order.
class AnalysingSink final : public detect::FileSink {
 public:
  AnalysingSink(detect::ManifestBuilder& builder, std::vector<std::string>& warnings)
      : builder_(builder), warnings_(warnings) {}

  void on_file(detect::ParsedFile&& file) override {
    builder_.add_file(file.path, file.statements, file.source_text().size());
  }
  void on_error(detect::WalkError&& error) override {
    warnings_.push_back("parse error: " + detect::display_walk_error(error));
  }
  // A manifest past its budget fails the call, so the rest of the tree need not be read.
  bool wants_more() const override { return builder_.within_output_budget(); }

 private:
  detect::ManifestBuilder& builder_;
  std::vector<std::string>& warnings_;
};

detect::Error failure(std::string_view prefix, const detect::Error& error) {
  return detect::Error(std::string(prefix) + error.message());
}

}  // namespace

std::string default_pack_dir(std::string_view root) {
  return detect::join_path(detect::join_path(root, "packs"), "frameworks");
}

std::string default_pattern_dir(std::string_view root) {
  return detect::join_path(detect::join_path(root, "packs"), "patterns");
}

detect::Result<JsonText> analyze_path_impl(std::string_view path,
                                           std::optional<std::string_view> pack_dir,
                                           std::optional<std::string_view> pattern_dir) {
  // Both folders are fixed before anything is read; a given folder is used as given, even empty.
  const std::string root(path);
  const std::string framework_folder = pack_dir ? std::string(*pack_dir) : default_pack_dir(root);
  const std::string pattern_folder = pattern_dir ? std::string(*pattern_dir) : default_pattern_dir(root);
  std::vector<std::string> warnings;
  // One draw of random bytes keys every hash table of the call.
  detect::HashSeeds seeds;

  auto framework_packs = detect::load_framework_packs(framework_folder, warnings, seeds);
  if (!framework_packs.ok()) return failure("loading framework packs: ", framework_packs.error());
  auto pattern_packs = detect::load_pattern_packs(pattern_folder, warnings, seeds);
  if (!pattern_packs.ok()) return failure("loading pattern packs: ", pattern_packs.error());
  return analyze_project(root, framework_packs.value(), pattern_packs.value(), std::move(warnings), seeds);
}

detect::Result<JsonText> analyze_project(const std::string& root,
                                         const std::vector<detect::FrameworkPack>& framework_packs,
                                         const std::vector<detect::PatternPack>& pattern_packs,
                                         std::vector<std::string> warnings) {
  detect::HashSeeds seeds;
  return analyze_project(root, framework_packs, pattern_packs, std::move(warnings), seeds);
}

detect::Result<JsonText> analyze_project(const std::string& root,
                                         const std::vector<detect::FrameworkPack>& framework_packs,
                                         const std::vector<detect::PatternPack>& pattern_packs,
                                         std::vector<std::string> warnings, detect::HashSeeds& seeds) {
  detect::ManifestBuilder builder(framework_packs, pattern_packs, seeds);
  AnalysingSink sink(builder, warnings);
  const detect::Status walked = detect::walk_project(root, sink, seeds);
  if (!walked.ok()) {
    // The message names the root as given, never the folder that failed nor the I/O error.
    detect::Error error = detect::Error(walked.error()).context("walking " + detect::path_to_text(root));
    return failure("walking project: ", error);
  }
  if (!builder.within_output_budget()) {
    return detect::Error("serialising manifest: the manifest would be larger than " +
                         std::to_string(builder.output_limit()) +
                         " bytes (8 MiB and 32 bytes for each byte of source analysed)");
  }

  detect::BuildManifest manifest = std::move(builder).finish();
  manifest.warnings = std::move(warnings);
  auto json = write_manifest_json(manifest);
  if (!json.ok()) return failure("serialising manifest: ", json.error());
  return json;
}

}  // namespace vesk
