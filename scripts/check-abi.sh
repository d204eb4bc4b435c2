#!/usr/bin/env bash
# Compares BUILD_DIR's kaldorn.so with the pinned interface abi/kaldorn.abi,
# and its libkaldorn-trust.so (when built) with abi/kaldorn-trust.abi: fails
# when an exported function or variable is removed or changes, or a record it
# uses changes; added exports pass. Builds the baselines do not describe (see
# abi-dump.sh) skip with exit status 77.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: check-abi.sh BUILD_DIR}
current=$(mktemp)
trap 'rm -f "$current"' EXIT
for pair in kaldorn.so:kaldorn.abi libkaldorn-trust.so:kaldorn-trust.abi; do
  library=${pair%%:*} baseline=$root/abi/${pair#*:}
  [ "$library" = kaldorn.so ] || [ -e "$build/src/$library" ] || continue
  [ -s "$baseline" ] || { echo "no baseline $baseline: run scripts/abi-baseline.sh"; exit 1; }
  "$root/scripts/abi-dump.sh" "$build" "$library" > "$current" || exit $?
  "$root/scripts/abi-compare.sh" "$baseline" "$current"
  echo "$library keeps every function, variable and record of abi/$(basename "$baseline")"
done
