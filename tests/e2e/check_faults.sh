#!/usr/bin/env bash
# Faults of the file system and of the process's surroundings, end to end:
# the cases that a case folder under cases/ cannot hold, because they need
# named pipes, links, devices as standard output, closed descriptors,
# permission bits for an unprivileged user (setpriv), a private mount
# namespace (unshare) with a read-only or tiny file system, a memory limit,
# or a comparison with a second, complete run. The malformed inputs, the
# names that cannot be connected and the counts beyond the input are case
# folders (run_case.sh).
#
# Each case runs one program in a scratch folder of its own and checks, with
# the helpers of e2e_lib.sh that run_case.sh also uses:
# - the exit status: 0 only after a complete run, 2 after every failure, and
#   never a hang (each run is stopped after $QUAKE_FAULT_TIMEOUT seconds);
# - the diagnostic: one line on standard error that starts with the
#   program's name and names the failure, the stream and the file; nothing
#   on standard error after a complete run;
# - the folder afterwards: the names it held before the run and the files
#   the case expects, no other; the exact bytes of every expected file; every
#   other name as it was before the run.
#
# Expected reports come from a clean run over the same input (the
# baseline): after a failure a report holds exactly the lines written before
# it, so it is the baseline report, a leading part of it, or what the file
# held before the run.
#
# Where the machine lacks an unprivileged user (when the tests run as root,
# for whom permission bits do not count) or a private mount namespace, the
# case is skipped with the reason.
#
# Usage: bash check_faults.sh BUILD_DIR SOURCE_DIR
set -u
build=$1
timeout_s=${QUAKE_FAULT_TIMEOUT:-60}
. "$(dirname "$0")/e2e_lib.sh"

# Cases that fail because of a known fault in the programs: run and reported
# but not failing the check. Empty while every known fault is mended; the
# check says when a listed case passes, so that it can be taken off.
known_faults=${QUAKE_KNOWN_FAULTS-""}

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
chmod 755 "$root"

# The programs, copied where any user may run them.
bin=$root/bin
mkdir "$bin"
for p in twinquake ringpick epochnum; do
  cp "$build/$p/$p" "$bin/$p" || { echo "check_faults: no $build/$p/$p"; exit 1; }
done
chmod -R a+rx "$bin"

# ---- what this machine allows --------------------------------------------------

nobody=()
nobody_why=""
if [ "$(id -u)" = 0 ]; then
  if command -v setpriv > /dev/null && setpriv --reuid=65534 --regid=65534 --clear-groups true 2> /dev/null; then
    nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  else
    nobody_why="running as root, and setpriv cannot drop to an unprivileged user"
  fi
fi
mount_why=""
mkdir "$root/probe"
if ! unshare -m sh -c 'mount -t tmpfs -o size=64k tmpfs "$1" && mount --bind "$1" "$1" &&
                       mount -o remount,ro,bind "$1"' sh "$root/probe" 2> /dev/null; then
  mount_why="no private mount namespace with tmpfs and read-only bind mounts here (unshare -m)"
fi
rmdir "$root/probe"

# ---- inputs and their clean runs ------------------------------------------------

# twinquake: C is an E2 with the E1 B and A (one E1 pair); D is an aftershock
# of C. Only A when the count is 1: no line in any report.
TQ_CAT='A 35.0 140.0 10 5.0 30000.0 a
B 35.1 140.1 10 5.2 30001.0 b
C 35.0 140.0 10 6.5 30005.0 c
D 35.05 140.05 10 5.0 30006.0 d
'
TQ_PARAMS='100 10 0 5'
# ringpick: R1, R2 and R5 lie within 1000 km of the point, R3 and R4 do not.
RP_CAT='R1 35.0 140.0 10 5.0 30000.0
R2 35.5 140.5 20 4.0 30001.5
R3 40.0 150.0 30 6.1 30002.25
R4 -35.0 -40.0 5 7.0 30003.0
R5 35.0 140.0 10 3.3 30004.0
'
RP_POINT='35 140 10 1000'
# epochnum: the second date is in year 0, with a notice on standard output.
EP_DATES='3
1 1 2000
1 1 0
10 15 1582
'
PROMPT=' dist range, time window, and min magntiude for the aftershock (E1) and mainshock (E2): '
FORMER='former content, kept while no line is written
'

