#!/usr/bin/env bash
# Runs one end-to-end case folder in a scratch directory and compares bytes.
#
# Usage: run_case.sh [--update] CASE_DIR BUILD_DIR
#   --update  rewrites the case's expect/ (and status) from this run, then
#             checks as usual; look at the difference before committing it.
#
# A case folder holds:
#   cmd             the program to run (twinquake, ringpick or epochnum)
#   stdin           its standard input (empty input when missing)
#   in/             files copied into the scratch directory before the run
#   setup           optional shell lines run in the scratch directory first,
#                   for what a file in in/ cannot be (a folder, a large
#                   generated input); $QUAKE_BIN is the build folder
#   status          the expected exit status (0 when missing)
#   expect/         files that must exist afterwards with exactly these bytes;
#                   expect/stdout is standard output
#   stderr_has      lines that standard error must each contain; standard
#                   error must then be one line starting with the program's
#                   name. Without it, a complete run writes nothing there.
#   absent          optional: names that must not exist afterwards
#
# Afterwards the scratch directory holds the names it held before the run
# and those of expect/, no other; a name not in expect/ is as it was before
# the run. Each run is stopped after $QUAKE_CASE_TIMEOUT seconds (default 60).
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
update=0
if [ "${1:-}" = --update ]; then
  update=1
  shift
fi
case_dir=$(cd "$1" && pwd)
bin_dir=$(cd "$2" && pwd)
timeout_s=${QUAKE_CASE_TIMEOUT:-60}
name=$(basename "$case_dir")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
run=$work/run
mkdir "$run"

prog=$(tr -d ' \n' < "$case_dir/cmd")
[ -d "$case_dir/in" ] && cp -a "$case_dir/in/." "$run/"
if [ -f "$case_dir/setup" ]; then
  (cd "$run" && QUAKE_DATA=${QUAKE_DATA:-} QUAKE_BIN=$bin_dir bash "$case_dir/setup") ||
    { echo "$name: setup failed"; exit 1; }
fi
e2e_snapshot "$run" "$work/before"
stdin_file=/dev/null
[ -f "$case_dir/stdin" ] && stdin_file="$case_dir/stdin"

(cd "$run" && timeout "$timeout_s" "$bin_dir/$prog/$prog" < "$stdin_file" > "$work/stdout" 2> "$work/stderr")
got_status=$?

if [ "$update" = 1 ]; then
  # The files already expected, as this run left them, and every file the
  # run made or changed.
  new=$work/expect
  mkdir "$new"
  cp "$work/stdout" "$new/stdout"
  { [ -d "$case_dir/expect" ] && e2e_names "$case_dir/expect"; e2e_changed "$run" "$work/before"; } |
    LC_ALL=C sort -u | while IFS= read -r f; do
      [ "$f" = stdout ] && continue
      if [ -f "$run/$f" ] && [ ! -L "$run/$f" ]; then
        cp "$run/$f" "$new/$f"
      elif [ -e "$run/$f" ] || [ -L "$run/$f" ]; then
        echo "$name: $f is $(e2e_kind "$run/$f") after the run: not kept in expect/"
      fi
    done
  rm -rf "$case_dir/expect"
  cp -a "$new" "$case_dir/expect"
  if [ "$got_status" = 0 ]; then rm -f "$case_dir/status"; else echo "$got_status" > "$case_dir/status"; fi
  echo "$name: expect/ rewritten from the run (status $got_status)"
fi

want_status=0
[ -f "$case_dir/status" ] && want_status=$(tr -d ' \n' < "$case_dir/status")

problems=$(
  e2e_status "$got_status" "$want_status" "$timeout_s"
  if [ -f "$case_dir/expect/stdout" ] && ! cmp -s "$case_dir/expect/stdout" "$work/stdout"; then
    echo "standard output differs from the expected bytes:"
    diff "$case_dir/expect/stdout" "$work/stdout" | head -20 | cat -v
  fi
  e2e_compare "$run" "$work/before" "$case_dir/expect"
  if [ -f "$case_dir/stderr_has" ]; then
    fragments=()
    while IFS= read -r want; do
      [ -n "$want" ] && fragments+=("$want")
    done < "$case_dir/stderr_has"
    e2e_diag "$prog" "$work/stderr" "${fragments[@]}"
  elif [ "$want_status" = 0 ]; then
    e2e_quiet "$work/stderr"
  fi
  if [ -f "$case_dir/absent" ]; then
    while IFS= read -r f; do
      [ -n "$f" ] && { [ -e "$run/$f" ] || [ -L "$run/$f" ]; } && echo "$f should not exist"
    done < "$case_dir/absent"
  fi
)
if [ -n "$problems" ]; then
  echo "$name: FAILED"
  printf '%s\n' "$problems" | sed 's/^/  /'
  echo "--- standard error:"; head -c 2000 "$work/stderr" | cat -v
  exit 1
fi
echo "$name: ok"
