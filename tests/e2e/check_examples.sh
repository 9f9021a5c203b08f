#!/usr/bin/env bash
# The bundled examples still give their checked-in results, byte for byte:
# examples/run.sh runs the three programs of BUILD_DIR into a scratch folder,
# and every file of examples/expected/ must come out unchanged. twinquake's
# standard output must be its prompt line followed by the pair file; ringpick
# and epochnum write nothing there. Nothing may reach standard error.
# Usage: bash check_examples.sh BUILD_DIR SOURCE_DIR
set -u
build=$1
src=$2
expected="$src/examples/expected"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! bash "$src/examples/run.sh" "$build" "$work/out" > "$work/run.stdout" 2> "$work/run.stderr"; then
  echo "FAILED: examples/run.sh did not complete:"
  cat "$work/run.stdout" "$work/run.stderr"
  exit 1
fi

fail=0
check() { if ! eval "$2"; then echo "FAILED: $1"; fail=1; fi; }

check "examples/run.sh wrote nothing to standard error" '[ ! -s "$work/run.stderr" ]'
for want in $(cd "$expected" && find . -type f | sort); do
  got="$work/out/$want"
  if [ ! -f "$got" ]; then
    echo "FAILED: ${want#./} was not written"
    fail=1
  elif ! cmp -s "$expected/$want" "$got"; then
    echo "FAILED: ${want#./} differs from the checked-in result; first differences:"
    diff "$expected/$want" "$got" | head -6
    fail=1
  fi
done

prompt=' dist range, time window, and min magntiude for the aftershock (E1) and mainshock (E2): '
check "twinquake's standard output is the prompt line and the pair file" \
  '{ printf "%s\n" "$prompt"; cat "$expected/twinquake/pairs.out"; } | cmp -s - "$work/out/twinquake/stdout"'
check "catprep made the bundled catalog from the raw export" \
  'cmp -s "$src/examples/nejapan_m45_1964_2011.cat" "$work/out/catprep/nejapan_m45_1964_2011.cat"'
check "ringpick wrote nothing to standard output" '[ ! -s "$work/out/ringpick/stdout" ]'
check "epochnum wrote nothing to standard output" '[ ! -s "$work/out/epochnum/stdout" ]'
# The summary names each report with its line count.
check "the summary gives the line counts" \
  'grep -q "^twinquake: $(wc -l < "$expected/twinquake/pairs.out" | tr -d " ") E2-E1 pairs" "$work/run.stdout" &&
   grep -q "^ringpick: *$(wc -l < "$expected/ringpick/pickout" | tr -d " ") events" "$work/run.stdout" &&
   grep -q "^epochnum: *$(wc -l < "$expected/epochnum/o_dat" | tr -d " ") day numbers" "$work/run.stdout"'

if [ "$fail" != 0 ]; then
  echo "(A build with -DQUAKE_PLATFORM_LIBM=ON may differ in short distances: the"
  echo " checked-in results come from the correctly rounded math linked by default.)"
  exit 1
fi
echo "check_examples: ok ($(cd "$expected" && find . -type f | wc -l) files as checked in)"
