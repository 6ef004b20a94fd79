// The whole analysis over a list of parsed files, for callers that hold every file at once.
#include "detect/analysis.h"
#include "detect/walk.h"

namespace detect {

BuildManifest build_manifest(const std::vector<ParsedFile>& files, const std::vector<FrameworkPack>& framework_packs,
                             const std::vector<PatternPack>& pattern_packs) {
  ManifestBuilder builder(framework_packs, pattern_packs);
  for (const ParsedFile& file : files) builder.add_file(file.path, file.statements, file.source_text().size());
  return std::move(builder).finish();
}

}  // namespace detect
