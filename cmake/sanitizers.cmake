# One switch builds every target, tests included, with ASan and UBSan. Any UB report aborts, so a
# test that triggers one fails instead of printing a line nobody reads.
if(VESK_SANITIZE)
  set(vesk_sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${vesk_sanitize_flags})
  add_link_options(${vesk_sanitize_flags})
  # The invariants that speed-ups rest on are checked in this build (pysyntax/invariant.h).
  add_compile_definitions(VESK_CHECK_INVARIANTS=1)
endif()
