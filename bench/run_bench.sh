#!/usr/bin/env bash
# twinquake at scale: wall time and peak memory of the fast program and of the
# step-by-step reference program on the same catalogs and parameters, their
# ratio measured in the same run, and whether their outputs (pair file,
# Aftershocks, E1-pair file, standard output) are byte-identical.
#
# Catalogs: gen101k and gen1m (101,000 and 1,000,000 events from
# gen_catalog, cached in BUILD_DIR/bench-data), gen1m-swapped (gen1m with
# lines 500,000 and 500,001 swapped: out of time order once), gen10m
# (10,000,000 events, for memory; not in the default list), the dense shapes
# swarm50k and swarm200k (a swarm within 10 km and 29 days, then an M6.0 at
# its centre) and point40k (40,000 events at one point), merged_all (75,384
# real events, the largest) and global_m4_2011 (15,828, the densest).
# Parameter sets: heavy "100 365 0 4" and typical "50 30 0 5".
#
# With --baseline, a second build of twinquake (the previous main, say) runs
# on every case too, and the table gains its time and the ratio base/fast.
# The closing "targets" lines give the ratios the search is held to, from
# the rows measured.
#
# Usage: bash bench/run_bench.sh BUILD_DIR [options]
#   --repeats K      runs of each program and case, the median reported (default 1)
#   --limit S        seconds a run may take before it is stopped (default 300)
#   --catalogs LIST  blank- or comma-separated subset of
#                    "gen101k gen1m merged_all global_m4_2011" (default all)
#   --params LIST    subset of "heavy typical" (default both)
#   --seed N         seed of the generated catalogs (default 1)
#   --baseline DIR   a build folder whose twinquake runs beside (e.g. of the previous main)
#   --no-ref         leave the reference program out (for gen10m)
#   --keep           keep the scratch directory (its path is printed)
# Env: QUAKE_DATA, the real catalogs (default ../shared/data beside the source).
# Needs the targets twinquake, twinquake_reference and gen_catalog built in
# BUILD_DIR, bash 5 and GNU time at /usr/bin/time. Ends with
# bench/ringpick_throughput.sh when that script is there (RUNS = repeats).
set -u

top=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 1 ] || { sed -n '2,/^set -u/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 1; }
build=$(cd "$1" && pwd) || exit 1
shift
repeats=1
limit=300
catalogs="gen101k gen1m gen1m-swapped swarm50k swarm200k point40k merged_all global_m4_2011"
params="heavy typical"
seed=1
keep=0
baseline=""
use_ref=1
while [ $# -gt 0 ]; do
  case $1 in
    --repeats) repeats=$2; shift 2 ;;
    --limit) limit=$2; shift 2 ;;
    --catalogs) catalogs=${2//,/ }; shift 2 ;;
    --params) params=${2//,/ }; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    --baseline) baseline=$(cd "$2" && pwd) || exit 1; shift 2 ;;
    --no-ref) use_ref=0; shift ;;
    *) echo "unknown option: $1" >&2; exit 1 ;;
  esac
done

data=${QUAKE_DATA:-$top/../shared/data}
fast=$build/twinquake/twinquake
ref=$build/tests/twinquake_reference
gen=$build/bench/gen_catalog
base=${baseline:+$baseline/twinquake/twinquake}
for f in "$fast" "$ref" "$gen" /usr/bin/time $base; do
  [ -x "$f" ] || { echo "missing $f (build the targets twinquake, twinquake_reference, gen_catalog)" >&2; exit 1; }
done

work=$(mktemp -d)
if [ "$keep" = 1 ]; then echo "scratch directory: $work"; else trap 'rm -rf "$work"' EXIT; fi

# Path of a catalog by its short name; generated ones are made once per
# size and seed, and again whenever gen_catalog is newer than the file.
catalog_path() {
  local dir=$build/bench-data
  mkdir -p "$dir"
  local n="" shape=""
  case $1 in
    gen101k) n=101000 ;;
    gen1m|gen1m-swapped) n=1000000 ;;
    gen10m) n=10000000 ;;
    swarm50k) n=50000 shape=swarm ;;
    swarm200k) n=200000 shape=swarm ;;
    point40k) n=40000 shape=point ;;
    *)
      [ -f "$data/$1.cat" ] || { echo "no $data/$1.cat" >&2; return 1; }
      echo "$data/$1.cat"
      return 0 ;;
  esac
  local f=$dir/gen_${n}_seed$seed${shape:+_$shape}.cat
  if [ ! -s "$f" ] || [ "$gen" -nt "$f" ]; then
    if ! "$gen" "$n" "$seed" ${shape:+--shape $shape} > "$f.tmp"; then rm -f "$f.tmp"; return 1; fi
    mv "$f.tmp" "$f"
  fi
  if [ "$1" = gen1m-swapped ]; then
    local g=$dir/gen_${n}_seed${seed}_swapped.cat
    if [ ! -s "$g" ] || [ "$f" -nt "$g" ]; then
      awk 'NR == 500000 { held = $0; next } NR == 500001 { print; print held; next } { print }' "$f" > "$g.tmp" &&
        mv "$g.tmp" "$g" || return 1
    fi
    f=$g
  fi
  echo "$f"
}

