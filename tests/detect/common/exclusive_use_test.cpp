// Reused name buffers misused: a second use opened inside the first. The sanitizer build stops
// there instead of handing on a newer name.
#include <gtest/gtest.h>

#include "common/exclusive_use.h"
#include "pysyntax/invariant.h"

namespace detect {
namespace {

TEST(ExclusiveUseDeathTest, ASecondScopeInsideTheFirstAbortsInTheSanitizerBuild) {
  ExclusiveUse use;
  { const ExclusiveUse::Scope first(use); }
  const ExclusiveUse::Scope again(use);  // one after the other is fine
  if (!pysyntax::kCheckInvariants) GTEST_SKIP() << "uses are checked in the sanitizer build only";
  EXPECT_DEATH(ExclusiveUse::Scope inside(use), "reused buffers were taken again while their views were held");
}

}  // namespace
}  // namespace detect
