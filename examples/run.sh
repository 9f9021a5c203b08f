#!/usr/bin/env bash
# Builds the toolkit and runs twinquake on the bundled NE Japan catalog.
# The reports are left in examples/out/. Usage: examples/run.sh
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/ensure_deps.sh"
cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$top/build" -j"$(nproc)" --target twinquake ringpick epochnum >/dev/null
out="$top/examples/out"
mkdir -p "$out"
cp "$top/examples/nejapan_m45_1964_2011.cat" "$out/"
cd "$out"
"$top/build/twinquake/twinquake" < "$top/examples/twinquake.in" > twinquake.stdout
echo "twinquake: $(wc -l < pairs.out) E2-E1 pairs, $(wc -l < Aftershocks) aftershocks," \
     "$(wc -l < e1pairs.out) E1 pairs; reports in $out"
