# shellcheck shell=bash
# Helpers of the end-to-end checks, sourced by run_case.sh (the case folders)
# and by the scripted checks that need more than a case folder can say.
#
# A run happens in a scratch folder. Its state is kept just before the run
# (e2e_snapshot); afterwards the folder must hold the names it held then and
# the names of the expected files, and no other; every name not expected to
# change must be as it was (the same bytes, or still the same folder, named
# pipe or link); every expected file must hold exactly its bytes
# (e2e_compare). Standard error must be one diagnostic line naming the
# failure (e2e_diag), or nothing after a complete run (e2e_quiet).
#
# The checking functions print one line per problem found, nothing when all
# is well, so a caller collects them: problems+=$(e2e_compare ...).

# e2e_kind PATH: file, dir, fifo, link:TARGET, other or missing.
e2e_kind() {
  if [ -L "$1" ]; then
    echo "link:$(readlink "$1")"
  elif [ -f "$1" ]; then
    echo file
  elif [ -d "$1" ]; then
    echo dir
  elif [ -p "$1" ]; then
    echo fifo
  elif [ -e "$1" ]; then
    echo other
  else
    echo missing
  fi
}

# e2e_names DIR: the names in DIR, one a line, sorted bytewise.
e2e_names() { (cd "$1" && ls -A | LC_ALL=C sort); }

# e2e_snapshot DIR SNAP: keeps in SNAP the kind of every name in DIR
# (SNAP/kinds) and a copy of every regular file (SNAP/files/). Named pipes
# are not opened.
e2e_snapshot() {
  local dir=$1 snap=$2 name kind
  mkdir -p "$snap/files"
  : > "$snap/kinds"
  while IFS= read -r name; do
    kind=$(e2e_kind "$dir/$name")
    printf '%s\t%s\n' "$name" "$kind" >> "$snap/kinds"
    [ "$kind" = file ] && cp "$dir/$name" "$snap/files/$name"
  done < <(e2e_names "$dir")
}

# e2e_changed DIR SNAP: the names in DIR that are new since the snapshot or
# no longer as they were.
e2e_changed() {
  local dir=$1 snap=$2 name kind was
  while IFS= read -r name; do
    kind=$(e2e_kind "$dir/$name")
    was=$(awk -F '\t' -v n="$name" '$1 == n { print $2 }' "$snap/kinds")
    if [ "$kind" != "$was" ] || { [ "$kind" = file ] && ! cmp -s "$dir/$name" "$snap/files/$name"; }; then
      echo "$name"
    fi
  done < <(e2e_names "$dir")
}

