// Buffers that one function alone writes, and views only while it runs. Reusing them spares an
// allocation per long name, but a second run started inside the first would rewrite them under
// the first one's views; the sanitizer build checks that none starts.
#pragma once

#include "pysyntax/invariant.h"

namespace detect {

// Who uses a set of buffers now. `Scope` marks one use for its lifetime; in the sanitizer build a
// second scope opened while one is open aborts, since it would rewrite the buffers under the first
// one's views. In Release both are empty and do nothing.
class ExclusiveUse {
 public:
  class Scope {
   public:
    explicit Scope([[maybe_unused]] ExclusiveUse& use)
#if defined(VESK_CHECK_INVARIANTS)
        : use_(use) {
      VESK_INVARIANT(!use_.open_, "reused buffers were taken again while their views were held");
      use_.open_ = true;
    }
    ~Scope() { use_.open_ = false; }
#else
    {
    }
#endif
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
#if defined(VESK_CHECK_INVARIANTS)
    ExclusiveUse& use_;
#endif
  };

 private:
#if defined(VESK_CHECK_INVARIANTS)
  bool open_ = false;
#endif
};

}  // namespace detect
