#!/usr/bin/env bash
# Whole-process timing of `kaldorn compns verify` beside `md5sum -c` over the
# same installations, 10,000 files of 4 KiB and 64 files of 4 MiB, with the
# page cache warm and hyperfine measuring (one thread each). Prints a
# Markdown table of mean wall times and, in brackets, mean CPU times (user +
# system, the steadier figure on a shared machine); hyperfine's JSON is kept
# beside the installations.
#
#   scripts/perf-verify.sh [TOOL] [DIR]   # defaults: build/bench/tools/kaldorn/kaldorn, a fresh temporary directory
set -euo pipefail
tool=$(realpath "${1:-build/bench/tools/kaldorn/kaldorn}")
work=${2:-$(mktemp -d)}
mkdir -p "$work"
scripts=$(realpath "$(dirname "$0")")
row=$scripts/perf-row.sh
cd "$work"

# count size: files of random bytes in DIR, their component list and md5sum's list.
make_installation() {
  local dir=$1 count=$2 size=$3
  [ -f "$dir.md5" ] && return
  "$scripts/perf-files.sh" "$dir" "$count" "$size"
  "$tool" compns build "$dir" "$dir.lst" >/dev/null
  md5sum "$dir"/* >"$dir.md5"
}
make_installation small 10000 4096
make_installation large 64 4194304

echo "| What | kaldorn compns verify, ms (CPU) | md5sum -c, ms (CPU) | Ratio (CPU) |"
echo "|---|---:|---:|---:|"
"$row" "10,000 x 4 KiB" small.json 20 "$tool compns verify small.lst small" "md5sum -c --quiet small.md5"
"$row" "64 x 4 MiB" large.json 20 "$tool compns verify large.lst large" "md5sum -c --quiet large.md5"
echo
echo "hyperfine's JSON: $work/small.json $work/large.json"
