#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build (OMR_FUZZ=ON) for a fixed time, all
# at once, each from its seed corpus in tests/fuzz/corpus/<target>/. New
# inputs go to <build>/fuzz/<target>/, never into the sources. A crash, a
# sanitizer report, a leak or a time-out fails the run; its input is kept as
# <build>/fuzz/<target>/crash-* (add it to the corpus once fixed).
# Usage: tests/fuzz/run.sh <fuzz build folder> [seconds per target]
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=$(cd "$1" && pwd)
SECONDS_EACH=${2:-30}
CORPUS=$PWD/tests/fuzz/corpus

: "${ASAN_OPTIONS:=detect_leaks=1}"
: "${LSAN_OPTIONS:=suppressions=$PWD/tests/lsan.supp}"
: "${UBSAN_OPTIONS:=halt_on_error=1:print_stacktrace=1}"
export ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS

targets=(template_xml template_file template_designer matdata platform_replies)
targets+=(twain_dib twain_strips twain_containers)
declare -A extra_options=(
  [template_xml]=-dict=$PWD/tests/fuzz/template.dict
)
# The leaks Qt's JSON parser has are only recognised (tests/lsan.supp) with
# full allocation stacks, which Qt's libraries give only to the slow unwinder.
declare -A asan_options=(
  [platform_replies]=$ASAN_OPTIONS:fast_unwind_on_malloc=0
)

pids=()
for t in "${targets[@]}"; do
  work=$BUILD/fuzz/$t
  rm -rf "$work"
  mkdir -p "$work/new"
  (
    cd "$work"
    ASAN_OPTIONS=${asan_options[$t]:-$ASAN_OPTIONS} \
      "$BUILD/tests/fuzz/fuzz_$t" -max_total_time="$SECONDS_EACH" -timeout=20 -rss_limit_mb=4096 \
      -print_final_stats=1 -artifact_prefix="$work/" ${extra_options[$t]:-} \
      "$work/new" "$CORPUS/$t"
  ) >"$work/log" 2>&1 &
  pids+=($!)
done

failed=0
for i in "${!targets[@]}"; do
  t=${targets[$i]}
  if wait "${pids[$i]}"; then
    echo "fuzz $t: $(grep -m1 -o 'stat::number_of_executed_units: [0-9]*' "$BUILD/fuzz/$t/log" | sed 's/.*: //') runs, no failure"
  else
    failed=1
    echo "fuzz $t FAILED:" >&2
    tail -n 60 "$BUILD/fuzz/$t/log" >&2
    ls "$BUILD/fuzz/$t"/crash-* "$BUILD/fuzz/$t"/leak-* "$BUILD/fuzz/$t"/timeout-* "$BUILD/fuzz/$t"/oom-* 2>/dev/null >&2 || true
  fi
done
exit "$failed"
