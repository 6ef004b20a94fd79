// Checks of the invariants that speed-ups rest on (a view into a buffer that the next file
// reuses, a prefilter that assumes how names are built elsewhere). They cost nothing in the
// Release build and fail loudly in the sanitizer build, which every test also runs in, so a
// change that breaks an invariant is caught by the tests instead of giving a wrong manifest.
//
//   VESK_INVARIANT(view.generation == buffer.generation, "a view outlived the file it points into");
#pragma once

namespace pysyntax {
// For code that checks an invariant by doing something else in the sanitizer build (freeing a
// buffer instead of reusing it, so that a stale view is a use after free there).
#if defined(VESK_CHECK_INVARIANTS)
inline constexpr bool kCheckInvariants = true;
#else
inline constexpr bool kCheckInvariants = false;
#endif
}  // namespace pysyntax

#if defined(VESK_CHECK_INVARIANTS)
#include <cstdio>
#include <cstdlib>

#define VESK_INVARIANT(condition, what)                                                   \
  do {                                                                                    \
    if (!(condition)) {                                                                   \
      std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, (what)); \
      std::abort();                                                                       \
    }                                                                                     \
  } while (false)
#else
// Not evaluated, but still compiled, so that what only a check uses counts as used.
#define VESK_INVARIANT(condition, what) \
  do {                                  \
    (void)sizeof(!(condition));         \
    (void)sizeof(what);                 \
  } while (false)
#endif
