#!/usr/bin/env bash
# Regenerates the pinned interfaces abi/kaldorn.abi and abi/kaldorn-trust.abi
# from kaldorn.so and libkaldorn-trust.so of the default preset build
# (RelWithDebInfo, gcc): the exported functions and variables and the records
# they use. Run after a deliberate change of the
# exports and commit the result with that change.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
cmake --build "$build" --target kaldorn kaldorn_trust
for pair in kaldorn.so:kaldorn.abi libkaldorn-trust.so:kaldorn-trust.abi; do
  library=${pair%%:*} abi=abi/${pair#*:}
  scripts/abi-dump.sh "$build" "$library" > "$abi.new"
  mv "$abi.new" "$abi"
  echo "wrote $abi: $(grep -c '<elf-symbol name=' "$abi") exported symbols"
done
