#!/usr/bin/env bash
# Writes the abidw description of BUILD_DIR's kaldorn.so (or of LIBRARY, a
# file name under BUILD_DIR/src such as libkaldorn-trust.so) to stdout,
# limited to the types of the public headers and free of build paths, so that
# two builds of the same interface from different directories give the same
# text.
# Only the default preset build (RelWithDebInfo, gcc, no sanitizers) is
# described; any other build exits with status 77 and says why.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: abi-dump.sh BUILD_DIR [LIBRARY]}
library=${2:-kaldorn.so}
cache=$build/CMakeCache.txt
refuse() { echo "ABI description skipped for $build: $*" >&2; exit 77; }
grep -qx 'CMAKE_BUILD_TYPE:STRING=RelWithDebInfo' "$cache" || refuse "not a RelWithDebInfo build"
grep -qx 'KALDORN_SANITIZE:BOOL=ON' "$cache" && refuse "sanitizer build"
grep -qs 'set(CMAKE_CXX_COMPILER_ID "GNU")' "$build"/CMakeFiles/*/CMakeCXXCompiler.cmake ||
  refuse "not built with gcc"
command -v abidw >/dev/null || refuse "abidw not installed (scripts/setup.sh installs abigail-tools)"
abidw --headers-dir "$root/include" --no-show-locs --no-corpus-path --no-comp-dir-path \
      --type-id-style hash "$build/src/$library"
