#!/usr/bin/env bash
# Builds the fuzz harnesses with clang's libFuzzer under the address and
# undefined-behaviour sanitizers, replays every saved regression input once,
# then fuzzes each harness for SECONDS seconds (default 60) starting from its
# seed corpus. Exits non-zero when the build fails, a regression input fails,
# or fuzzing finds a crash, a hang, a leak or a failed check.
#
# Usage: tests/fuzz/build_and_run.sh [SECONDS]
# Environment:
#   QUAKE_FUZZ_BUILD  build folder (default: <source>/build-fuzz)
#   QUAKE_FUZZ_JOBS   harnesses fuzzed at once (default: 2)
#   QUAKE_FUZZ_ONLY   names of the harnesses to run, blank-separated (default: all)
#
# Harnesses (tests/fuzz/fuzz_<name>.cpp):
#   read_free   free-form read statements over arbitrary bytes
#   templates   report templates with arbitrary valid layouts and values
#   search      twinquake's main pass and E1-pair report against the reference search
#   jdn         calendar dates to day numbers over the whole 32-bit range
#   catprep_csv, catprep_text, catprep_quakeml
#               catprep's three format readers over arbitrary bytes
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
harnesses=${QUAKE_FUZZ_ONLY:-"read_free templates search jdn catprep_csv catprep_text catprep_quakeml"}
cxx=${CXX_FUZZ:-clang++}

mkdir -p "$build/obj" "$build/logs"

# ---- build ------------------------------------------------------------------

# shellcheck disable=SC2054  # the commas belong to -fsanitize's list
flags=(-std=c++20 -O1 -g -ffp-contract=off -fno-omit-frame-pointer -Wall -Wextra -Werror
       -fsanitize=address,undefined -fno-sanitize-recover=all)
includes=(-I"$top/common" -I"$top/twinquake" -I"$top/epochnum" -I"$top/catprep" -I"$top/tests/reference" -I"$fuzz_src")
sources=(common/text_io.cpp common/templates.cpp common/event_catalog.cpp common/geometry.cpp
         twinquake/search.cpp twinquake/event_index.cpp epochnum/jdn.cpp
         tests/reference/reference_search.cpp
         common/tool_output.cpp common/day_count.cpp catprep/exact_time.cpp catprep/values.cpp
         catprep/records.cpp catprep/input.cpp catprep/csv.cpp catprep/fdsn_text.cpp catprep/quakeml.cpp
         catprep/formats.cpp)

# The correctly rounded sinf, cosf, sincosf, acosf and powf that the programs
# link (cmake/crmath.cmake): the same partial link out of LLVM's libc, only
# those five names left global. Without the archive, the platform libm.
math=(-lm)
archive=/usr/lib/llvm-19/lib/libllvmlibc.a
if [ -f "$archive" ]; then
  require=()
  keep=()
  for fn in sinf cosf sincosf acosf powf; do
    require+=("--require-defined=$fn")
    keep+=("--keep-global-symbol=$fn")
  done
  if [ ! -f "$build/obj/crmath.o" ] || [ "$archive" -nt "$build/obj/crmath.o" ]; then
    ld -r "${require[@]}" -o "$build/obj/crmath_pulled.o" "$archive" &&
      objcopy "${keep[@]}" "$build/obj/crmath_pulled.o" "$build/obj/crmath.o" ||
      { echo "fuzz: cannot make the crmath object" >&2; exit 1; }
  fi
  math=("$build/obj/crmath.o" -lm)
else
  echo "fuzz: $archive missing: linking the platform libm (no effect on memory safety)"
fi

compile() {  # compile SOURCE OBJECT EXTRA_FLAGS... (only when out of date)
  local src=$1 obj=$2
  shift 2
  if [ -f "$obj" ] && [ "$obj" -nt "$src" ] && [ "$obj" -nt "$0" ] &&
     [ -z "$(find "$top/common" "$top/twinquake" "$top/epochnum" "$top/catprep" "$top/tests/reference" "$fuzz_src" \
              -name '*.h' -newer "$obj" 2>/dev/null | head -1)" ]; then
    return 0
  fi
  rm -f "$obj"
  "$cxx" "${flags[@]}" "${includes[@]}" "$@" -c "$src" -o "$obj"
}

build_start=$SECONDS
objects=()
for s in "${sources[@]}"; do
  obj="$build/obj/$(echo "$s" | tr / _).o"
  compile "$top/$s" "$obj" -fsanitize=fuzzer-no-link &
  objects+=("$obj")
  # Two compilers at a time.
  [ "$(jobs -rp | wc -l)" -ge 2 ] && wait -n
done
failed_build=0
while [ "$(jobs -rp | wc -l)" -gt 0 ]; do wait -n || failed_build=1; done
wait || failed_build=1
for obj in "${objects[@]}"; do [ -f "$obj" ] || failed_build=1; done
[ "$failed_build" = 0 ] || { echo "fuzz: building the library objects failed" >&2; exit 1; }

for h in $harnesses; do
  compile "$fuzz_src/fuzz_$h.cpp" "$build/obj/fuzz_$h.o" -fsanitize=fuzzer-no-link ||
    { echo "fuzz: compiling fuzz_$h failed" >&2; exit 1; }
  "$cxx" "${flags[@]}" -fsanitize=fuzzer "$build/obj/fuzz_$h.o" "${objects[@]}" "${math[@]}" -lz -lexpat \
    -o "$build/fuzz_$h" || { echo "fuzz: linking fuzz_$h failed" >&2; exit 1; }
done
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