base=$root/base
mkdir -p "$base/tq" "$base/rp" "$base/ep"
printf '%s' "$TQ_CAT" > "$base/tq/cat.txt"
printf '%s\ncat.txt pairs e1pairs\n4\n' "$TQ_PARAMS" | (cd "$base/tq" && "$bin/twinquake" > stdout)
printf '%s' "$RP_CAT" > "$base/rp/cat.txt"
printf 'cat.txt 5\n%s\n' "$RP_POINT" | (cd "$base/rp" && "$bin/ringpick")
printf '%s' "$EP_DATES" > "$base/ep/i_dat"
(cd "$base/ep" && "$bin/epochnum" > stdout)
for f in tq/pairs tq/e1pairs tq/Aftershocks tq/stdout rp/pickout ep/o_dat ep/stdout; do
  [ -s "$base/$f" ] || { echo "check_faults: the clean run's $f is empty: the cases would prove nothing"; exit 1; }
done
printf '%s\n' "$PROMPT" > "$base/prompt"
: > "$base/empty"
printf '%s' "$FORMER" > "$base/former"
head -n 2 "$base/rp/pickout" > "$base/rp/pickout_2"   # the records of R1 and R2

# A long swarm for twinquake: 400 small events a month apart at one place,
# each smaller than the one before (so no E1 pair is written and none is an
# aftershock), then the E2 M: 400 pair lines, more than one output buffer.
# A (7.0) and its aftershock L come first, so "Aftershocks" gets a line
# before any pair is written.
SWARM_PARAMS='100 20000 0 5'
swarm() {
  awk 'BEGIN { printf "A 35.0 140.0 10 7.0 29000.0 a\nL 35.0 140.0 10 5.5 29001.0 l\n";
               for (i = 1; i <= 400; i++) printf "S%03d 35.0 140.0 10 %.3f %.1f s\n", i, 4.9 - i * 0.001, 30000 + 31 * i;
               printf "M 35.0 140.0 10 6.0 %.1f m\n", 30000 + 31 * 401 }'
}
SWARM_N=403

# Each program's usual input in the case folder; names and counts may vary.
twinquake_input() {  # twinquake_input [PAIR_NAME [E1_NAME [N [CATALOG_NAME]]]]
  printf '%s' "$TQ_CAT" > "$w/cat.txt"
  stdin_lines "$TQ_PARAMS" "${4:-cat.txt} ${1:-pairs} ${2:-e1pairs}" "${3:-4}"
}
ringpick_input() {  # ringpick_input [N [CATALOG_NAME]]
  printf '%s' "$RP_CAT" > "$w/cat.txt"
  stdin_lines "${2:-cat.txt} ${1:-5}" "$RP_POINT"
}
epochnum_input() { printf '%s' "$EP_DATES" > "$w/i_dat"; }
report_of() {  # the report whose name a fault case takes over
  case $1 in twinquake) echo pairs ;; ringpick) echo pickout ;; epochnum) echo o_dat ;; esac
}
stream_of() {
  case $1 in twinquake) echo 65 ;; ringpick) echo 75 ;; epochnum) echo 17 ;; esac
}

# ---- case kinds ---------------------------------------------------------------

