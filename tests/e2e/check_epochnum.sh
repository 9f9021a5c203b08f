#!/usr/bin/env bash
# epochnum ignores its command-line arguments: options and file names given
# on the command line neither change the files it uses nor fail the run.
# Usage: bash check_epochnum.sh BUILD_DIR SOURCE_DIR
set -u
bin=$1/epochnum/epochnum
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '1\n1 1 2000\n' > "$work/i_dat"
printf '1\n1 1 1970\n' > "$work/other"
(cd "$work" && "$bin" --help -o other other < /dev/null > .stdout 2> .stderr)
status=$?

fail=0
[ "$status" = 0 ] || { echo "exit status $status, expected 0"; fail=1; }
[ "$(cat "$work/o_dat")" = "     2451545" ] || { echo "o_dat holds: $(cat "$work/o_dat")"; fail=1; }
[ -s "$work/.stdout" ] && { echo "unexpected standard output: $(cat "$work/.stdout")"; fail=1; }
[ -s "$work/.stderr" ] && { echo "unexpected standard error: $(cat "$work/.stderr")"; fail=1; }
[ "$(cat "$work/other")" = "$(printf '1\n1 1 1970')" ] || { echo "other was changed"; fail=1; }
[ "$fail" = 0 ] && echo "check_epochnum: ok"
exit "$fail"
