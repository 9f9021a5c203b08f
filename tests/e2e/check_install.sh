#!/usr/bin/env bash
# cmake --install puts the programs into PREFIX/bin and their manual
# pages into PREFIX/share/man/man1; the installed programs run outside the
# build tree; every page renders without a single groff warning and opens
# with man, both by file and by name under the installed prefix.
# Usage: bash check_install.sh BUILD_DIR SOURCE_DIR
set -u
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
programs="twinquake ringpick epochnum catprep"

fail=0
failed() { echo "FAILED: $*"; fail=1; }

# The page checks need groff and man; say which package brings a missing one.
missing=""
command -v groff > /dev/null || missing="$missing groff (Debian package groff-base)"
command -v man > /dev/null || missing="$missing man (Debian package man-db)"
if [ -n "$missing" ]; then
  echo "FAILED: cannot check the manual pages, missing:$missing"
  exit 1
fi

if ! cmake --install "$build" --prefix "$prefix" > "$work/install.log" 2>&1; then
  echo "FAILED: cmake --install $build --prefix $prefix"
  cat "$work/install.log"
  exit 1
fi

for p in $programs; do
  bin="$prefix/bin/$p"
  page="$prefix/share/man/man1/$p.1"
  [ -f "$bin" ] && [ -x "$bin" ] || failed "$p is not installed as an executable in PREFIX/bin"
  if [ ! -f "$page" ]; then
    failed "$p.1 is not installed in PREFIX/share/man/man1"
    continue
  fi
  cmp -s "$page" "$src/man/$p.1" || failed "the installed $p.1 differs from man/$p.1"
  # Plain ASCII: the page reads the same under any locale.
  if LC_ALL=C grep -n '[^[:print:][:space:]]' "$page" > "$work/nonascii"; then
    failed "$p.1 holds characters outside ASCII:"; head -3 "$work/nonascii"
  fi
  # groff with every warning on: a clean page prints nothing at all.
  warnings=$(groff -ww -z -mandoc "$page" 2>&1)
  [ -z "$warnings" ] || { failed "groff warns about $p.1:"; echo "$warnings" | head -10; }
  # man by file and by name under the prefix: status 0, no complaint, the
  # page's name and its sections in the text.
  for how in "-l $page" "-M $prefix/share/man $p"; do
    # shellcheck disable=SC2086
    if ! MANPAGER=cat PAGER=cat MANWIDTH=80 LC_ALL=C.UTF-8 man $how > "$work/page.txt" 2> "$work/page.err"; then
      failed "man $how ended with a failure:"; head -5 "$work/page.err"
    elif [ -s "$work/page.err" ]; then
      failed "man $how complains:"; head -5 "$work/page.err"
    else
      for section in NAME SYNOPSIS DESCRIPTION FILES "EXIT STATUS" EXAMPLES; do
        grep -q "^$section" "$work/page.txt" || failed "man $how shows no $section section"
      done
      grep -q "^ *$p " "$work/page.txt" || failed "man $how does not name $p"
    fi
  done
done

# The installed programs run on their own, away from the build tree.
run="$work/run"
mkdir "$run"
cd "$run" || exit 1
printf '1\n1 1 2000\n' > i_dat
"$prefix/bin/epochnum" < /dev/null > epochnum.stdout 2>&1 || failed "the installed epochnum failed"
[ "$(cat o_dat 2>/dev/null)" = "     2451545" ] || failed "the installed epochnum wrote: $(cat o_dat 2>/dev/null)"
printf 'a 35.0 139.0 10.0 5.0 36524.0 label\n' > cat.txt
printf 'cat.txt 1\n35.0 139.0 10.0 1.0\n' | "$prefix/bin/ringpick" > ringpick.stdout 2>&1 \
  || failed "the installed ringpick failed: $(cat ringpick.stdout)"
[ "$(wc -l < pickout 2>/dev/null)" = 1 ] || failed "the installed ringpick selected no event"
printf '10 10 0 5\ncat.txt pairs.out e1pairs.out\n1\n' | "$prefix/bin/twinquake" > twinquake.stdout 2>&1 \
  || failed "the installed twinquake failed: $(cat twinquake.stdout)"
grep -q 'dist range, time window' twinquake.stdout || failed "the installed twinquake wrote no prompt"

printf 'time,latitude,longitude,depth,mag,id\n2000-01-01T00:00:00Z,35,139,10,5,a\n' > q.csv
[ "$("$prefix/bin/catprep" -q q.csv 2>&1)" = "2000-01-01T00:00:00.000Z 35 139 10 5 36524.00000000 a" ] \
  || failed "the installed catprep failed: $("$prefix/bin/catprep" q.csv 2>&1)"
[ "$fail" = 0 ] && echo "check_install: ok ($programs and their pages)"
exit "$fail"
