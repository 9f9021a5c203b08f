#!/usr/bin/env bash
# ringpick over the largest real catalog (labelled layout, read with the plain
# one) writes exactly the records that ringpick_oracle works out by splitting
# the lines itself, converting with std::from_chars and calling hypo_distance.
# Two reference points: one between events, one on an event that occurs twice
# in the catalog, so the exact-coincidence rule meets real data. Command-line
# arguments are given and must change nothing. The catalog comes from the
# checkout (tests/data/merged_all.cat.gz).
# Usage: bash check_ringpick_real.sh BUILD_DIR SOURCE_DIR
set -u
bin=$1/ringpick/ringpick
oracle=$1/ringpick/ringpick_oracle
lines=75384
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
catalog=$work/merged_all.cat
gzip -dc "$2/tests/data/merged_all.cat.gz" > "$catalog" ||
  { echo "check_ringpick_real: cannot decompress $2/tests/data/merged_all.cat.gz"; exit 1; }
[ "$(wc -l < "$catalog")" = "$lines" ] || { echo "check_ringpick_real: the catalog should have $lines lines"; exit 1; }

fail=0
# reference: lat lon dep radius, and the fewest records a sound run gives
for ref in "38.3 142.4 20 500 5000" "38.297 142.373 29 100 500"; do
  set -- $ref
  printf 'merged_all.cat %d\n%s %s %s %s\n' "$lines" "$1" "$2" "$3" "$4" > "$work/stdin"
  rm -f "$work/pickout"
  (cd "$work" && "$bin" --help -o other < stdin > .stdout 2> .stderr)
  status=$?
  "$oracle" "$catalog" "$lines" "$1" "$2" "$3" "$4" > "$work/expected" || { echo "oracle failed"; fail=1; }
  got=$(wc -l < "$work/pickout" 2>/dev/null || echo 0)
  [ "$status" = 0 ] || { echo "ref $ref: exit status $status"; cat "$work/.stderr"; fail=1; }
  [ -s "$work/.stdout" ] && { echo "ref $ref: unexpected standard output"; fail=1; }
  [ -s "$work/.stderr" ] && { echo "ref $ref: unexpected standard error: $(head -c 500 "$work/.stderr")"; fail=1; }
  [ -e "$work/other" ] && { echo "ref $ref: a command-line argument was taken as a file"; fail=1; }
  [ "$got" -ge "$5" ] || { echo "ref $ref: only $got records, expected at least $5"; fail=1; }
  if ! cmp -s "$work/expected" "$work/pickout"; then
    echo "ref $ref: pickout differs from the recomputed selection:"
    diff "$work/expected" "$work/pickout" | head -20
    fail=1
  fi
  echo "ref $ref: $got records"
done
# The two catalog events at the second reference point are selected at 0 km.
zeros=$(grep -c ' 38\.297   142\.373   29\.0 .*   0\.000$' "$work/pickout")
[ "$zeros" = 2 ] || { echo "coincident events at 0.000 km: $zeros, expected 2"; fail=1; }

[ "$fail" = 0 ] && echo "check_ringpick_real: ok"
exit "$fail"
