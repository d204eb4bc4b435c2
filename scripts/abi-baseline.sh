#!/usr/bin/env bash
# Regenerates the pinned interface abi/kaldorn.abi from kaldorn.so of the
# default preset build (RelWithDebInfo, gcc): the exported functions and
# variables and the records they use. Run after a deliberate change of the
# exports and commit the result with that change.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
cmake --build "$build" --target kaldorn
scripts/abi-dump.sh "$build" > abi/kaldorn.abi.new
mv abi/kaldorn.abi.new abi/kaldorn.abi
echo "wrote abi/kaldorn.abi: $(grep -c '<elf-symbol name=' abi/kaldorn.abi) exported symbols"