# special_report PROGRAM null|fifo|full: the report is a named pipe drained
# by a reader, or (ringpick's "pickout", epochnum's "o_dat") a link to
# /dev/null or /dev/full. Everything written elsewhere is as in the clean
# run: a full device only fails when the report is closed. (twinquake given
# a device as its pair file name: cases/twinquake_pairs_dev_*.)
special_report() {
  local prog=$1 target=$2
  start "special_report_${prog}_$target"
  local report dev="" reader="" drained=$root/$case_name.drained
  report=$(report_of "$prog")
  [ "$target" = null ] && dev=/dev/null
  [ "$target" = full ] && dev=/dev/full
  case $prog in
    twinquake)
      twinquake_input pairs
      has Aftershocks "$base/tq/Aftershocks"
      has e1pairs "$base/tq/e1pairs" ;;
    ringpick) ringpick_input ;;
    epochnum) epochnum_input ;;
  esac
  if [ -z "$dev" ]; then
    mkfifo "$w/$report"
    cat "$w/$report" > "$drained" &
    reader=$!
  else
    ln -s "$dev" "$w/$report"
  fi
  run "$prog"
  if [ -n "$reader" ]; then
    # The reader sees the end of the pipe once the program has closed it.
    if ! timeout 10 tail --pid="$reader" -f /dev/null; then
      problem "the reader of the pipe never saw its end"
      kill "$reader" 2> /dev/null
    fi
    wait "$reader" 2> /dev/null
    local clean
    case $prog in twinquake) clean=tq/pairs ;; ringpick) clean=rp/pickout ;; epochnum) clean=ep/o_dat ;; esac
    cmp -s "$base/$clean" "$drained" || problem "the reader of the pipe got other bytes than the clean run's $clean"
  fi
  if [ "$target" = full ]; then
    expect_status 2
    expect_diag "$prog" "write refused" "(stream $(stream_of "$prog"))" "$report"
  else
    expect_status 0
    expect_quiet
  fi
  [ "$prog" = twinquake ] && expect_stdout "$base/tq/stdout"
  [ "$prog" = epochnum ] && expect_stdout "$base/ep/stdout"
  finish
}

# stdout_full PROGRAM: standard output is /dev/full. What goes there is
# refused when it is handed over at the end; the report files are complete.
stdout_full() {
  local prog=$1
  start "stdout_full_$prog"
  case $prog in
    twinquake)
      twinquake_input
      has pairs "$base/tq/pairs"
      has e1pairs "$base/tq/e1pairs"
      has Aftershocks "$base/tq/Aftershocks" ;;
    epochnum)
      epochnum_input
      has o_dat "$base/ep/o_dat" ;;
  esac
  before_run
  (cd "$w" && timeout "$timeout_s" "$bin/$prog" < "$w.in" > /dev/full 2> "$w.err")
  status=$?
  expect_status 2
  expect_diag "$prog" "write refused" "standard output" "(stream 6)"
  finish
}

# readonly_report PROGRAM perm|rofs [no_line]: the report file exists with
# former content and may only be read: by its permission bits (perm; the
# program then runs as an unprivileged user) or because it lies on a file
# system mounted read-only (rofs). It is connected for reading only, its
# first line is refused, and it is left as it was. With no_line the run
# writes no line to it and completes.
readonly_report() {
  local prog=$1 how=$2 no_line=${3:-}
  start "readonly_report_${prog}_$how${no_line:+_$no_line}"
  [ "$how" = perm ] && [ -n "$nobody_why" ] && { skip "$nobody_why"; return; }
  [ "$how" = rofs ] && [ -n "$mount_why" ] && { skip "$mount_why"; return; }
  local report dir=""
  report=$(report_of "$prog")
  if [ "$how" = rofs ]; then
    # Only twinquake's report names may point into another folder.
    dir=ro/
    mkdir "$w/ro"
  fi
  printf '%s' "$FORMER" > "$w/$dir$report"
  chmod 444 "$w/$dir$report"
  case $prog in
    twinquake)
      # The first pair line is refused at once, before the aftershock of the
      # main pass is written; with a count of 1 no line is written at all.
      twinquake_input "'$dir$report'" e1pairs "$([ -n "$no_line" ] && echo 1 || echo 4)"
      has e1pairs "$base/empty"
      has Aftershocks "$base/empty" ;;
    ringpick)
      ringpick_input "$([ -n "$no_line" ] && echo 0 || echo 5)" ;;
    epochnum)
      epochnum_input
      [ -n "$no_line" ] && printf '0\n' > "$w/i_dat" ;;
  esac
  if [ "$how" = perm ]; then
    run "$prog" "${nobody[@]}"
  else
    run "$prog" unshare -m sh -c 'mount --bind ro ro && mount -o remount,ro,bind ro && exec "$0"'
  fi
  if [ -n "$no_line" ]; then
    expect_status 0
    expect_quiet
  else
    expect_status 2
    expect_diag "$prog" "write refused" "$dir$report" "(stream $(stream_of "$prog"))" "opened for reading"
  fi
  cmp -s "$base/former" "$w/$dir$report" || problem "$dir$report was changed"
  [ "$prog" = twinquake ] && expect_stdout "$base/prompt"
  finish
}

