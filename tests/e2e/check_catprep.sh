#!/usr/bin/env bash
# catprep end to end, on the data inside the checkout (tests/data):
# - the six raw ComCat exports give the bundled catalogs byte for byte, and
#   the six together, in merged_all's order, give merged_all (by SHA-256);
# - each format sample converts as its README says (events kept and read;
#   the hand-made QuakeML file byte for byte), and a catalog twinquake reads;
# - the same events as CSV, FDSN text and QuakeML give one catalog;
# - standard input, gzip on standard input, --plain, --quiet, -o;
# - every refused input: its diagnostic, status 2, the old -o file intact and
#   no temporary file left; a closed pipe and a full disk are status 2;
# - the manual page renders without a groff warning.
# Usage: bash check_catprep.sh BUILD_DIR SOURCE_DIR
set -u
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
bin=$build/catprep/catprep
data=$src/tests/data
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
fail=0
failed() { echo "FAILED: $*"; fail=1; }

# ---- the bundled catalogs ----------------------------------------------------
for name in global_m6_1900_2023 global_m5_2009_2019 global_m4_2011 nejapan_m45_1964_2011 id_m29_2005_2010 \
            ph_m3_1979_2019; do
  "$bin" -q -o "$name.cat" "$data/raw/$name.csv.gz" || failed "catprep $name.csv.gz ended with status $?"
done
"$bin" -q -o merged_all.cat "$data/raw/global_m6_1900_2023.csv.gz" "$data/raw/global_m5_2009_2019.csv.gz" \
  "$data/raw/global_m4_2011.csv.gz" "$data/raw/nejapan_m45_1964_2011.csv.gz" "$data/raw/id_m29_2005_2010.csv.gz" \
  "$data/raw/ph_m3_1979_2019.csv.gz" 2> merged.err || failed "catprep merged_all ended with status $?"
sha256sum -c --quiet "$data/catprep_expected.sha256" || failed "a catalog differs from the bundled one"
"$bin" "$data/raw/global_m6_1900_2023.csv.gz" 2> m6.err > /dev/null
[ "$(cat m6.err)" = "catprep: 13803 events written (13927 records read); left out: 70 of another event type, 54 without depth or magnitude" ] \
  || failed "summary of global_m6_1900_2023: $(cat m6.err)"

# ---- the format samples --------------------------------------------------------
# file, events kept, records read
while read -r file kept read; do
  "$bin" "$data/formats/$file" > sample.cat 2> sample.err || failed "$file: status $?: $(cat sample.err)"
  grep -q "^catprep: $kept events\? written ($read records\? read)" sample.err \
    || failed "$file: expected $kept of $read kept: $(cat sample.err)"
  [ "$(wc -l < sample.cat)" = "$kept" ] || failed "$file: $(wc -l < sample.cat) lines"
  # Every line: 24-character tim, six blanks, no quotes needed.
  grep -vE '^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}Z(( -?[0-9]+(\.[0-9]+)?){4}) -?[0-9]+\.[0-9]{8} [^ ,/"*'\'']+$' \
    sample.cat > bad_lines && failed "$file: a malformed line: $(head -1 bad_lines)"
done <<'TABLE'
comcat_global_m6_sample.csv 36 52
comcat_global_m4_2011_oldtime_sample.csv 30 30
comcat_global_m5_nonquake_sample.csv 12 18
usgs_text_2018-06_m5.5.handmade.txt 7 7
iris_text_isc_2011-01-08.txt 4 4
geofon_text_2021-02-28.txt 3 3
emsc_text_2016-06-05.txt 1 1
usgs_fdsnws_2018-06_m5.5.xml 6 7
usgs_fdsnws_2014-01-01_m5.xml 2 2
usgs_product_usc000p11f_phasedata_trimmed.xml 1 1
usgs_product_ci15481673_phasedata_trimmed.xml 1 1
usgs_product_usc000nwtr_origin.xml 1 1
geofon_fdsnws_2021-05-02.xml 2 2
ingv_fdsnws_2022_m4.xml 31 31
isc_quakeml_2004-12-26_m6.xml 23 23
emsc_neries_2012-04-04_quakeml1.0.xml 0 3
handmade_quakeml_edge_cases.xml 11 16
TABLE
"$bin" -q "$data/formats/handmade_quakeml_edge_cases.xml" | cmp -s - "$data/formats/handmade_quakeml_edge_cases.expected.cat" \
  || failed "handmade_quakeml_edge_cases.xml does not give its expected catalog"
