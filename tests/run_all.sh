#!/usr/bin/env bash
# Builds the toolkit and runs every test, in three stages:
#   1. release: build/ (Release) and the whole ctest suite;
#   2. asan:    build-asan/ with the address and undefined-behaviour
#               sanitizers (-DQUAKE_SANITIZE=ON, no benchmarks) and the whole
#               ctest suite again, stopping at the first error found;
#   3. fuzz:    tests/fuzz/build_and_run.sh: build-fuzz/ (clang,
#               -DQUAKE_FUZZ=ON) and every fuzz harness for
#               $QUAKE_FUZZ_SECONDS seconds (default 60) after its regressions.
# Stage 2 and 3 run only when stage 1 passes. The exit status is non-zero
# when any stage fails.
#
# Usage: tests/run_all.sh
# Environment, for quicker local runs:
#   QUAKE_SKIP_ASAN=1     leave out stage 2
#   QUAKE_SKIP_FUZZ=1     leave out stage 3
#   QUAKE_FUZZ_SECONDS=N  fuzz each harness for N seconds
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
"$top/tools/ensure_deps.sh" || exit 1

summaries=()  # one closing line per stage
failed=0

# stage NAME COMMAND...: runs the stage, timed; records its result.
stage() {
  local name=$1
  shift
  local start=$SECONDS
  echo "==== $name"
  if "$@"; then
    summaries+=("$name: passed in $((SECONDS - start)) s")
    return 0
  fi
  summaries+=("$name: FAILED after $((SECONDS - start)) s")
  failed=1
  return 1
}

# suite BUILD_DIR CMAKE_OPTIONS...: configures, builds and runs ctest; the
# ctest closing line is kept for the end.
suite() {
  local build=$1
  shift
  cmake -S "$top" -B "$build" "$@" > /dev/null || return 1
  cmake --build "$build" -j"$jobs" || return 1
  local log=$build/ctest.log
  (cd "$build" && set -o pipefail && ctest --output-on-failure -j"$jobs" 2>&1 | tee "$log")
  local status=$?
  ctest_lines+=("$(grep -E '^[0-9]+% tests passed' "$log" | tail -1)")
  [ "$status" = 0 ] && grep -qE '^100% tests passed' "$log"
}
ctest_lines=()

release() { suite "$top/build" -DCMAKE_BUILD_TYPE=Release; }

asan() {
  # A sanitizer report ends the process at once with a failure status.
  ASAN_OPTIONS=halt_on_error=1:abort_on_error=0:detect_leaks=1:strict_string_checks=1 \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    suite "$top/build-asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUAKE_SANITIZE=ON -DQUAKE_BENCH=OFF
}

fuzz() { bash "$top/tests/fuzz/build_and_run.sh" "${QUAKE_FUZZ_SECONDS:-60}"; }

if stage release release; then
  if [ "${QUAKE_SKIP_ASAN:-0}" = 1 ]; then summaries+=("asan: skipped (QUAKE_SKIP_ASAN=1)"); else stage asan asan; fi
  if [ "${QUAKE_SKIP_FUZZ:-0}" = 1 ]; then summaries+=("fuzz: skipped (QUAKE_SKIP_FUZZ=1)"); else stage fuzz fuzz; fi
fi

echo "==== summary"
printf '%s\n' "${summaries[@]}"
# The ctest closing lines last: the release suite's, then the sanitizer suite's.
for line in "${ctest_lines[@]}"; do [ -n "$line" ] && echo "$line"; done
exit "$failed"
