#!/usr/bin/env bash
# Early stops, end to end: every way a run can end before its last line
# (a refused write part-way through a hand-over, a failing cut or close, a
# file-size limit, a full small file system, a stop signal, a second run
# meeting a file the first one writes) must leave each report on a whole
# line, holding exactly whole lines of this run and nothing of its former
# content; a report the run never wrote to keeps what it held. A
# non-blocking standard output with a slow reader and standard input
# redirected from a file the program writes are no failures at all.
#
# Each case runs one program in a scratch folder of its own and checks the
# exit status, the one-line diagnostic and every report against the
# complete run over the same input (a report of a stopped run is a leading
# part of it, ending on a line feed).
#
# Faults come from an LD_PRELOAD library of our own (fault_inject.c, built
# here with the C compiler), a tmpfs of 64 KiB in a private mount namespace
# (unshare -m, where root allows), `ulimit -f`, and signals sent at random
# moments of a large twinquake run. Where a machine or a sanitizer build
# cannot do a case, the case is skipped with the reason.
#
# Usage: bash check_early_stops.sh BUILD_DIR SOURCE_DIR
set -u
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
passed=0 failed=0 skipped=0

bin=$root/bin
mkdir "$bin"
for p in twinquake ringpick epochnum; do
  cp "$build/$p/$p" "$bin/$p" || { echo "check_early_stops: no $build/$p/$p"; exit 1; }
done

# ---- what this machine and this build allow ---------------------------------

asan=0
grep -q __asan_init "$bin/ringpick" && asan=1
inject=$root/fault.so
inject_why=""
if ! cc -shared -fPIC -O2 -o "$inject" "$src/tests/e2e/fault_inject.c" 2> "$root/cc.err"; then
  inject_why="no C compiler to build the fault injector"
fi
# The address sanitizer wants its runtime first among the loaded libraries;
# a preloaded library may come before it once that check is off.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0
if [ -z "$inject_why" ] && ! printf '1\n1 1 2000\n' > "$root/i_dat" ||
   ! (cd "$root" && LD_PRELOAD=$inject QUAKE_FAULT_OP=write QUAKE_FAULT_FILE=o_dat "$bin/epochnum" > /dev/null 2>&1; [ $? = 2 ]); then
  [ -z "$inject_why" ] && inject_why="the fault injector cannot be preloaded into this build"
fi
rm -f "$root/i_dat" "$root/o_dat"
mount_why=""
mkdir "$root/probe"
if ! unshare -m sh -c 'mount -t tmpfs -o size=64k tmpfs "$1"' sh "$root/probe" 2> /dev/null; then
  mount_why="no private mount namespace with a tmpfs here (unshare -m, needs root)"
fi
rmdir "$root/probe"
# A job started with & from a script ignores SIGINT; the signal cases start
# theirs with the default actions back.
defaults=(env --default-signal=INT,TERM,HUP)
"${defaults[@]}" true 2> /dev/null ||
  defaults=(perl -e '$SIG{$_} = "DEFAULT" for qw(INT TERM HUP); exec @ARGV or die')

# ---- inputs and their complete runs -------------------------------------------

# A twinquake catalog of N events in time order over a small region, with
# magnitudes from 2.5 and a Gutenberg-Richter tail: many pairs, aftershocks
# and E1 pairs (megabytes of reports for 200,000 events).
gen_catalog() {  # gen_catalog N SEED
  awk -v n="$1" -v seed="$2" 'BEGIN {
    srand(seed); t = 30000
    for (i = 1; i <= n; i++) {
      t += rand() * 0.05
      printf "T%07d %.3f %.3f %.1f %.2f %.6f ev%d\n", i, 35 + rand() * 3, 140 + rand() * 3, 5 + rand() * 30,
             2.5 - log(1 - rand()) / 2.3, t, i
    }
  }'
}
TQ_PARAMS="100 30 3.0 4.5"
RP_POINT="36.5 141.5 10 60"
data=$root/data
mkdir "$data"
gen_catalog 20000 11 > "$data/small.cat"
gen_catalog 200000 7 > "$data/large.cat"
awk 'BEGIN { for (i = 1; i <= 3000; i++) printf "%d %d %d\n", 1 + i % 12, 1 + i % 28, 1900 + i % 200 }' |
  { echo 3000; cat; } > "$data/dates"