grep -q '^2014-04-02T16:13:27.380Z 7.9043 -82.3450 31.56 6.0 ' <("$bin" -q "$data/formats/usgs_product_usc000p11f_phasedata_trimmed.xml") \
  || failed "usc000p11f: not the preferred origin and Mww 6.0"
grep -q ' 26.4518 6.96 38345.04089213 7453151$' <("$bin" -q "$data/formats/isc_quakeml_2004-12-26_m6.xml") \
  || failed "ISC 2004 Sumatra: not the first magnitude (mb 6.96) with the depth in km"

# A catalog from a sample is one that twinquake reads whole.
"$bin" -q -o cat.txt "$data/formats/ingv_fdsnws_2022_m4.xml"
printf '100 365 0 4\ncat.txt pairs.out e1pairs.out\n31\n' | "$build/twinquake/twinquake" > tq.out 2> tq.err \
  || failed "twinquake on catprep's catalog: $(cat tq.err)"

# --plain gives ringpick's layout: the example export selects the example's pickout.
mkdir rp && "$bin" -q --plain -o rp/cat.txt "$src/examples/nejapan_m45_1964_2011.csv.gz"
(cd rp && printf 'cat.txt %s\n38.297 142.373 29.0 75.0\n' "$(wc -l < cat.txt)" | "$build/ringpick/ringpick") \
  && cmp -s rp/pickout "$src/examples/expected/ringpick/pickout" || failed "ringpick on catprep --plain"

# ---- one catalog from three formats ----------------------------------------------
for f in csv text quakeml; do python3 "$src/bench/gen_catprep_input.py" "$f" 3000 7 > gen.$f; done
"$bin" -q gen.csv > gen_csv.cat && "$bin" -q gen.text > gen_text.cat && "$bin" -q gen.quakeml > gen_quakeml.cat \
  || failed "catprep on the generated inputs"
[ -s gen_csv.cat ] && cmp -s gen_csv.cat gen_text.cat && cmp -s gen_csv.cat gen_quakeml.cat \
  || failed "the same events as CSV, FDSN text and QuakeML give different catalogs"
"$bin" -q --all-types "$data/formats/usgs_text_2018-06_m5.5.handmade.txt" > t.cat
"$bin" -q --all-types "$data/formats/usgs_fdsnws_2018-06_m5.5.xml" > x.cat
cmp -s t.cat x.cat || failed "USGS 2018-06 text and QuakeML give different catalogs"

# ---- standard input, gzip, options -----------------------------------------------
gzip -c gen.quakeml | "$bin" -q - > stdin.cat && cmp -s stdin.cat gen_csv.cat || failed "gzip QuakeML on standard input"
"$bin" -q < gen.text | cmp -s - gen_csv.cat || failed "no FILE: standard input"
"$bin" -q --plain gen.csv | cmp -s - <(cut -d' ' -f1-6 gen_csv.cat) || failed "--plain is not the first six values"
[ -z "$("$bin" -q gen.csv 2>&1 > /dev/null)" ] || failed "--quiet still writes to standard error"
[ "$("$bin" --version)" = "catprep (quaketools) 1.1.0" ] || failed "--version: $("$bin" --version)"
"$bin" --help | grep -q -- '--bbox' || failed "--help lists no --bbox"
"$bin" -q --min-mag 8 --bbox 170/-170/-90/90 gen.csv | awk '$5 < 8 || ($3 < 170 && $3 > -170)' | grep -q . \
  && failed "--min-mag/--bbox across the date line let an event through"

# ---- refused inputs ------------------------------------------------------------
printf '%s\n' 'time,latitude,longitude,depth,mag' > no_id.csv
printf '%s\n' '#EventID|Time|Latitude|Longitude' > no_depth.txt
printf '<q:quakeml xmlns:q="x"><eventParameters>\n<event></origin>' > bad.xml
printf 'hello\n' > unknown.dat
head -c 5000 "$data/raw/nejapan_m45_1964_2011.csv.gz" > cut.csv.gz
printf '\037\213\010\000\000\000\000\000\000\003garbage' > bad.gz
mkdir folder
# file, diagnostic (a grep pattern), extra options
while IFS='|' read -r file pattern opts; do
  echo "the old catalog" > old.cat
  # shellcheck disable=SC2086
  "$bin" $opts -o old.cat "$file" > out.txt 2> err.txt
  status=$?
  [ "$status" = 2 ] || failed "$file: status $status, expected 2"
  grep -q "^catprep: $pattern" err.txt || failed "$file: diagnostic \"$(cat err.txt)\", expected \"catprep: $pattern\""
  [ "$(wc -l < err.txt)" = 1 ] || failed "$file: more than one line on standard error"
  [ "$(cat old.cat)" = "the old catalog" ] || failed "$file: the old -o file was changed"
  ls old.cat.tmp.* > /dev/null 2>&1 && failed "$file: a temporary file was left"
