#!/usr/bin/env bash
# Runs one end-to-end case folder in a scratch directory and compares bytes.
#
# A case folder holds:
#   cmd             the program to run (twinquake, ringpick or epochnum)
#   stdin           its standard input (empty input when missing)
#   in/             files copied into the scratch directory before the run
#   setup           optional shell lines run in the scratch directory first
#   status          the expected exit status (0 when missing)
#   expect/         files that must exist afterwards with exactly these bytes;
#                   expect/stdout is standard output
#   stderr_has      optional: lines that standard error must each contain
#   absent          optional: names that must not exist afterwards
set -u
case_dir=$1
bin_dir=$2
name=$(basename "$case_dir")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

prog=$(tr -d ' \n' < "$case_dir/cmd")
[ -d "$case_dir/in" ] && cp -a "$case_dir/in/." "$work/"
if [ -f "$case_dir/setup" ]; then
  (cd "$work" && QUAKE_DATA=${QUAKE_DATA:-} bash "$case_dir/setup") || { echo "$name: setup failed"; exit 1; }
fi
stdin_file=/dev/null
[ -f "$case_dir/stdin" ] && stdin_file="$case_dir/stdin"

(cd "$work" && "$bin_dir/$prog/$prog" < "$stdin_file" > "$work/.stdout" 2> "$work/.stderr")
got_status=$?
want_status=0
[ -f "$case_dir/status" ] && want_status=$(tr -d ' \n' < "$case_dir/status")

fail=0
if [ "$got_status" != "$want_status" ]; then
  echo "$name: exit status $got_status, expected $want_status"; fail=1
fi
if [ -d "$case_dir/expect" ]; then
  for f in "$case_dir"/expect/*; do
    base=$(basename "$f")
    got="$work/$base"
    [ "$base" = stdout ] && got="$work/.stdout"
    if [ ! -e "$got" ]; then
      echo "$name: $base was not written"; fail=1
    elif ! cmp -s "$f" "$got"; then
      echo "$name: $base differs from the expected bytes:"; diff "$f" "$got" | head -20; fail=1
    fi
  done
fi
if [ -f "$case_dir/stderr_has" ]; then
  while IFS= read -r want; do
    [ -z "$want" ] && continue
    if ! grep -qF -- "$want" "$work/.stderr"; then
      echo "$name: standard error lacks: $want"; fail=1
    fi
  done < "$case_dir/stderr_has"
fi
if [ -f "$case_dir/absent" ]; then
  while IFS= read -r f; do
    [ -n "$f" ] && [ -e "$work/$f" ] && { echo "$name: $f should not exist"; fail=1; }
  done < "$case_dir/absent"
fi
if [ "$fail" != 0 ]; then
  echo "--- standard error:"; head -c 2000 "$work/.stderr"
  exit 1
fi
echo "$name: ok"