# e2e_compare DIR SNAP EXPECT [ANY...]: DIR after a run against its snapshot
# and the expected files of folder EXPECT (its stdout and stderr aside: they
# are the run's streams, not files). A file of EXPECT that is a symbolic link
# asks for a link with the same target. ANY names files that must exist with
# whatever content.
e2e_compare() {
  local dir=$1 snap=$2 expect=$3 name kind want
  shift 3
  local any=" $* "
  local wanted
  wanted=$({ cut -f 1 "$snap/kinds"
             [ -d "$expect" ] && e2e_names "$expect" | grep -vxE 'stdout|stderr'
             [ $# -gt 0 ] && printf '%s\n' "$@"; } | LC_ALL=C sort -u)
  local got
  got=$(e2e_names "$dir")
  [ "$got" = "$wanted" ] && : || echo "the folder holds [$(echo $got)], expected [$(echo $wanted)]"
  while IFS= read -r name; do
    [ -n "$name" ] || continue
    kind=$(e2e_kind "$dir/$name")
    [ "$kind" = missing ] && continue  # the name list says so
    if [ -e "$expect/$name" ] || [ -L "$expect/$name" ]; then
      want=$(e2e_kind "$expect/$name")
      if [ "$want" != file ]; then
        [ "$kind" = "$want" ] || echo "$name is $kind, expected $want"
      elif [ "$kind" != file ]; then
        echo "$name is $kind, expected a regular file"
      elif ! cmp -s "$expect/$name" "$dir/$name"; then
        echo "$name differs from the expected bytes: $(cmp "$expect/$name" "$dir/$name" 2>&1 | head -1)"
        diff "$expect/$name" "$dir/$name" 2>/dev/null | head -10 | cat -v | sed 's/^/      /'
      fi
    elif [[ $any == *" $name "* ]]; then
      [ "$kind" = file ] || echo "$name is $kind, expected a regular file"
    else
      want=$(awk -F '\t' -v n="$name" '$1 == n { print $2 }' "$snap/kinds")
      if [ "$kind" != "$want" ]; then
        echo "$name is $kind, was ${want:-not there} before the run"
      elif [ "$kind" = file ] && ! cmp -s "$snap/files/$name" "$dir/$name"; then
        echo "$name was changed by the run: $(cmp "$snap/files/$name" "$dir/$name" 2>&1 | head -1)"
      fi
    fi
  done <<< "$wanted"
}

# e2e_status GOT WANT [TIMEOUT]: the exit status; 124 is a run stopped by
# timeout (a hang).
e2e_status() {
  if [ "$1" = 124 ] && [ "$2" != 124 ]; then
    echo "the run did not end within ${3:-the time allowed} s (a hang); expected status $2"
  elif [ "$1" != "$2" ]; then
    echo "exit status $1, expected $2"
  fi
}

# e2e_diag PROGRAM ERRFILE FRAGMENT...: standard error is one whole line
# that starts with the program's name and holds every fragment.
e2e_diag() {
  local prog=$1 err=$2 f lines
  shift 2
  lines=$(grep -c '' "$err")
  if [ "$lines" != 1 ] || [ "$(tail -c 1 "$err" | od -An -tx1 | tr -d ' ')" != 0a ]; then
    echo "standard error should be one line; it holds $lines: $(head -c 300 "$err" | cat -v)"
  fi
  grep -q "^$prog: " "$err" || echo "the diagnostic does not start with '$prog: ': $(head -c 200 "$err" | cat -v)"
  for f in "$@"; do
    grep -qF -- "$f" "$err" || echo "the diagnostic lacks '$f': $(head -c 300 "$err" | cat -v)"
  done
}

# e2e_quiet ERRFILE: nothing on standard error.
e2e_quiet() {
  [ -s "$1" ] && echo "unexpected standard error: $(head -c 300 "$1" | cat -v)"
  return 0
}

# ---- scripted cases -------------------------------------------------------------
#
# For checks that set up what a case folder cannot hold. The script sets
#   root        a scratch folder for the cases (made and removed by it)
#   bin         the folder of the programs to run
#   timeout_s   seconds after which a run is stopped as a hang
#   known_faults  names of cases that fail for a known fault (reported, not
#               failing the check)
# and runs each case as
#   start NAME; (inputs into $w, standard input by stdin_lines, expected
#   files by has / has_any); run PROGRAM [COMMAND...] (or before_run and a
#   run of its own); expect_status / expect_diag / expect_quiet /
#   expect_stdout / problem; finish
# then ends with e2e_summary NAME, whose status is that of the check.

passed=0
failed=0
skipped=0
known=0
case_name=""  # the case running; empty once it was skipped
problems=""   # what went wrong in it
w=""          # its folder
status=""     # the exit status of its run
any=()        # files the run must leave, with any content

# start NAME: a fresh case folder, no expectations yet. Its expected files
# go to $w.expect, its standard input to $w.in.
start() {
  case_name=$1
  problems=""
  w=$root/$case_name
  mkdir -p "$w" "$w.expect"
  chmod 777 "$w"
  : > "$w.in"
  any=()
}

problem() { problems+="    $*"$'\n'; }

# note LINES: each line a problem (the output of an e2e_ check).
note() {
  local line
  while IFS= read -r line; do
    [ -n "$line" ] && problem "$line"
  done <<< "$1"
}

skip() {
  echo "skip $case_name: $1"
  skipped=$((skipped + 1))
  case_name=""
}

# The lines of the next run's standard input.
stdin_lines() { printf '%s\n' "$@" > "$w.in"; }

# has NAME FILE: afterwards the folder holds NAME with exactly the bytes of
# FILE. has_any NAME: NAME is a regular file, of any content.
has() { cp "$2" "$w.expect/$1"; }
has_any() { any+=("$1"); }

# before_run: the folder's state, against which finish compares it.
before_run() { e2e_snapshot "$w" "$w.snap"; }

# run PROGRAM [COMMAND...]: runs the program in the case folder under the
# command given, if any; standard output to $w.out, standard error to $w.err.
run() {
  local prog=$1
  shift
  before_run
  (cd "$w" && timeout "$timeout_s" "$@" "$bin/$prog" < "$w.in" > "$w.out" 2> "$w.err")
  status=$?
}

expect_status() { note "$(e2e_status "$status" "$1" "$timeout_s")"; }

# expect_diag PROGRAM FRAGMENT...: standard error is one line that starts
# with the program's name and holds every fragment.
expect_diag() { note "$(e2e_diag "$1" "$w.err" "${@:2}")"; }

expect_quiet() { note "$(e2e_quiet "$w.err")"; }

expect_stdout() {
  cmp -s "$1" "$w.out" || problem "standard output is not $(basename "$1"): $(head -c 200 "$w.out" | cat -v)"
}

finish() {
  [ -z "$case_name" ] && return 0
  [ -f "$w.snap/kinds" ] || problem "the case ran without before_run: nothing to compare the folder with"
  [ -f "$w.snap/kinds" ] && note "$(e2e_compare "$w" "$w.snap" "$w.expect" "${any[@]}")"
  local is_known=0
  case " $(echo $known_faults) " in *" $case_name "*) is_known=1 ;; esac
  if [ -z "$problems" ]; then
    if [ "$is_known" = 1 ]; then
      echo "ok   $case_name (listed as a known fault, but passes: take it off the list)"
    else
      echo "ok   $case_name"
    fi
    passed=$((passed + 1))
  elif [ "$is_known" = 1 ]; then
    echo "KNOWN FAULT $case_name:"
    printf '%s' "$problems"
    known=$((known + 1))
  else
    echo "FAIL $case_name:"
    printf '%s' "$problems"
    failed=$((failed + 1))
  fi
}

# e2e_summary NAME: the closing line of a scripted check; fails when a case
# failed.
e2e_summary() {
  echo "$1: $passed cases pass, $failed fail, $known known faults, $skipped skipped"
  [ "$failed" = 0 ]
}
