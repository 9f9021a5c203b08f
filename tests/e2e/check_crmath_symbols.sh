#!/usr/bin/env bash
# Proves from the symbol tables that the programs carry the correctly rounded
# float math and nothing else of LLVM's libc:
#   - sinf, cosf, sincosf, acosf and powf are defined in the text of
#     twinquake and ringpick, and no program imports any of them from a
#     shared library (the platform libm); epochnum computes no distance, so
#     it need not carry them;
#   - no other symbol that LLVM's libc archive defines (printf, memcpy,
#     strlen, malloc, ... some 600 names) is defined in the program, so every
#     other libc function still comes from the system's C library.
# Usage: bash check_crmath_symbols.sh BUILD_DIR SOURCE_DIR
set -u
build=$1
archive=/usr/lib/llvm-19/lib/libllvmlibc.a
math="sinf cosf sincosf acosf powf"

if grep -q '^QUAKE_PLATFORM_LIBM:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null; then
  echo "check_crmath_symbols: this build uses the platform libm (QUAKE_PLATFORM_LIBM=ON)"
  exit 1
fi
[ -f "$archive" ] || { echo "check_crmath_symbols: $archive missing (apt-get install -y libllvmlibc-19-dev)"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Every global name LLVM's libc defines, less its own namespaced internals
# and the five functions taken on purpose.
nm -g --defined-only "$archive" 2>/dev/null | awk 'NF == 3 { print $3 }' \
  | grep -v '__llvm_libc' | grep -vxF -e sinf -e cosf -e sincosf -e acosf -e powf | sort -u > "$work/llvm"
if [ "$(wc -l < "$work/llvm")" -lt 100 ]; then
  echo "check_crmath_symbols: could not read the symbols of $archive"; exit 1
fi

fail=0
checked=0
for prog in twinquake ringpick epochnum; do
  bin=$build/$prog/$prog
  if [ ! -x "$bin" ]; then
    echo "$prog: $bin not built"; fail=1; continue
  fi
  checked=$((checked + 1))
  # The functions are hidden in the object, so nm lists them as local text (t).
  nm --defined-only "$bin" | awk 'NF == 3 { print $2, $3 }' > "$work/defined"
  nm -D --undefined-only "$bin" | awk '{ print $NF }' | sed 's/@.*//' > "$work/imported"
  for fn in $math; do
    if [ "$prog" != epochnum ] && ! grep -qE "^[tT] $fn\$" "$work/defined"; then
      echo "$prog: $fn is not defined in the program's text"; fail=1
    fi
    if grep -qxF "$fn" "$work/imported"; then
      echo "$prog: $fn is imported from a shared library (the platform libm)"; fail=1
    fi
  done
  awk '{ print $2 }' "$work/defined" | sort -u | comm -12 - "$work/llvm" > "$work/leaked"
  if [ -s "$work/leaked" ]; then
    echo "$prog: defines names that LLVM's libc also defines: $(head -20 "$work/leaked" | tr '\n' ' ')"
    fail=1
  fi
done

if [ "$fail" -ne 0 ]; then
  echo "check_crmath_symbols: FAILED"; exit 1
fi
echo "check_crmath_symbols: $checked programs carry only sinf, cosf, sincosf, acosf, powf of LLVM's libc"
