#!/usr/bin/env bash
# Builds the fuzz harnesses with CMake in a build folder of their own
# (-DQUAKE_FUZZ=ON, clang's libFuzzer under the address and
# undefined-behaviour sanitizers), replays every saved regression input once,
# then fuzzes each harness for SECONDS seconds (default 60) starting from its
# seed corpus. Exits non-zero when the build fails, a regression input fails,
# or fuzzing finds a crash, a hang, a leak or a failed check.
#
# Usage: tests/fuzz/build_and_run.sh [SECONDS]
# Environment:
#   QUAKE_FUZZ_BUILD  build folder (default: <source>/build-fuzz)
#   QUAKE_FUZZ_JOBS   harnesses fuzzed at once (default: 2)
#   QUAKE_FUZZ_ONLY   names of the harnesses to run, blank-separated (default: all)
#   CXX_FUZZ          the clang compiler (default: clang++)
#
# Harnesses: every tests/fuzz/fuzz_<name>.cpp (see README.md there), catprep's three format readers among them.
#
# Seeds: tests/fuzz/corpus/<name>/. Inputs that once failed:
# tests/fuzz/regressions/<name>/ (replayed on every run). The corpus grown by a
# run is kept in the build folder; a failing input is written to
# <build>/artifacts/<name>/.
set -u
seconds=${1:-60}
top=$(cd "$(dirname "$0")/../.." && pwd)
fuzz_src=$top/tests/fuzz
build=${QUAKE_FUZZ_BUILD:-$top/build-fuzz}
jobs=${QUAKE_FUZZ_JOBS:-2}
all=$(cd "$fuzz_src" && for f in fuzz_*.cpp; do n=${f#fuzz_}; echo "${n%.cpp}"; done)
harnesses=${QUAKE_FUZZ_ONLY:-$(echo $all)}

mkdir -p "$build/logs"

# ---- build ------------------------------------------------------------------

build_start=$SECONDS
# The partial link that takes the correctly rounded math out of LLVM's libc
# (cmake/crmath.cmake) needs binutils' ld, not the ld.lld clang would pick.
CXX=${CXX_FUZZ:-clang++} cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUAKE_FUZZ=ON \
  -DQUAKE_BENCH=OFF -DCMAKE_LINKER="$(command -v ld.bfd || command -v ld)" > "$build/logs/configure.log" 2>&1 ||
  { cat "$build/logs/configure.log" >&2; echo "fuzz: configuring $build failed" >&2; exit 1; }
targets=()
for h in $harnesses; do targets+=("fuzz_$h"); done
cmake --build "$build" -j2 --target "${targets[@]}" > "$build/logs/build.log" 2>&1 ||
  { tail -40 "$build/logs/build.log" >&2; echo "fuzz: building the harnesses failed" >&2; exit 1; }
echo "fuzz: built $(echo $harnesses | wc -w) harnesses in $((SECONDS - build_start)) s"

# ---- regressions --------------------------------------------------------------

status=0
scratch=$(mktemp -d /dev/shm/quake-fuzz.XXXXXX 2>/dev/null || mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export QUAKE_FUZZ_SCRATCH=$scratch

common_opts=(-close_fd_mask=3 -timeout=25 -rss_limit_mb=4096 -print_final_stats=1)

for h in $harnesses; do
  inputs=()
  if [ -d "$fuzz_src/regressions/$h" ]; then
    while IFS= read -r -d '' f; do inputs+=("$f"); done \
      < <(find "$fuzz_src/regressions/$h" -type f ! -name '*.md' -print0 | sort -z)
  fi
  [ ${#inputs[@]} -eq 0 ] && continue
  if "$build/fuzz_$h" "${common_opts[@]}" "${inputs[@]}" > "$build/logs/$h.regressions.log" 2>&1; then
    echo "fuzz: $h: ${#inputs[@]} regression inputs pass"
  else
    echo "fuzz: $h: a regression input fails:"
    grep -E 'Running:|ERROR|SUMMARY|fuzz check failed' "$build/logs/$h.regressions.log" | head -20
    status=1
  fi
done

# ---- fuzzing ------------------------------------------------------------------

# Options of one harness: the search's catalogs of up to 48 events take about
# 800 bytes, reached at once instead of by slowly growing inputs.
harness_opts() {
  case $1 in
    search) echo "-max_len=800 -len_control=0" ;;
    read_free) echo "-max_len=4096" ;;
  esac
}

fuzz_one() {  # fuzz_one NAME: fuzzes for $seconds, log in logs/NAME.log
  local h=$1
  mkdir -p "$build/corpus/$h" "$build/artifacts/$h"
  local seeds=()
  [ -d "$fuzz_src/corpus/$h" ] && seeds=("$fuzz_src/corpus/$h")
  # shellcheck disable=SC2046
  "$build/fuzz_$h" "${common_opts[@]}" $(harness_opts "$h") -max_total_time="$seconds" \
    -artifact_prefix="$build/artifacts/$h/" "$build/corpus/$h" "${seeds[@]}" \
    > "$build/logs/$h.log" 2>&1
}

declare -A pid_of
for h in $harnesses; do
  fuzz_one "$h" &
  pid_of[$h]=$!
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n; done
done

printf '%-10s %12s %10s  %s\n' harness executions exec/s result
for h in $harnesses; do
  if wait "${pid_of[$h]}"; then result=ok; else result=FAILED; status=1; fi
  log=$build/logs/$h.log
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  rate=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  printf '%-10s %12s %10s  %s\n' "$h" "${execs:-?}" "${rate:-?}" "$result"
  if [ "$result" = FAILED ]; then
    grep -E 'ERROR|SUMMARY|fuzz check failed|Test unit written|deadly|timeout' "$log" | head -20 | sed 's/^/    /'
    echo "    (full log: $log; keep the artifact under tests/fuzz/regressions/$h/)"
  fi
done
exit "$status"
