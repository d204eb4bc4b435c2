#!/usr/bin/env bash
# Whole-process timing of `kaldorn release verify` beside what a user would
# run otherwise, `minisign -V` followed by `sha256sum -c --strict`, over the
# same signed sources: 10,000 files of 4 KiB and 64 files of 4 MiB, page
# cache warm, hyperfine measuring. Prints a Markdown table of mean wall times
# and, in brackets, mean CPU times (user + system); hyperfine's JSON is kept
# beside the sources.
#
#   scripts/perf-release.sh [TOOL] [DIR]   # defaults: build/bench/tools/kaldorn/kaldorn, a fresh temporary directory
set -euo pipefail
tool=$(realpath "${1:-build/bench/tools/kaldorn/kaldorn}")
work=${2:-$(mktemp -d)}
mkdir -p "$work"
scripts=$(realpath "$(dirname "$0")")
row=$scripts/perf-row.sh
cd "$work"
[ -f key.pub ] || "$tool" release keygen -W --public key.pub --secret key.sec >/dev/null

# count size: a source of files of random bytes, signed.
make_source() {
  local dir=$1 count=$2 size=$3
  [ -f "$dir/SHA256SUMS.minisig" ] && return
  "$scripts/perf-files.sh" "$dir" "$count" "$size"
  "$tool" release sign "$dir" --key key.sec --source-id perf --serial 1 --expires 30d >/dev/null
}
make_source small 10000 4096
make_source large 64 4194304

echo "| What | kaldorn release verify, ms (CPU) | minisign -V + sha256sum -c --strict, ms (CPU) | Ratio (CPU) |"
echo "|---|---:|---:|---:|"
peer() { echo "sh -c 'cd $1 && minisign -Vq -p ../key.pub -m SHA256SUMS && sha256sum -c --strict --quiet SHA256SUMS'"; }
for set in small large; do
  "$row" "$([ $set = small ] && echo "10,000 x 4 KiB" || echo "64 x 4 MiB")" $set.json 10 \
    "$tool release verify $set --trust key.pub --source-id perf --quiet" "$(peer $set)"
done
echo
echo "hyperfine's JSON: $work/small.json $work/large.json"
