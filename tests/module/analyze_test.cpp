// The worker's default pack folders: the joining rule on the roots a caller may give.
#include <gtest/gtest.h>

#include "core/analyze.h"

namespace vesk {
namespace {

TEST(DefaultPackFolders, JoinWithoutDoublingOrNormalising) {
  const struct {
    const char* root;
    const char* frameworks;
    const char* patterns;
  } cases[] = {
      {"proj", "proj/packs/frameworks", "proj/packs/patterns"},
      {"proj/", "proj/packs/frameworks", "proj/packs/patterns"},
      {"/srv/proj", "/srv/proj/packs/frameworks", "/srv/proj/packs/patterns"},
      {"/", "/packs/frameworks", "/packs/patterns"},
      {"a//", "a//packs/frameworks", "a//packs/patterns"},
      {"./x/..", "./x/../packs/frameworks", "./x/../packs/patterns"},
      {"", "packs/frameworks", "packs/patterns"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(default_pack_dir(c.root), c.frameworks) << c.root;
    EXPECT_EQ(default_pattern_dir(c.root), c.patterns) << c.root;
  }
}

}  // namespace
}  // namespace vesk
