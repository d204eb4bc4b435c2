#!/usr/bin/env bash
# Compares two abidw descriptions of kaldorn.so, OLD (the pinned baseline)
# and NEW: status 0 when NEW keeps every function, variable and record of
# OLD (additions pass), 1 with abidiff's report otherwise.
set -euo pipefail
old=${1:?usage: abi-compare.sh OLD NEW} new=${2:?usage: abi-compare.sh OLD NEW}
status=0
report=$(abidiff --no-added-syms "$old" "$new") || status=$?
if [ "$status" -ne 0 ]; then
  echo "$report"
  echo "the interface differs from $(basename "$old") (abidiff status $status)."
  echo "If the change is deliberate, regenerate the baseline with scripts/abi-baseline.sh."
  exit 1
fi