# complete PROGRAM NAME CATALOG N: the complete run's folder, $data/NAME.
complete() {
  local prog=$1 name=$2 cat=$3 n=$4 d=$data/$2
  mkdir "$d"
  case $prog in
    twinquake) cp "$data/$cat" "$d/cat.txt"
               printf '%s\ncat.txt pairs e1pairs\n%s\n' "$TQ_PARAMS" "$n" > "$d/in" ;;
    ringpick)  cp "$data/$cat" "$d/cat.txt"
               printf 'cat.txt %s\n%s\n' "$n" "$RP_POINT" > "$d/in" ;;
    epochnum)  cp "$data/dates" "$d/i_dat"; : > "$d/in" ;;
  esac
  local t0=$(date +%s.%N)
  (cd "$d" && "$bin/$prog" < in > stdout 2> stderr) || { echo "check_early_stops: complete $name run failed"; exit 1; }
  echo "$(date +%s.%N) $t0" | awk '{ printf "%.3f\n", $1 - $2 }' > "$d/seconds"
}
complete twinquake tq_small small.cat 20000
complete twinquake tq_large large.cat 200000
complete ringpick rp_small small.cat 20000
complete epochnum ep dates 0

# ---- checking one case ----------------------------------------------------------

case_name="" problems=()
start() {  # start NAME: a fresh case folder $w
  case_name=$1 problems=()
  w=$root/case/$1
  mkdir -p "$w"
}
problem() { problems+=("$*"); }
skip() { echo "SKIP $case_name: $*"; skipped=$((skipped + 1)); }
finish() {
  if [ ${#problems[@]} = 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL $case_name"
    printf '    %s\n' "${problems[@]}"
    [ -s "$w.err" ] && sed 's/^/    stderr: /' "$w.err"
  fi
}
# expect_status N
expect_status() { [ "$status" = "$1" ] || problem "exit status $status, expected $1"; }
# expect_diag PROGRAM FRAGMENT...: standard error is one line from PROGRAM
# holding every fragment.
expect_diag() {
  local prog=$1 f
  shift
  [ "$(wc -l < "$w.err")" = 1 ] || problem "standard error is not one line"
  [ "$(head -c $((${#prog} + 2)) "$w.err")" = "$prog: " ] || problem "the diagnostic does not start with '$prog: '"
  for f in "$@"; do grep -qF -- "$f" "$w.err" || problem "the diagnostic does not name '$f'"; done
}
# whole_prefix FILE COMPLETE: FILE ends on a whole line (or is empty) and is
# a leading part of COMPLETE.
whole_prefix() {
  local got=$1 want=$2 size
  [ -f "$got" ] || { problem "$(basename "$got") is missing"; return; }
  size=$(stat -c %s "$got")
  [ "$size" = 0 ] && return
  [ "$(tail -c 1 "$got" | od -An -c | tr -d ' ')" = '\n' ] || problem "$(basename "$got") ends inside a line"
  cmp -s "$got" <(head -c "$size" "$want") || problem "$(basename "$got") is not a leading part of the complete run's"
}
# stopped FILE COMPLETE: after an early stop, FILE either was never written
# to and keeps its former content, or is a whole-line leading part of
# COMPLETE with nothing of its former content.
stopped() {
  if echo "$FORMER" | cmp -s - "$1"; then return; fi
  whole_prefix "$1" "$2"
  grep -qF "$FORMER" "$1" && problem "$(basename "$1") holds this run's lines and former content"
}
same() {  # same FILE WANT
  cmp -s "$1" "$2" || problem "$(basename "$1") differs from $(basename "$2")"
}
# setup PROGRAM COMPLETE: the case folder with the complete run's inputs,
# and every report holding former content.
FORMER="former content of this file, never a line of any run"
setup() {
  local prog=$1 d=$data/$2 f
  cp "$d/in" "$w.in"
  case $prog in
    twinquake) cp "$d/cat.txt" "$w/"; for f in pairs e1pairs Aftershocks; do echo "$FORMER" > "$w/$f"; done ;;
    ringpick)  cp "$d/cat.txt" "$w/"; echo "$FORMER" > "$w/pickout" ;;
    epochnum)  cp "$d/i_dat" "$w/"; echo "$FORMER" > "$w/o_dat" ;;
  esac
}
reports() {  # the report files of PROGRAM
  case $1 in twinquake) echo pairs e1pairs Aftershocks ;; ringpick) echo pickout ;; epochnum) echo o_dat ;; esac
}
# run PROGRAM [PREFIX...]: the program in the case folder, under the
# command prefix given.
run() {
  local prog=$1
  shift
  status=$(cd "$w" && "$@" "$bin/$prog" < "$w.in" > "$w/stdout" 2> "$w.err"; echo $?)
}

