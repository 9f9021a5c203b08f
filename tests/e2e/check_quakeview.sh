#!/usr/bin/env bash
# quakeview end to end: the CSV and GeoJSON of the bundled examples as
# checked in, the rules of RFC 7946 and RFC 4180 on them and on small
# fixtures (one crossing the antimeridian), and failures that end with status
# 2 and leave the named output as it was.
# Usage: bash check_quakeview.sh BUILD_DIR SOURCE_DIR
set -u
exec python3 "$2/tests/e2e/quakeview_check.py" "$1" "$2"