# perm_file PROGRAM WHICH MODE: an input or report file whose permission
# bits (MODE, octal) refuse reading or writing, for an unprivileged user. A
# file that can be neither read nor written cannot be connected; a catalog
# that may only be written is connected write-only and its first read is
# refused; a report that may only be written is written as usual.
perm_file() {
  local prog=$1 which=$2 mode=$3
  start "perm_file_${prog}_${which}_$mode"
  [ -n "$nobody_why" ] && { skip "$nobody_why"; return; }
  local file=$which
  [ "$which" = catalog ] && file=cat.txt
  case $prog in
    twinquake) twinquake_input ;;
    ringpick) ringpick_input ;;
    epochnum) epochnum_input ;;
  esac
  [ "$which" = pickout ] && printf '%s' "$FORMER" > "$w/pickout"
  before_run
  chmod "$mode" "$w/$file"
  (cd "$w" && timeout "$timeout_s" "${nobody[@]}" "$bin/$prog" < "$w.in" > "$w.out" 2> "$w.err")
  status=$?
  chmod u+rw "$w/$file"  # for the comparison below, also when not root
  case $prog/$which/$mode in
    */000)
      expect_status 2
      expect_diag "$prog" "cannot connect" "$file" "Permission denied" ;;
    ringpick/catalog/222)
      expect_status 2
      expect_diag ringpick "read refused" "cat.txt" "(stream 5)"
      has pickout "$base/empty" ;;
    ringpick/pickout/222)
      expect_status 0
      expect_quiet
      has pickout "$base/rp/pickout" ;;
  esac
  finish
}

# missing_folder_link PROGRAM: the fixed report name ("pickout", "o_dat") is
# a link into a missing folder. The run ends at that connection; the link is
# left as it was. (Other names that cannot be connected: the case folders
# cases/*_is_folder, *_in_missing_folder, *_blank_name, *_name_with_nul.)
missing_folder_link() {
  local prog=$1 report stream
  report=$(report_of "$prog")
  stream=$(stream_of "$prog")
  start "bad_name_${prog}_${report}_nodir"
  case $prog in
    ringpick) ringpick_input ;;
    epochnum) epochnum_input ;;
  esac
  ln -s "nodir/$report" "$w/$report"
  run "$prog"
  expect_status 2
  expect_diag "$prog" "cannot connect" "stream $stream"
  finish
}

# same_file PROGRAM hardlink|symlink: two names of a run denote one file: a
# hard or a symbolic link to the input file is named as a report. The second
# connection fails before anything is written; the input is intact. (The
# same name twice, or with './' in front: cases/*named*, cases/*one_name.)
same_file() {
  local prog=$1 how=$2
  start "same_file_${prog}_$how"
  local stream link target=cat.txt
  stream=$(stream_of "$prog")
  case $prog in
    twinquake) twinquake_input other.txt; link=other.txt ;;
    ringpick) ringpick_input; link=pickout ;;
    epochnum) epochnum_input; link=o_dat; target=i_dat ;;
  esac
  case $how in
    hardlink) ln "$w/$target" "$w/$link" ;;
    symlink) ln -s "$target" "$w/$link" ;;
  esac
  run "$prog"
  expect_status 2
  expect_diag "$prog" "already connected" "stream $stream"
  [ "$prog" = twinquake ] && expect_stdout "$base/prompt"
  finish
}