# ---- injected faults ---------------------------------------------------------

# inject PROGRAM COMPLETE OP FILE ERRNO AFTER: the system refuses OP on FILE
# with ERRNO (for write: after AFTER bytes).
inject() {
  local prog=$1 comp=$2 op=$3 file=$4 err=$5 after=$6 d=$data/$2 f
  start "inject_${prog}_${op}_${file}_${err}_$after"
  [ -n "$inject_why" ] && { skip "$inject_why"; return; }
  setup "$prog" "$comp"
  run "$prog" env LD_PRELOAD="$inject" QUAKE_FAULT_OP="$op" QUAKE_FAULT_FILE="$file" QUAKE_FAULT_ERRNO="$err" \
    QUAKE_FAULT_AFTER="$after"
  expect_status 2
  local reason="Input/output error"
  [ "$err" = ENOSPC ] && reason="No space left on device"
  expect_diag "$prog" "write refused on $file" "$reason"
  for f in $(reports "$prog"); do
    if [ "$op" = ftruncate ] && [ "$f" = "$file" ]; then
      # It could not be emptied: it keeps its former content whole.
      echo "$FORMER" | cmp -s - "$w/$f" || problem "$f lost its former content"
    elif [ "$op" = close ]; then
      same "$w/$f" "$d/$f"
    elif [ "$f" = "$file" ]; then
      whole_prefix "$w/$f" "$d/$f"
      grep -qF "$FORMER" "$w/$f" && problem "$f still holds former content"
    else
      stopped "$w/$f" "$d/$f"
    fi
  done
  whole_prefix "$w/stdout" "$d/stdout"
  finish
}

# stdout_append: twinquake's standard output is appended to a file that
# already holds a line, and the system refuses it after 70,000 bytes: the
# file keeps its line and then whole lines of the echo.
stdout_append() {
  local d=$data/tq_small size
  start "inject_twinquake_write_stdout_append"
  [ -n "$inject_why" ] && { skip "$inject_why"; return; }
  setup twinquake tq_small
  echo "a line from before the run" > "$w/echo"
  status=$(cd "$w" && LD_PRELOAD=$inject QUAKE_FAULT_OP=write QUAKE_FAULT_FILE=echo QUAKE_FAULT_ERRNO=EIO \
             QUAKE_FAULT_AFTER=70000 "$bin/twinquake" < "$w.in" >> echo 2> "$w.err"; echo $?)
  expect_status 2
  expect_diag twinquake "write refused on standard output (stream 6)" "Input/output error"
  [ "$(head -n 1 "$w/echo")" = "a line from before the run" ] || problem "the line from before the run is lost"
  tail -n +2 "$w/echo" > "$w.echo"
  whole_prefix "$w.echo" "$d/stdout"
  size=$(stat -c %s "$w.echo")
  [ "$size" -gt 60000 ] || problem "the echo lost lines before the refusal ($size bytes)"
  finish
}

