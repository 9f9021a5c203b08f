#!/usr/bin/env bash
# twinquake over a real catalog: the reports hold what they promise. Every
# record has its template's length, every E1 lies within the window and the
# distance range of its E2 and before it, the echo equals the pair file.
# The catalog comes from the checkout (tests/data/global_m6_1900_2023.cat.gz).
# Usage: bash check_twinquake_real.sh BUILD_DIR SOURCE_DIR
set -eu
build=$1
src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
gzip -dc "$src/tests/data/global_m6_1900_2023.cat.gz" > cat.txt
n=$(wc -l < cat.txt)
printf '150 400 0 6.5\ncat.txt pairs.out e1pairs.out\n%s\n' "$n" | "$build/twinquake/twinquake" > stdout
fail=0
check() { if ! eval "$2"; then echo "FAILED: $1"; fail=1; fi; }
check "pairs were found" '[ -s pairs.out ] && [ -s Aftershocks ] && [ -s e1pairs.out ]'
check "pair records are 189 characters" '! awk "length(\$0) != 189" pairs.out e1pairs.out | grep -q .'
check "aftershock records are 167 characters" '! awk "length(\$0) != 167" Aftershocks | grep -q .'
check "the echo is the pair file" 'tail -n +2 stdout | cmp -s - pairs.out'
# Pair records: distance (columns 122-129) within the range, time difference
# (130-140) positive, at least 5.8e-5 days and within the window.
bad=$(awk '{ d = substr($0, 122, 8) + 0; dt = substr($0, 131, 10) + 0;
             if (d > 150 || dt < 0.000058 || dt > 400) print }' pairs.out | head -3)
check "every E1 within the window and range and before its E2" '[ -z "$bad" ]'
# E1 pairs: the later E1 at least as large as the earlier, within the range.
bad=$(awk '{ if (substr($0, 58, 7) + 0 < substr($0, 115, 7) + 0 || substr($0, 122, 8) + 0 > 150 \
                 || substr($0, 131, 10) + 0 < 0) print }' e1pairs.out | head -3)
check "every E1 pair ordered, within range" '[ -z "$bad" ]'
# Group numbers of the pair file rise by one from 1.
bad=$(awk '{ g = substr($0, 1, 4) + 0; if (g != last && g != last + 1) print; last = g }' pairs.out | head -3)
check "groups are numbered 1, 2, 3, ..." '[ -z "$bad" ]'
[ "$fail" = 0 ] && echo "ok: $(wc -l < pairs.out) pairs, $(wc -l < Aftershocks) aftershocks, $(wc -l < e1pairs.out) E1 pairs"
exit $fail