# fail_at PROGRAM K: line K of a long catalog (epochnum: date K) holds a bad
# value. The report holds exactly the records of the lines before it: the
# bytes of a complete run over those K - 1 lines, also when they are more
# than one output buffer holds.
fail_at() {
  local prog=$1 k=$2 total=1600
  start "fail_at_${prog}_$k"
  local good=$root/$case_name.good bad=$root/$case_name.bad ref=$root/$case_name.ref
  mkdir "$ref"
  if [ "$prog" = ringpick ]; then
    # Events close around the point, every one within the radius.
    awk -v n="$total" 'BEGIN { for (i = 1; i <= n; i++)
      printf "E%05d %.3f %.3f %.1f %.1f %.8f\n", i, 35 + (i % 97) * 0.01, 140 + (i % 89) * 0.01,
             (i % 50) + 0.5, 3 + (i % 40) * 0.1, 30000 + i * 0.37 }' > "$good"
    awk -v k="$k" 'NR == k { $2 = $2 "x" } { print }' "$good" > "$bad"
    head -n $((k - 1)) "$good" > "$ref/cat.txt"
    printf 'cat.txt %d\n%s\n' $((k - 1)) "$RP_POINT" | (cd "$ref" && "$bin/ringpick") ||
      problem "the complete run over the first lines failed"
    cp "$bad" "$w/cat.txt"
    has pickout "$ref/pickout"
    stdin_lines "cat.txt $total" "$RP_POINT"
    run ringpick
    expect_status 2
    expect_diag ringpick "bad value" "\"$(sed -n "${k}p" "$bad" | cut -d' ' -f2)\"" "on line $k" "cat.txt" "(stream 5)"
    [ "$(grep -c '' "$ref/pickout")" = $((k - 1)) ] || problem "the complete run selected fewer than $((k - 1)) events"
  else
    awk -v n="$total" 'BEGIN { print n; for (i = 1; i <= n; i++) printf "%d %d %d\n", 1 + i % 12, 1 + i % 28, 1000 + i }' > "$good"
    awk -v k="$k" 'NR == k + 1 { $3 = $3 ".0" } { print }' "$good" > "$bad"
    { echo $((k - 1)); tail -n +2 "$good" | head -n $((k - 1)); } > "$ref/i_dat"
    (cd "$ref" && "$bin/epochnum" > /dev/null) || problem "the complete run over the first dates failed"
    cp "$bad" "$w/i_dat"
    has o_dat "$ref/o_dat"
    run epochnum
    expect_status 2
    expect_diag epochnum "bad value" "on line $((k + 1))" "i_dat" "(stream 16)"
    [ "$(grep -c '' "$ref/o_dat")" = $((k - 1)) ] || problem "the complete run wrote other than $((k - 1)) numbers"
  fi
  finish
}

# disk_full: "pickout" lies on a file system with room for 64 KiB, and the
# selection needs more. The run ends with the write-refused failure;
# "pickout" holds a leading part of what a complete run writes.
disk_full() {
  start "disk_full_ringpick"
  [ -n "$mount_why" ] && { skip "$mount_why"; return; }
  local ref=$root/$case_name.ref
  mkdir "$ref"
  awk 'BEGIN { for (i = 1; i <= 3000; i++) printf "E%05d 35.0 140.0 10 5.0 %.4f\n", i, 30000 + i }' > "$ref/cat.txt"
  printf 'cat.txt 3000\n%s\n' "$RP_POINT" | (cd "$ref" && "$bin/ringpick")
  cp "$ref/cat.txt" "$w/cat.txt"
  mkdir "$w/small"
  stdin_lines "'../cat.txt' 3000" "$RP_POINT"
  # The small file system lives as long as the namespace: pickout is copied
  # out before it ends.
  run ringpick unshare -m sh -c \
    'mount -t tmpfs -o size=64k tmpfs small && cd small && "$1"; s=$?; cp pickout "$0"; exit $s' \
    "$root/$case_name.pickout"
  expect_status 2
  expect_diag ringpick "write refused" "pickout" "(stream 75)"
  local got=$root/$case_name.pickout size
  if [ -f "$got" ]; then
    size=$(stat -c %s "$got")
    [ "$size" -gt 0 ] || problem "pickout is empty: the lines before the disk was full are lost"
    cmp -s "$got" <(head -c "$size" "$ref/pickout") || problem "pickout is not a leading part of the complete run's records"
  else
    problem "no pickout was left on the small file system"
  fi
  finish
}