# ---- a file-size limit and a full file system ------------------------------------

# size_limit PROGRAM COMPLETE: ulimit -f 16 (16 KiB); the first report past
# it is refused, the others flushed; all on whole lines.
size_limit() {
  local prog=$1 d=$data/$2 f
  start "size_limit_$prog"
  setup "$prog" "$2"
  run "$prog" bash -c 'ulimit -f 16 && exec "$0"'
  expect_status 2
  expect_diag "$prog" "write refused" "File too large"
  for f in $(reports "$prog"); do stopped "$w/$f" "$d/$f"; done
  whole_prefix "$w/stdout" "$d/stdout"
  finish
}

# small_fs PROGRAM COMPLETE: the reports lie on a tmpfs of 64 KiB that holds
# them with their former content (40 KB in all).
small_fs() {
  local prog=$1 d=$data/$2 f
  start "small_fs_$prog"
  [ -n "$mount_why" ] && { skip "$mount_why"; return; }
  setup "$prog" "$2"
  mkdir "$w/small" "$w/kept"
  # The file system lives as long as the namespace: the reports are copied
  # out before it ends.
  run "$prog" unshare -m sh -c '
    mount -t tmpfs -o size=64k tmpfs small || exit 99
    n=$(echo $0 | wc -w)
    for f in $0; do head -c $((40000 / n)) /dev/zero | tr "\0" x | sed "s/^/former /" > small/$f; done
    ln -s ../cat.txt small/cat.txt
    cd small && "$1"; s=$?
    for f in $0; do cp $f ../kept/; done
    exit $s' "$(reports "$prog")"
  if [ "$status" = 99 ]; then skip "tmpfs mount refused"; return; fi
  expect_status 2
  expect_diag "$prog" "write refused" "No space left on device"
  local n
  n=$(reports "$prog" | wc -w)
  for f in $(reports "$prog"); do
    if [ "$(head -c 7 "$w/kept/$f")" = "former " ]; then
      # Never written to: its former content whole.
      [ "$(stat -c %s "$w/kept/$f")" = $((40000 / n + 7)) ] || problem "$f lost part of its former content"
    else
      whole_prefix "$w/kept/$f" "$d/$f"
      grep -q "xxxxx" "$w/kept/$f" && problem "$f holds this run's lines and former content"
    fi
  done
  finish
}

# ---- stop signals -------------------------------------------------------------------

# signal_at SIGNAL SEED: a large twinquake run stopped by SIGNAL at a random
# moment after its reports are connected (loading, the main pass or the
# E1-pair report). A run that completed first must be complete; a stopped
# one ends by the same signal after a diagnostic naming it, each report a
# whole-line leading part of the complete run's.
signal_at() {
  local sig=$1 seed=$2 d=$data/tq_large f pid delay num
  start "signal_${sig}_$seed"
  setup twinquake tq_large
  rm -f "$w"/pairs "$w"/e1pairs "$w"/Aftershocks
  delay=$(awk -v s="$seed" -v t="$(cat "$d/seconds")" 'BEGIN { srand(s); printf "%.3f", rand() * t * 1.1 }')
  (cd "$w" && exec "${defaults[@]}" "$bin/twinquake" < "$w.in" > "$w/stdout" 2> "$w.err") &
  pid=$!
  for _ in $(seq 500); do [ -f "$w/Aftershocks" ] && break; sleep 0.01; done
  sleep "$delay"
  kill -s "$sig" "$pid" 2> /dev/null
  { wait "$pid"; } 2> /dev/null
  status=$?
  num=$(kill -l "$sig")
  if [ "$status" = 0 ]; then
    for f in pairs e1pairs Aftershocks stdout; do same "$w/$f" "$d/$f"; done
  else
    expect_status $((128 + num))
    expect_diag twinquake "stopped by SIG$sig"
    for f in pairs e1pairs Aftershocks stdout; do whole_prefix "$w/$f" "$d/$f"; done
  fi
  echo "    signal $sig after ${delay}s: status $status, pairs $(stat -c %s "$w/pairs") bytes, e1pairs $(stat -c %s "$w/e1pairs") bytes"
  finish
}