param_values() {
  case $1 in
    heavy) echo "100 365 0 4" ;;
    typical) echo "50 30 0 5" ;;
    *) echo "unknown parameter set $1" >&2; return 1 ;;
  esac
}

median() {  # numbers on standard input, one a line
  sort -g | awk '{ v[NR] = $1 } END {
    if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2];
    else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# run PROGRAM DIR: one run of twinquake's dialogue in DIR (which holds the
# catalog as cat.txt and the dialogue as stdin), time-limited. Appends
# "seconds peak_kb" to DIR/times, or returns 1 when the run was stopped or
# failed (the reason in DIR/status).
run() {
  local prog=$1 dir=$2
  rm -f "$dir/pairs.out" "$dir/e1pairs.out" "$dir/Aftershocks" "$dir/stdout" "$dir/time.txt"
  local t0 t1 kb status
  t0=$EPOCHREALTIME
  (cd "$dir" && /usr/bin/time -f '%e %M %x' -o time.txt timeout "$limit" "$prog" \
      < stdin > stdout 2> stderr)
  t1=$EPOCHREALTIME
  read -r _ kb status < <(tail -n 1 "$dir/time.txt" 2>/dev/null)
  case ${status:-} in
    # Wall time to the millisecond from the shell's clock (GNU time's %e has
    # 10 ms steps); it includes starting `time` and `timeout`, about 2 ms.
    0) echo "$(awk -v a="$t0" -v z="$t1" 'BEGIN { printf "%.3f", z - a }') $kb" >> "$dir/times"
       return 0 ;;
    124) echo "stopped after ${limit} s" > "$dir/status" ;;
    *) echo "failed, status ${status:-?}: $(head -c 200 "$dir/stderr")" > "$dir/status" ;;
  esac
  return 1
}

# The median seconds and peak KB of DIR/times, or the reason it has none.
figures() {
  if [ -s "$1/times" ]; then
    echo "$(cut -d' ' -f1 "$1/times" | median) $(cut -d' ' -f2 "$1/times" | median)"
  else
    echo "- -"
  fi
}

mb() {  # KB to MB
  if [ "$1" = - ]; then echo -; else awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; fi
}

same_outputs() {  # DIR_A DIR_B: "yes" or the files that differ
  local diff=""
  for f in pairs.out Aftershocks e1pairs.out stdout; do
    cmp -s "$1/$f" "$2/$f" || diff="$diff $f"
  done
  if [ -z "$diff" ]; then echo yes; else echo "NO:$diff"; fi
}

echo "twinquake at scale: fast = twinquake, ref = step-by-step reference; median of $repeats run(s); limit ${limit} s"
echo "build $build, source $(git -C "$top" rev-parse --short HEAD 2>/dev/null || echo '?')$(git -C "$top" diff --quiet -- twinquake common 2>/dev/null || echo ' (twinquake/common modified)'), $(nproc) cores, $(date -u '+%Y-%m-%d %H:%M UTC')"
printf '%-15s %8s %-8s %9s %8s %9s %8s %9s %9s %9s %8s %6s %7s  %s\n' \
  catalog events params "fast s" "fast MB" "ref s" "ref MB" "ref/fast" "base s" "base/fast" pairs afters e1pairs same
