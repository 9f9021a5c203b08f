#!/usr/bin/env bash
# catprep at scale, every figure against a baseline measured in the same run:
# 1. ComCat CSV of N events (default 1,000,000): catprep against the pandas
#    script a seismologist would write (bench/catprep_pandas.py), wall time,
#    peak memory, the ratio pandas/catprep and how many lines agree;
# 2. QuakeML of M events (default 200,000, about 1.2 KB each): catprep's
#    reading speed in MB/s against `wc -l` over the same file (the speed of
#    just reading the bytes), and the ratio;
# 3. memory: peak resident memory of catprep on N/4 and N CSV events, the
#    difference per extra event kept (bytes per event), and on the QuakeML
#    with --min-mag 99 (nothing kept) at M/4 and M events: the same peak
#    whatever the input size.
# Inputs come from bench/gen_catprep_input.py, cached in BUILD_DIR/bench-data.
#
# Usage: bash bench/catprep_bench.sh BUILD_DIR [N [M]]
# Needs catprep built in BUILD_DIR, /usr/bin/python3 with pandas (python3-pandas) and
# GNU time at /usr/bin/time.
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 1 ] || { sed -n '2,/^set -u/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 1; }
build=$(cd "$1" && pwd) || exit 1
n=${2:-1000000}
m=${3:-200000}
bin=$build/catprep/catprep
gen=$top/bench/gen_catprep_input.py
for f in "$bin" /usr/bin/time; do [ -x "$f" ] || { echo "missing $f" >&2; exit 1; }; done
# Debian's python3-pandas belongs to Debian's python3, which may not be the
# first python3 on the PATH.
py=/usr/bin/python3
[ -x "$py" ] || py=python3
"$py" -c 'import pandas' 2> /dev/null || { echo "python3-pandas is missing (tools/ensure_deps.sh)" >&2; exit 1; }
data=$build/bench-data
mkdir -p "$data"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

input() {  # input FORMAT COUNT: path of the generated file, made once
  local f=$data/catprep_$2.$1
  if [ ! -s "$f" ] || [ "$gen" -nt "$f" ]; then
    "$py" "$gen" "$1" "$2" > "$f.tmp" && mv "$f.tmp" "$f" || return 1
  fi
  echo "$f"
}

# measure COMMAND...: runs it, prints "wall_seconds peak_kb cpu_seconds"
# (status must be 0). The CPU time (user + system) is what a loaded shared
# machine disturbs least.
measure() {
  local t0 t1
  t0=$EPOCHREALTIME
  /usr/bin/time -f '%M %U %S' -o "$work/time.txt" "$@" > /dev/null 2> "$work/err.txt" || {
    echo "failed: $* ($(head -c 300 "$work/err.txt"))" >&2
    return 1
  }
  t1=$EPOCHREALTIME
  read -r kb us ss < <(tail -n 1 "$work/time.txt")
  echo "$(awk -v a="$t0" -v z="$t1" 'BEGIN { printf "%.3f", z - a }') $kb $(awk -v u="$us" -v s="$ss" 'BEGIN { printf "%.2f", u + s }')"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.1f", a / b; else print "-" }'; }

echo "catprep at scale: $(nproc) cores, $(date -u '+%Y-%m-%d %H:%M UTC'), source $(git -C "$top" rev-parse --short HEAD 2>/dev/null || echo '?')"

csv=$(input csv "$n") || exit 1
# catprep writes to standard output redirected to a file, as pandas writes
# its file: no fsync (which -o does before its rename) on either side.
to_file='"$0" -q "$1" > "$2"'
read -r cs ck cc <<< "$(measure sh -c "$to_file" "$bin" "$csv" "$work/catprep.cat")" || exit 1
read -r ps pk pc <<< "$(measure "$py" "$top/bench/catprep_pandas.py" "$csv" "$work/pandas.cat")" || exit 1
kept=$(wc -l < "$work/catprep.cat")
same=$(awk 'NR == FNR { a[FNR] = $0; next } a[FNR] == $0 { s++ } END { print s + 0 }' "$work/catprep.cat" "$work/pandas.cat")
# Lines that differ only in dat, by one unit of the last decimal: pandas
# rounds a binary double, catprep the exact value (ties to even).
near=$(paste -d' ' "$work/catprep.cat" "$work/pandas.cat" | awk '$0 != "" && ($1 $2 $3 $4 $5 $7) == ($8 $9 $10 $11 $12 $14) &&
  $6 != $13 { d = $6 - $13; if (d < 0) d = -d; if (d < 1.5e-8) n++ } END { print n + 0 }')
printf '\n1. ComCat CSV, %d events (%.0f MB), %d kept\n' "$n" "$(du -m "$csv" | cut -f1)" "$kept"
printf '   %-8s %8s s wall %8s s CPU %8.1f MB\n' catprep "$cs" "$cc" "$(awk -v k="$ck" 'BEGIN { print k / 1024 }')"
printf '   %-8s %8s s wall %8s s CPU %8.1f MB\n' pandas "$ps" "$pc" "$(awk -v k="$pk" 'BEGIN { print k / 1024 }')"
echo "   pandas/catprep: $(ratio "$ps" "$cs") times the wall time, $(ratio "$pc" "$cc") times the CPU time"
echo "   lines identical: $same of $kept; $near more differ only by 1e-8 in dat (pandas' binary rounding)"

xml=$(input quakeml "$m") || exit 1
bytes=$(stat -c %s "$xml")
read -r qs _ qc <<< "$(measure sh -c "$to_file" "$bin" "$xml" "$work/q.cat")" || exit 1
read -r ws _ wc <<< "$(measure wc -l "$xml")" || exit 1
mbs() { awk -v b="$bytes" -v s="$1" 'BEGIN { if (s > 0) printf "%.0f", b / 1048576 / s; else print "-" }'; }
printf '\n2. QuakeML, %d events (%.0f MB)\n' "$m" "$(awk -v b="$bytes" 'BEGIN { print b / 1048576 }')"
echo "   catprep: $qs s wall ($(mbs "$qs") MB/s), $qc s CPU ($(mbs "$qc") MB/s)"
echo "   wc -l:   $ws s wall ($(mbs "$ws") MB/s), $wc s CPU; catprep/wc -l: $(ratio "$qs" "$ws") times the wall time"
cmp -s "$work/q.cat" <("$bin" -q "$(input csv "$m")") && echo "   (the same catalog as the CSV of the same events)"

small=$(input csv $((n / 4))) || exit 1
read -r _ sk _ <<< "$(measure "$bin" -q -o "$work/s.cat" "$small")" || exit 1
skept=$(wc -l < "$work/s.cat")
per=$(awk -v a="$ck" -v b="$sk" -v ka="$kept" -v kb="$skept" 'BEGIN { printf "%.0f", (a - b) * 1024 / (ka - kb) }')
xsmall=$(input quakeml $((m / 4))) || exit 1
read -r _ x1 _ <<< "$(measure "$bin" -q --min-mag 99 "$xsmall")" || exit 1
read -r _ x2 _ <<< "$(measure "$bin" -q --min-mag 99 "$xml")" || exit 1
printf '\n3. Memory\n'
echo "   CSV: peak $((sk / 1024)) MB for $skept kept, $((ck / 1024)) MB for $kept kept: $per bytes per event kept"
echo "   QuakeML, nothing kept: peak $((x1 / 1024)) MB at $((m / 4)) events, $((x2 / 1024)) MB at $m events ($(ratio "$x2" "$x1") times)"