# signal_waiting: ringpick waits for its parameters on a pipe nobody writes
# to; SIGTERM stops it at once, and no file is created.
signal_waiting() {
  start "signal_waiting_ringpick"
  mkfifo "$w.fifo"
  sleep 30 > "$w.fifo" &
  local holder=$!
  (cd "$w" && exec "$bin/ringpick" < "$w.fifo" > "$w/stdout" 2> "$w.err") &
  local pid=$!
  sleep 1
  kill -s TERM "$pid"
  { wait "$pid"; } 2> /dev/null
  status=$?
  kill "$holder" 2> /dev/null
  wait "$holder" 2> /dev/null
  expect_status 143
  expect_diag ringpick "stopped by SIGTERM"
  [ -e "$w/pickout" ] && problem "pickout was created"
  finish
}

# ---- two runs at once ------------------------------------------------------------------

# concurrent PROGRAM: run A reads its input from a named pipe and so holds
# its report open; run B in the same folder meets the held report and ends
# with the cannot-connect failure before writing anything; A then completes.
concurrent() {
  local prog=$1 d f pid
  start "concurrent_$prog"
  case $prog in
    twinquake) d=$data/tq_small; setup twinquake tq_small
               mv "$w/cat.txt" "$w.cat"; mkfifo "$w/cat.txt"
               printf '%s\ncat.txt pairs e1pairs\n20000\n' "$TQ_PARAMS" > "$w.in"
               cp "$w.cat" "$w/other.cat"
               printf '%s\nother.cat pairs2 e1pairs2\n20000\n' "$TQ_PARAMS" > "$w.in2"
               f=Aftershocks ;;
    ringpick)  d=$data/rp_small; setup ringpick rp_small
               mv "$w/cat.txt" "$w.cat"; mkfifo "$w/cat.txt"
               cp "$w.cat" "$w/other.cat"
               printf 'other.cat 20000\n%s\n' "$RP_POINT" > "$w.in2"
               f=pickout ;;
    epochnum)  d=$data/ep; setup epochnum ep
               mv "$w/i_dat" "$w.cat"; mkfifo "$w/i_dat"
               : > "$w.in2"
               f=o_dat ;;
  esac
  (cd "$w" && exec "$bin/$prog" < "$w.in" > "$w/stdout" 2> "$w.errA") &
  pid=$!
  for _ in $(seq 500); do ls -l "/proc/$pid/fd" 2> /dev/null | grep -q "/$f\$" && break; sleep 0.01; done
  status=$(cd "$w" && "$bin/$prog" < "$w.in2" > "$w/stdoutB" 2> "$w.err"; echo $?)
  expect_status 2
  expect_diag "$prog" "cannot connect" "\"$f\"" "another run is writing the file"
  echo "$FORMER" | cmp -s - "$w/$f" || problem "the second run changed $f"
  [ "$prog" = twinquake ] && { [ -s "$w/pairs2" ] || [ -s "$w/e1pairs2" ]; } && problem "the second run wrote a report"
  cat "$w.cat" > "$w/$( [ "$prog" = epochnum ] && echo i_dat || echo cat.txt)"
  wait "$pid"
  status=$?
  expect_status 0
  for f in $(reports "$prog"); do same "$w/$f" "$d/$f"; done
  finish
}

# ---- standard output and standard input ---------------------------------------------

