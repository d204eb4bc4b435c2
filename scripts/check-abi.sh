#!/usr/bin/env bash
# Compares BUILD_DIR's kaldorn.so with the pinned interface abi/kaldorn.abi:
# fails when an exported function or variable is removed or changes, or a
# record it uses changes; added exports pass. Builds the baseline does not
# describe (see abi-dump.sh) skip with exit status 77.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: check-abi.sh BUILD_DIR}
baseline=$root/abi/kaldorn.abi
[ -s "$baseline" ] || { echo "no baseline $baseline: run scripts/abi-baseline.sh"; exit 1; }
current=$(mktemp)
trap 'rm -f "$current"' EXIT
"$root/scripts/abi-dump.sh" "$build" > "$current" || exit $?
"$root/scripts/abi-compare.sh" "$baseline" "$current"
echo "kaldorn.so keeps every function, variable and record of abi/kaldorn.abi"
