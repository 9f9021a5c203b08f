#!/usr/bin/env bash
# Runs the programs on the bundled examples and says where the results are.
# catprep first turns the raw ComCat export into the catalog; then each
# classic program runs in its own folder, since each writes files of fixed
# names into its working directory:
#   OUT/catprep     nejapan_m45_1964_2011.cat (from nejapan_m45_1964_2011.csv.gz), summary
#   OUT/twinquake   pairs.out, e1pairs.out, Aftershocks, stdout (prompt and echo)
#   OUT/ringpick    pickout
#   OUT/epochnum    o_dat, stdout
# examples/expected/ holds the same files as they must come out.
#
# Usage: examples/run.sh [BUILD_DIR [OUT]]
#   Without BUILD_DIR the toolkit is first built in build/ at the top of the
#   source tree. OUT defaults to examples/out.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
if [ $# -ge 1 ]; then
  build=$(cd "$1" && pwd)
else
  build="$top/build"
  "$top/tools/ensure_deps.sh"
  cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" -j"$(nproc)" --target twinquake ringpick epochnum catprep >/dev/null
fi
out=${2:-"$here/out"}
mkdir -p "$out"
out=$(cd "$out" && pwd)
catalog=nejapan_m45_1964_2011.cat

# Runs one program in OUT/NAME with the given standard input; stops the script
# with the program's own diagnostic and status when the run fails.
run() {
  local name=$1 input=$2
  local dir="$out/$name"
  local status=0
  (cd "$dir" && "$build/$name/$name" < "$input" > stdout) || status=$?
  if [ "$status" != 0 ]; then
    echo "$name ended with status $status (see its diagnostic above)" >&2
    exit "$status"
  fi
}

# Fresh folders: a report file that receives no line would otherwise keep
# the content of an earlier run.
for name in twinquake ringpick epochnum; do
  rm -rf "${out:?}/$name"
  mkdir "$out/$name"
done

# catprep: the ComCat export as downloaded becomes the catalog of the searches
# (the same bytes as the bundled nejapan_m45_1964_2011.cat).
rm -rf "${out:?}/catprep"
mkdir "$out/catprep"
if ! "$build/catprep/catprep" -o "$out/catprep/$catalog" "$here/nejapan_m45_1964_2011.csv.gz" \
     2> "$out/catprep/summary"; then
  cat "$out/catprep/summary" >&2
  echo "catprep failed (see its diagnostic above)" >&2
  exit 2
fi
cp "$out/catprep/$catalog" "$out/twinquake/"
cp "$out/catprep/$catalog" "$out/ringpick/"
cp "$here/i_dat" "$out/epochnum/"

run twinquake "$here/twinquake.in"
run ringpick "$here/ringpick.in"
run epochnum /dev/null

lines() { wc -l < "$1" | tr -d ' '; }
echo "$(sed 's/^catprep: /catprep:   /' "$out/catprep/summary") into $out/catprep/$catalog"
echo "twinquake: $(lines "$out/twinquake/pairs.out") E2-E1 pairs in pairs.out," \
     "$(lines "$out/twinquake/Aftershocks") aftershocks in Aftershocks," \
     "$(lines "$out/twinquake/e1pairs.out") E1 pairs in e1pairs.out; in $out/twinquake"
echo "ringpick:  $(lines "$out/ringpick/pickout") events within the radius in pickout; in $out/ringpick"
echo "epochnum:  $(lines "$out/epochnum/o_dat") day numbers in o_dat; in $out/epochnum"