# fifo_catalog PROGRAM [late]: the catalog is a named pipe fed by another
# process, which opens it before the program reads, or (late) only a moment
# after. It reads like the file.
fifo_catalog() {
  local prog=$1 late=${2:-}
  start "fifo_catalog${late:+_late_writer}_$prog"
  case $prog in
    twinquake)
      twinquake_input
      has pairs "$base/tq/pairs"; has e1pairs "$base/tq/e1pairs"; has Aftershocks "$base/tq/Aftershocks" ;;
    ringpick)
      ringpick_input
      has pickout "$base/rp/pickout" ;;
  esac
  local content=$root/$case_name.cat writer=""
  mv "$w/cat.txt" "$content"
  mkfifo "$w/cat.txt"
  if [ -z "$late" ]; then
    # This shell holds the pipe open for writing from before the run to its
    # end, with the whole catalog in it (the program reads no further).
    exec 3<> "$w/cat.txt"
    cat "$content" >&3
  else
    (sleep 1; exec cat "$content" > "$w/cat.txt") > /dev/null 2>&1 &
    writer=$!
  fi
  run "$prog"
  if [ -z "$late" ]; then
    exec 3>&-
  else
    # A writer still waiting for a reader is let go.
    kill "$writer" 2> /dev/null
    wait "$writer" 2> /dev/null
  fi
  expect_status 0
  expect_quiet
  [ "$prog" = twinquake ] && expect_stdout "$base/tq/stdout"
  finish
}

# closed_std PROGRAM stdout|stderr: standard output or standard error is
# closed when the program starts. Its descriptor number must not go to a
# file the program opens: no echo and no diagnostic may land in the catalog
# or a report. The run fails (a failing catalog for stderr; the refused echo
# for stdout).
closed_std() {
  local prog=$1 which=$2
  start "closed_${which}_$prog"
  case $prog in
    twinquake)
      swarm > "$w/cat.txt"
      stdin_lines "$SWARM_PARAMS" "cat.txt pairs e1pairs" "$SWARM_N"
      has_any pairs; has_any e1pairs; has_any Aftershocks ;;
    ringpick)
      ringpick_input 6
      has pickout "$base/rp/pickout" ;;
    epochnum)
      printf '2\n1 1 2000\n1 1 2000.5\n' > "$w/i_dat"
      printf '     2451545\n' > "$root/$case_name.o_dat"
      has o_dat "$root/$case_name.o_dat" ;;
  esac
  before_run
  if [ "$which" = stdout ]; then
    (cd "$w" && timeout "$timeout_s" "$bin/$prog" < "$w.in" 2> "$w.err" >&-)
  else
    (cd "$w" && timeout "$timeout_s" "$bin/$prog" < "$w.in" > "$w.out" 2>&-)
  fi
  status=$?
  expect_status 2
  [ "$which" = stdout ] && expect_diag "$prog" "write refused" "standard output"
  finish
}

# reader_gone: twinquake's standard output is a pipe whose reader stops
# after 100 bytes. The refused write ends the run with status 2 and a
# diagnostic (not a silent death by a signal), and the lines written to the
# reports before it stay: all of "Aftershocks", the leading pair lines.
reader_gone() {
  start "reader_gone_twinquake"
  local ref=$root/$case_name.ref
  mkdir "$ref"
  swarm > "$ref/cat.txt"
  printf '%s\ncat.txt pairs e1pairs\n%s\n' "$SWARM_PARAMS" "$SWARM_N" > "$ref/stdin"
  (cd "$ref" && "$bin/twinquake" < stdin > stdout)
  [ "$(grep -c '' "$ref/Aftershocks")" = 1 ] || problem "the complete run should write one aftershock"
  cp "$ref/cat.txt" "$w/cat.txt"
  cp "$ref/stdin" "$w.in"
  before_run
  (cd "$w" && set -o pipefail && timeout "$timeout_s" "$bin/twinquake" < "$w.in" 2> "$w.err" | head -c 100 > /dev/null)
  status=$?
  expect_status 2
  expect_diag twinquake "write refused" "standard output" "(stream 6)"
  has Aftershocks "$ref/Aftershocks"
  has e1pairs "$base/empty"
  has_any pairs
  if [ -f "$w/pairs" ]; then
    local size
    size=$(stat -c %s "$w/pairs")
    cmp -s "$w/pairs" <(head -c "$size" "$ref/pairs") || problem "pairs is not a leading part of the complete run's"
    [ "$size" -gt 0 ] && [ "$(tail -c 1 "$w/pairs" | od -An -tx1 | tr -d ' ')" != 0a ] && problem "pairs ends inside a line"
  fi
  finish
}

