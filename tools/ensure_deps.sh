#!/usr/bin/env bash
# Makes sure the Debian packages the build and the tests need are installed:
# installs them when running as root, otherwise prints the line to run.
set -eu
need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
for pkg in g++ cmake make libgtest-dev libbenchmark-dev libllvmlibc-19-dev clang libclang-rt-14-dev \
           groff-base man-db python3 util-linux libcli11-dev zlib1g-dev libexpat1-dev python3-pandas; do
  have "$pkg" || need+=("$pkg")
done
[ ${#need[@]} -eq 0 ] && exit 0
if [ "$(id -u)" = 0 ]; then
  echo "installing: ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${need[@]}" >/dev/null
else
  echo "missing Debian packages; run:" >&2
  echo "  sudo apt-get update && sudo apt-get install -y ${need[*]}" >&2
  exit 1
fi