# nonblocking_stdout: twinquake's standard output is a non-blocking pipe
# whose reader starts late and reads slowly; the run waits for it.
nonblocking_stdout() {
  local d=$data/tq_small
  start "nonblocking_stdout_twinquake"
  setup twinquake tq_small
  status=$(cd "$w" && { perl -MFcntl -e 'my $f = fcntl(STDOUT, F_GETFL, 0); fcntl(STDOUT, F_SETFL, $f | O_NONBLOCK) or die; exec @ARGV' \
             "$bin/twinquake" < "$w.in" 2> "$w.err"; echo $? > "$w.status"; } |
             { sleep 0.5; while IFS= read -r l; do printf '%s\n' "$l"; done; } > "$w/stdout"; cat "$w.status")
  expect_status 0
  [ -s "$w.err" ] && problem "standard error is not empty"
  same "$w/stdout" "$d/stdout"
  finish
}

# stdin_file: standard input redirected from a file the program then
# connects: epochnum never reads standard input, so "epochnum < i_dat" is no
# conflict; twinquake's standard input holds no file once the catalog is
# connected, so its parameters may come from its pair file.
stdin_file() {
  start "stdin_file_epochnum"
  setup epochnum ep
  status=$(cd "$w" && "$bin/epochnum" < i_dat > stdout 2> "$w.err"; echo $?)
  expect_status 0
  same "$w/o_dat" "$data/ep/o_dat"
  finish
  start "stdin_file_twinquake"
  setup twinquake tq_small
  cp "$w.in" "$w/pairs"
  status=$(cd "$w" && "$bin/twinquake" < pairs > stdout 2> "$w.err"; echo $?)
  expect_status 0
  same "$w/pairs" "$data/tq_small/pairs"
  finish
}

# trailing_cr: a carriage return with no line feed after it is part of the
# value: "2000\r" is a bad value for an integer.
trailing_cr() {
  start "trailing_cr_epochnum"
  printf '1\n1 1 2000\r' > "$w/i_dat"
  : > "$w.in"
  run epochnum
  expect_status 2
  expect_diag epochnum "bad value" '"2000\x0D"' "on line 2" "i_dat" "(stream 16)"
  finish
  start "crlf_epochnum"
  printf '1\r\n1 1 2000\r\n' > "$w/i_dat"
  : > "$w.in"
  run epochnum
  expect_status 0
  printf '     2451545\n' | cmp -s - "$w/o_dat" || problem "o_dat is not the day number of 1 January 2000"
  finish
}

# ---- the table of cases ------------------------------------------------------------------

cases=(
  # refused writes part-way through a hand-over, to a report with former content
  "inject ringpick rp_small write pickout EIO 0"
  "inject ringpick rp_small write pickout EIO 1000"
  "inject ringpick rp_small write pickout ENOSPC 70000"
  "inject epochnum ep write o_dat ENOSPC 100"
  "inject twinquake tq_small write pairs EIO 100000"
  "inject twinquake tq_small write e1pairs ENOSPC 150001"
  "inject twinquake tq_small write Aftershocks EIO 10"
  "stdout_append"
  # a report that cannot be emptied, a close that fails
  "inject ringpick rp_small ftruncate pickout EIO 0"
  "inject twinquake tq_small ftruncate e1pairs EIO 0"
  "inject epochnum ep close o_dat EIO 0"
  "inject twinquake tq_small close e1pairs EIO 0"
  # a file-size limit, a full small file system
  "size_limit ringpick rp_small" "size_limit twinquake tq_small" "size_limit epochnum ep"
  "small_fs ringpick rp_small" "small_fs twinquake tq_small"
  # stop signals at random moments, and while waiting for input
  "signal_at INT 1" "signal_at TERM 2" "signal_at HUP 3" "signal_at INT 4" "signal_at TERM 5" "signal_at HUP 6"
  "signal_at INT 7" "signal_at TERM 8" "signal_at HUP 9"
  "signal_waiting"
  # two runs at once in one folder
  "concurrent ringpick" "concurrent twinquake" "concurrent epochnum"
  # standard output and input
  "nonblocking_stdout" "stdin_file"
  # carriage returns
  "trailing_cr"
)
for c in "${cases[@]}"; do
  # shellcheck disable=SC2086
  $c
done

echo "check_early_stops: $passed cases pass, $failed fail, $skipped skipped"
[ "$failed" = 0 ]
