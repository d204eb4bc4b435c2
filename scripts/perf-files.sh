#!/usr/bin/env bash
# COUNT files of SIZE random bytes in DIR, named c0.bin, c1.bin, ...: the
# sources and installations the whole-process comparisons time.
#
#   perf-files.sh DIR COUNT SIZE
set -euo pipefail
dir=$1 count=$2 size=$3
mkdir -p "$dir"
for ((i = 0; i < count; i++)); do printf '%s\n' "$dir/c$i.bin"; done |
  xargs -n 1000 sh -c 'for f; do head -c '"$size"' /dev/urandom > "$f"; done' sh