done <<'TABLE'
missing.csv|missing.csv: cannot open: No such file or directory|
folder|folder: read refused: Is a directory|
no_id.csv|no_id.csv:1: CSV header without the column "id" ("time,latitude,longitude,depth,mag")|
no_depth.txt|no_depth.txt:1: text header without the column "Depth/km"|
bad.xml|bad.xml:2:10: malformed XML: mismatched tag|
unknown.dat|unknown.dat:1: unknown format|
unknown.dat|unknown.dat:1: text line before the #EventID|--format text
cut.csv.gz|cut.csv.gz: broken gzip stream: it ends before its end mark|
bad.gz|bad.gz: broken gzip stream: invalid block type|
gen.csv|gen.csv:[0-9]*: no magnitude ("")|--strict
gen.csv|--min-mag: not a number ("big")|--min-mag big
gen.csv|--bbox: four values WEST/EAST/SOUTH/NORTH expected|--bbox 1/2/3
gen.csv|--start: not a date or time|--start yesterday
gen.csv|The following argument was not expected: --frobnicate|--frobnicate
TABLE
# An -o naming an input is refused: the export stays.
cp gen.csv export.csv
"$bin" -q -o export.csv gen.text export.csv 2> same.err; status=$?
[ "$status" = 2 ] && cmp -s export.csv gen.csv && grep -q 'the output is also an input (export.csv)' same.err \
  || failed "-o naming an input: status $status, $(cat same.err)"
# A complete run replaces the old catalog.
echo "the old catalog" > old.cat
"$bin" -q -o old.cat gen.csv && cmp -s old.cat gen_csv.cat || failed "-o does not replace the old catalog"
# A refused write on standard output.
"$bin" -q gen.csv > /dev/full 2> full.err; status=$?
[ "$status" = 2 ] && grep -q '^catprep: write refused on standard output' full.err || failed "/dev/full: status $status"
set -o pipefail
"$bin" -q gen.quakeml gen.quakeml 2> pipe.err | head -c 10 > /dev/null; status=$?
set +o pipefail
[ "$status" = 2 ] && grep -q 'write refused' pipe.err || failed "a closed pipe: status $status, $(cat pipe.err)"

# On a terminal, a slow input shows a progress line on standard error, then
# the summary; standard error is a pseudo-terminal here.
python3 "$src/bench/gen_catprep_input.py" csv 20000 3 > slow.csv
python3 - "$bin" slow.csv <<'PY' || failed "no progress line on a terminal for an input of 2.5 s"
import os, subprocess, sys, time
binary, source = sys.argv[1], sys.argv[2]
master, slave = os.openpty()
p = subprocess.Popen([binary, "-o", "slow.cat", "-"], stdin=subprocess.PIPE, stderr=slave)
os.close(slave)
data = open(source, "rb").read()
pieces = 25
for i in range(pieces):  # the input trickles in over 2.5 s
    p.stdin.write(data[i * len(data) // pieces:(i + 1) * len(data) // pieces])
    p.stdin.flush()
    time.sleep(0.1)
p.stdin.close()
seen = b""
while True:
    try:
        chunk = os.read(master, 4096)
    except OSError:
        break
    if not chunk:
        break
    seen += chunk
status = p.wait()
sys.exit(0 if status == 0 and b"\rcatprep: standard input: " in seen and b" records, " in seen
         and b"events written" in seen else 1)
PY

# ---- the manual page -------------------------------------------------------------
warnings=$(groff -ww -z -mandoc "$src/man/catprep.1" 2>&1)
[ -z "$warnings" ] || failed "groff warns about catprep.1: $warnings"
MANPAGER=cat MANWIDTH=80 man -l "$src/man/catprep.1" 2> /dev/null | grep -q '^EXIT STATUS' || failed "catprep.1 has no EXIT STATUS"

[ "$fail" = 0 ] && echo "check_catprep: ok"
exit "$fail"