# fifo_no_reader PROGRAM [small|large]: the report is a named pipe that
# nobody reads. Its lines cannot be delivered: the run must end, without a
# hang, with status 2 and the write-refused failure, whether they would fit
# into the pipe (small) or not (large).
fifo_no_reader() {
  local prog=$1 size=${2:-} timeout_s=10
  start "fifo_no_reader_$prog${size:+_$size}"
  case $prog in
    ringpick)
      if [ "$size" = large ]; then
        awk 'BEGIN { for (i = 1; i <= 3000; i++) printf "E%05d 35.0 140.0 10 5.0 %.4f\n", i, 30000 + i }' > "$w/cat.txt"
        stdin_lines "cat.txt 3000" "$RP_POINT"
      else
        ringpick_input
      fi
      mkfifo "$w/pickout" ;;
    epochnum)
      epochnum_input
      mkfifo "$w/o_dat" ;;
  esac
  run "$prog"
  expect_status 2
  expect_diag "$prog" "write refused"
  finish
}

# endless_line ringpick: after two good lines the catalog goes on with one
# line that never ends (a pipe fed from /dev/zero), under a limit of 1 GB of
# address space. Running out of memory is a failure like any other: status 2,
# a diagnostic, and the records of the good lines kept.
endless_line() {
  start "endless_line_ringpick"
  if grep -q __asan_init "$bin/ringpick"; then
    skip "the address sanitizer reserves more address space than the limit allows"
    return
  fi
  ringpick_input 3
  head -n 2 "$w/cat.txt" > "$root/$case_name.good"
  rm "$w/cat.txt"
  mkfifo "$w/cat.txt"
  has pickout "$base/rp/pickout_2"
  (cat "$root/$case_name.good" /dev/zero > "$w/cat.txt") 2> /dev/null &
  local writer=$!
  before_run
  status=$(cd "$w" && ulimit -v 1000000 && timeout "$timeout_s" "$bin/ringpick" < "$w.in" > "$w.out" 2> "$w.err"; echo $?)
  kill "$writer" 2> /dev/null
  wait "$writer" 2> /dev/null
  expect_status 2
  expect_diag ringpick "cat.txt" "(stream 5)"
  finish
}

# ---- the table of cases ---------------------------------------------------------

cases=(
  # report files that are pipes or links to devices
  "special_report twinquake fifo"   "special_report ringpick fifo"   "special_report epochnum fifo"
  "special_report ringpick null"    "special_report epochnum null"
  "special_report ringpick full"    "special_report epochnum full"
  "stdout_full twinquake"           "stdout_full epochnum"
  # report files that may only be read
  "readonly_report twinquake perm"  "readonly_report ringpick perm"  "readonly_report epochnum perm"
  "readonly_report twinquake rofs"
  "readonly_report twinquake perm no_line" "readonly_report ringpick perm no_line"
  "readonly_report epochnum perm no_line"
  # permission bits that refuse reading or writing
  "perm_file twinquake catalog 000" "perm_file ringpick catalog 222"  "perm_file ringpick pickout 222"
  "perm_file epochnum i_dat 000"
  # a fixed report name that links into a missing folder
  "missing_folder_link ringpick"    "missing_folder_link epochnum"
  # one file under two names, by links
  "same_file twinquake hardlink"    "same_file twinquake symlink"
  "same_file ringpick hardlink"     "same_file ringpick symlink"
  "same_file epochnum hardlink"     "same_file epochnum symlink"
  # a failure on line k keeps exactly the records of lines 1 to k - 1
  "fail_at ringpick 1" "fail_at ringpick 2" "fail_at ringpick 4" "fail_at ringpick 1500"
  "fail_at epochnum 1" "fail_at epochnum 3" "fail_at epochnum 1500"
  # a full disk in the middle of a run
  "disk_full"
  # catalogs from a pipe
  "fifo_catalog twinquake" "fifo_catalog ringpick" "fifo_catalog ringpick late"
  # a line longer than the memory
  "endless_line"
  # closed standard descriptors, a reader that goes away, a pipe nobody reads
  "closed_std ringpick stderr" "closed_std epochnum stderr" "closed_std twinquake stdout"
  "reader_gone"
  "fifo_no_reader ringpick small" "fifo_no_reader ringpick large" "fifo_no_reader epochnum"
)

for c in "${cases[@]}"; do
  # shellcheck disable=SC2086
  $c
done

e2e_summary check_faults
