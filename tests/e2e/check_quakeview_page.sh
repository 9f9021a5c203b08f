#!/usr/bin/env bash
# quakeview's page in a real browser: headless Chromium opens the page made
# from the bundled examples; one drawn pair per pair, no console error; a
# click on a table row highlights that pair on the map and in the chart; the
# screenshot shows land and markers.
# Usage: bash check_quakeview_page.sh BUILD_DIR SOURCE_DIR
set -u
exec python3 "$2/tests/e2e/quakeview_page.py" "$1" "$2"