declare -A fast_s ref_s base_s
notes=""
for c in $catalogs; do
  file=$(catalog_path "$c") || exit 1
  n=$(wc -l < "$file")
  for p in $params; do
    values=$(param_values "$p") || exit 1
    case_dir=$work/$c.$p
    for side in fast ref base; do
      mkdir -p "$case_dir/$side"
      ln -sf "$file" "$case_dir/$side/cat.txt"
      printf '%s\ncat.txt pairs.out e1pairs.out\n%s\n' "$values" "$n" > "$case_dir/$side/stdin"
    done
    # The programs take turns, so that a change in the machine's load
    # falls on all of them alike.
    for _ in $(seq "$repeats"); do
      run "$fast" "$case_dir/fast"
      [ -n "$base" ] && run "$base" "$case_dir/base"
    done
    [ "$use_ref" = 1 ] && for _ in $(seq "$repeats"); do run "$ref" "$case_dir/ref" || break; done
    read -r fs fk <<< "$(figures "$case_dir/fast")"
    read -r rs rk <<< "$(figures "$case_dir/ref")"
    read -r bs _ <<< "$(figures "$case_dir/base")"
    bratio=-
    if [ "$fs" != - ] && [ "$bs" != - ]; then
      bratio=$(awk -v b="$bs" -v f="$fs" 'BEGIN { if (f > 0) printf "%.2f", b / f; else print "-" }')
      [ "$(same_outputs "$case_dir/fast" "$case_dir/base")" = yes ] || bratio="$bratio(DIFF)"
    fi
    fast_s[$c.$p]=$fs ref_s[$c.$p]=$rs base_s[$c.$p]=$bs
    if [ "$fs" != - ] && [ "$rs" != - ]; then
      ratio=$(awk -v r="$rs" -v f="$fs" 'BEGIN { if (f > 0) printf "%.2f", r / f; else print "-" }')
      same=$(same_outputs "$case_dir/fast" "$case_dir/ref")
    elif [ "$fs" != - ] && [ "$use_ref" = 1 ]; then
      ratio=$(awk -v l="$limit" -v f="$fs" 'BEGIN { if (f > 0) printf ">%.0f", l / f; else print "-" }')
      same="-"
    else
      ratio="-"
      same="-"
    fi
    for side in fast ref base; do
      [ -f "$case_dir/$side/status" ] && notes="$notes$c $p $side: $(cat "$case_dir/$side/status")"$'\n'
    done
    if [ "$fs" != - ]; then
      pairs=$(wc -l < "$case_dir/fast/pairs.out")
      afters=$(wc -l < "$case_dir/fast/Aftershocks")
      e1pairs=$(wc -l < "$case_dir/fast/e1pairs.out")
    else
      pairs=- afters=- e1pairs=-
    fi
    [ "$rs" = - ] && [ -f "$case_dir/ref/status" ] && grep -q stopped "$case_dir/ref/status" && rs=">$limit"
    [ "$fs" = - ] && [ -f "$case_dir/fast/status" ] && grep -q stopped "$case_dir/fast/status" && fs=">$limit"
    printf '%-15s %8d %-8s %9s %8s %9s %8s %9s %9s %9s %8s %6s %7s  %s\n' \
      "$c" "$n" "$p" "$fs" "$(mb "$fk")" "$rs" "$(mb "$rk")" "$ratio" "$bs" "$bratio" "$pairs" "$afters" "$e1pairs" "$same"
    if [ "$c" = gen1m ] || [ "$c" = gen10m ]; then
      for side in fast ref; do
        read -r _ kb <<< "$(figures "$case_dir/$side")"
        [ "$kb" != - ] && notes="$notes$c $p $side: peak memory $(awk -v k="$kb" -v n="$n" \
          'BEGIN { printf "%.0f", k * 1024 / n }') bytes per event"$'\n'
      done
    fi
  done
done
echo "params: heavy = \"100 365 0 4\", typical = \"50 30 0 5\" (dist km, window days, E1 min, E2 min);"
echo "MB = peak resident memory; same = pair file, Aftershocks, E1-pair file and stdout byte-identical"
echo "base = $(if [ -n "$base" ]; then echo "$base"; else echo "none (--baseline)"; fi); (DIFF) = its outputs differ"
[ -n "$notes" ] && printf '%s' "$notes"

# The ratios the search is held to, where their rows were measured.
ratio_of() {  # A B: A / B, or - when either is missing
  awk -v a="${1:--}" -v b="${2:--}" 'BEGIN { if (a == "-" || b == "-" || b + 0 <= 0) print "-"; else printf "%.2f", a / b }'
}
echo "targets:"
for p in $params; do
  echo "  $p: swarm200k ref/fast $(ratio_of "${ref_s[swarm200k.$p]:-}" "${fast_s[swarm200k.$p]:-}") (>= 10);" \
    "swarm200k/swarm50k fast $(ratio_of "${fast_s[swarm200k.$p]:-}" "${fast_s[swarm50k.$p]:-}") (<= 6);" \
    "point40k ref/fast $(ratio_of "${ref_s[point40k.$p]:-}" "${fast_s[point40k.$p]:-}") (>= 10)"
  echo "  $p: gen1m-swapped/gen1m fast $(ratio_of "${fast_s[gen1m-swapped.$p]:-}" "${fast_s[gen1m.$p]:-}") (<= 1.3);" \
    "merged_all ref/fast $(ratio_of "${ref_s[merged_all.$p]:-}" "${fast_s[merged_all.$p]:-}");" \
    "gen1m base/fast $(ratio_of "${base_s[gen1m.$p]:-}" "${fast_s[gen1m.$p]:-}");" \
    "global_m4_2011 base/fast $(ratio_of "${base_s[global_m4_2011.$p]:-}" "${fast_s[global_m4_2011.$p]:-}")"
done

if [ -f "$top/bench/ringpick_throughput.sh" ]; then
  echo
  RUNS=${RUNS:-$repeats} QUAKE_DATA=$data bash "$top/bench/ringpick_throughput.sh" "$build"
fi
