#!/usr/bin/env bash
# Builds the module for every CPython >= 3.11 on the machine (Debian's /usr/bin/python3 and any
# pyenv versions), each with a small CMake configure of its own, and checks that each imports it
# and analyses the demo exactly as the golden manifest says.
# Usage: smoke_interpreters.sh SOURCE_DIR WORK_DIR CXX_COMPILER ARCHIVES (":"-separated, link order)
set -euo pipefail
source_dir=$1
work_dir=$2
cxx=$3
archives=${4//:/;}

candidates=(/usr/bin/python3)
for python in "${PYENV_ROOT:-/root/.pyenv}"/versions/*/bin/python3; do
  [ -x "$python" ] && candidates+=("$python")
done

checked=0
for python in "${candidates[@]}"; do
  [ -x "$python" ] || continue
  if ! "$python" -c 'import sys; sys.exit(0 if sys.version_info >= (3, 11) else 1)'; then
    continue
  fi
  version=$("$python" -c 'import sys; print("%d.%d.%d" % sys.version_info[:3])')
  if ! "$python" -c 'import os, sys, sysconfig; sys.exit(not os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h")))'; then
    echo "smoke: skipping $python ($version): no development headers"
    continue
  fi
  build="$work_dir/$version-$(echo "$python" | md5sum | cut -c1-8)"
  echo "smoke: building for $python ($version)"
  cmake -S "$source_dir/module/smoke" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_COMPILER="$cxx" -DPython3_EXECUTABLE="$python" -DVESK_SOURCE_DIR="$source_dir" \
    -DVESK_ARCHIVES="$archives" >/dev/null
  cmake --build "$build" >/dev/null
  (cd "$source_dir" && PYTHONPATH="$build/python:$source_dir/tests/module" PYTHONDONTWRITEBYTECODE=1 \
    "$python" "$source_dir/tests/module/smoke/smoke_check.py")
  checked=$((checked + 1))
done

if [ "$checked" -eq 0 ]; then
  echo "smoke: no CPython >= 3.11 with headers found" >&2
  exit 1
fi
echo "smoke: $checked interpreters passed"
