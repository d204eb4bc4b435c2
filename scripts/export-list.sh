#!/usr/bin/env bash
# Regenerates tests/expected_exports.txt from a build's kaldorn.so, keeping
# the heading and the "?" lines (exports that only some compilers emit).
# Review the diff: only names hosts are meant to see may appear.
set -euo pipefail
cd "$(dirname "$0")/.."
so=${1:-build/default/src/kaldorn.so}
list=tests/expected_exports.txt
{
  grep -E '^(#|\?)' "$list"
  nm -DC --defined-only "$so" | cut -d' ' -f3- | grep -vE '^(__|_init$|_fini$)' | sort -u
} > "$list.new"
mv "$list.new" "$list"
