#!/usr/bin/env bash
# ringpick end to end, in catalog lines per second, on the largest real
# catalog and on a catalog of 1,000,000 lines (the real one repeated), with
# `cat` and `wc -l` over the same file in the same run as a baseline.
# Each figure is the best of RUNS runs, wall-clock and processor time apart.
# Usage: bash bench/ringpick_throughput.sh [BUILD_DIR]   (env QUAKE_DATA, RUNS)
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
bin=$build/ringpick/ringpick
data=${QUAKE_DATA:-$top/../shared/data}
runs=${RUNS:-5}
[ -x "$bin" ] || { echo "no ringpick at $bin" >&2; exit 1; }
[ -f "$data/merged_all.cat" ] || { echo "no merged_all.cat in $data" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$data/merged_all.cat" "$work/real.cat"
big=1000000
copies=$(( big / $(wc -l < "$work/real.cat") + 1 ))
for _ in $(seq "$copies"); do cat "$work/real.cat"; done > "$work/big.all"
head -n "$big" "$work/big.all" > "$work/big.cat"
rm "$work/big.all"

# Best wall-clock seconds and best processor seconds (user + system) of
# `runs` runs of a command run in $work, as "wall cpu". The processor time
# stays meaningful when other work shares the machine.
best() {
  local bw="" bc="" t w c
  for _ in $(seq "$runs"); do
    t=$( { TIMEFORMAT='%3R %3U %3S'; time (cd "$work" && eval "$1" > /dev/null 2>&1); } 2>&1 )
    w=$(echo "$t" | awk '{ print $1 }')
    c=$(echo "$t" | awk '{ printf "%.3f", $2 + $3 }')
    if [ -z "$bw" ] || awk -v a="$w" -v b="$bw" 'BEGIN { exit !(a < b) }'; then bw=$w; fi
    if [ -z "$bc" ] || awk -v a="$c" -v b="$bc" 'BEGIN { exit !(a < b) }'; then bc=$c; fi
  done
  echo "$bw $bc"
}

row() {  # label lines "wall cpu" "cat: wall cpu" "wc: wall cpu"
  awk -v l="$1" -v n="$2" -v t="$3" -v c="$4" -v w="$5" 'BEGIN {
    split(t, a, " "); split(c, b, " "); split(w, d, " ");
    if (a[2] <= 0) a[2] = 0.001;
    printf "%-28s %8d lines  wall %6.3f s %9.0f lines/s  cpu %6.3f s %9.0f lines/s  wall vs cat %5.1fx  vs wc -l %5.1fx\n",
           l, n, a[1], n / a[1], a[2], n / a[2], a[1] / b[1], a[1] / d[1] }'
}

printf '%s\n' "ringpick throughput (best of $runs runs; Nx = times slower than the baseline)"
for file in real.cat big.cat; do
  n=$(wc -l < "$work/$file")
  t_cat=$(best "cat $file")
  t_wc=$(best "wc -l $file")
  for ref in "38.3 142.4 20 500" "0 0 0 30000"; do
    printf '%s %d\n%s\n' "$file" "$n" "$ref" > "$work/stdin.$file"
    t=$(best "$bin < stdin.$file")
    picked=$(wc -l < "$work/pickout")
    row "$file ($picked picked)" "$n" "$t" "$t_cat" "$t_wc"
  done
done
