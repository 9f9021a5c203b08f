#!/usr/bin/env bash
# Builds the toolkit and runs every test. Usage: tests/run_all.sh
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/ensure_deps.sh"
build="$top/build"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build"
ctest --output-on-failure -j"$(nproc)"
