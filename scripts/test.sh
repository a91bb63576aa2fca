#!/usr/bin/env bash
# Installs what the build needs, builds everything and runs every test. Then
# the whole suite again in a build checked by AddressSanitizer and
# UndefinedBehaviorSanitizer, and every fuzz target (clang's libFuzzer) for a
# fixed time on its seed corpus. Each checked build compiles, at a lower
# priority, while the tests of the build before it run.
#
# Folders: build (BUILD_DIR), build-asan (ASAN_DIR), build-fuzz (FUZZ_DIR).
# FUZZ_SECONDS sets the fuzzing time per target (30).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
bash scripts/install-deps.sh

JOBS=$(nproc)
BUILD_DIR=${BUILD_DIR:-build}
ASAN_DIR=${ASAN_DIR:-build-asan}
FUZZ_DIR=${FUZZ_DIR:-build-fuzz}
FUZZ_SECONDS=${FUZZ_SECONDS:-30}
# Checked builds: -O1 keeps them quick to build, line tables name the lines.
CHECKED=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG")

export QT_QPA_PLATFORM=offscreen
# A sanitizer report fails the program that made it. Leaks count too, except
# what Qt itself keeps or loses (tests/lsan.supp). The build runs checked
# tools as well, so this holds from here on.
export ASAN_OPTIONS=detect_leaks=1
export LSAN_OPTIONS=suppressions=$ROOT/tests/lsan.supp
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

# Background builds get their own process group, so a failure stops them.
set -m
background=()
trap 'for pid in "${background[@]}"; do kill -- -"$pid" 2>/dev/null || true; done' EXIT

# in_background <log> <command...>: runs the command at low priority.
in_background() {
  local log=$1
  shift
  (renice -n 10 -p "$BASHPID" >/dev/null && "$@") >"$log" 2>&1 &
  background+=($!)
}
# finish <log> <what>: waits for the last background command; its log is
# shown in full only when it failed.
finish() {
  local pid=${background[-1]}
  if ! wait "$pid"; then
    cat "$1"
    echo "$2 failed" >&2
    exit 1
  fi
  unset 'background[-1]'
  tail -n 1 "$1"
}

build_checked() {
  cmake -S . -B "$ASAN_DIR" -DOMR_SANITIZE=ON "${CHECKED[@]}"
  cmake --build "$ASAN_DIR" -j"$JOBS"
}
build_fuzz() {
  CC=clang CXX=clang++ cmake -S . -B "$FUZZ_DIR" -DOMR_FUZZ=ON "${CHECKED[@]}"
  cmake --build "$FUZZ_DIR" -j"$JOBS" --target fuzz_targets
}

# --- the ordinary build ------------------------------------------------------
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Folder libraries depend one way only (no cycle, no link or include upwards).
bash scripts/check-layers.sh "$BUILD_DIR"
cmake --build "$BUILD_DIR" -j"$JOBS"

mkdir -p "$ASAN_DIR"
in_background "$ASAN_DIR/build.log" build_checked
(cd "$BUILD_DIR" && ctest --output-on-failure -j"$JOBS" --timeout 900)

# --- the suite under AddressSanitizer and UndefinedBehaviorSanitizer ---------
finish "$ASAN_DIR/build.log" "The sanitizer build"
mkdir -p "$FUZZ_DIR"
in_background "$FUZZ_DIR/build.log" build_fuzz
(cd "$ASAN_DIR" && ctest --output-on-failure -j"$JOBS" --timeout 900)

# --- fuzzing -----------------------------------------------------------------
finish "$FUZZ_DIR/build.log" "The fuzz build"
bash tests/fuzz/run.sh "$FUZZ_DIR" "$FUZZ_SECONDS"
