#!/usr/bin/env bash
# Runs the end-to-end benchmark (bench/analyze_bench, already built; this script builds nothing)
# on the CPython 3.13 standard library, with the twelve framework packs of bench/packs/frameworks
# and a pattern pack that matches every function; on two trees of many small files, the
# site-packages folders of CPython 3.12 and 3.13 (a few hundred files of a few kB, the size of a
# typical agent app), with the same packs; and on the demo project with its own packs. Before
# each run CPython 3.13 times `ast.parse` alone on the same tree (tools/cpython_parse_time.py),
# so every run also prints how many times faster the whole analysis is. Each tree is run twice:
# the worker alone (analyze_bench), then the call as a user makes it, from Python with the result
# str, in a fresh interpreter (bench/python_call.py, on /usr/bin/python3 or PYTHON); each of the
# two ends with the fixed cost of a call (an empty tree with the case's packs, the packs' share,
# what each empty file adds), from many calls in one process. Last comes a generated case of many
# rules of which few match (bench/many_rules_bench.cpp), written into a temporary folder.
#
#   bench/run_analyze_bench.sh [BUILD_DIR]      (default build/release; REPEAT=N for N passes)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build/release}
bench="$build_dir/bench/analyze_bench"
python313=${PYTHON313:-/root/.pyenv/versions/3.13.0/bin/python3}
stdlib=${STDLIB:-/root/.pyenv/versions/3.13.0/lib/python3.13}
site312=${SITE312:-/root/.pyenv/versions/3.12.1/lib/python3.12/site-packages}
site313=${SITE313:-$stdlib/site-packages}
python=${PYTHON:-/usr/bin/python3}
repeat=${REPEAT:-3}

generator="$build_dir/bench/many_rules_bench"
for program in "$bench" "$generator"; do
  if [[ ! -x "$program" ]]; then
    echo "run_analyze_bench: $program is missing; build it with: cmake --build $build_dir --target $(basename "$program")" >&2
    exit 2
  fi
done

# One tree: CPython's parse time first, then the analysis with that time for the ratio.
run() {
  local title=$1 root=$2
  shift 2
  echo "== $title: $root"
  local cpython
  cpython=$("$python313" tools/cpython_parse_time.py --repeat "$repeat" "$root")
  echo "$cpython"
  local seconds cpu_seconds
  seconds=$(sed -n 's/.*best of [0-9]*: \([0-9.]*\) s.*/\1/p' <<<"$cpython")
  cpu_seconds=$(sed -n 's/.*CPU time \([0-9.]*\) s.*/\1/p' <<<"$cpython")
  "$bench" --repeat "$repeat" --cpython-seconds "$seconds" ${cpu_seconds:+--cpython-cpu-seconds "$cpu_seconds"} \
    "$root" "$@"
  "$bench" --check "$root" "$@"
  "$python" bench/python_call.py --repeat "$repeat" --python "$python" --module-dir "$build_dir/module/python" \
    --cpython-seconds "$seconds" ${cpu_seconds:+--cpython-cpu-seconds "$cpu_seconds"} "$root" "$@"
}

run "CPython 3.13 standard library" "$stdlib" bench/packs/frameworks bench/packs/patterns
for site in "$site312" "$site313"; do
  if [[ -d "$site" ]]; then
    run "small files: site-packages" "$site" bench/packs/frameworks bench/packs/patterns
  else
    echo "== small files: $site is missing; passed over"
  fi
done
run "demo project" examples/demo

many_rules=$(mktemp -d)
trap 'rm -rf "$many_rules"' EXIT
"$generator" "$many_rules" >/dev/null
run "100,000 rules, few of them matching" "$many_rules/project" "$many_rules/packs/frameworks" \
  "$many_rules/packs/patterns"
