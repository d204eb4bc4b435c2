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
cd "$work"
[ -f key.pub ] || "$tool" release keygen -W --public key.pub --secret key.sec >/dev/null

# count size: a source of files of random bytes, signed.
make_source() {
  local dir=$1 count=$2 size=$3
  [ -f "$dir/SHA256SUMS.minisig" ] && return
  mkdir -p "$dir"
  for ((i = 0; i < count; i++)); do printf '%s\n' "$dir/c$i.bin"; done |
    xargs -n 1000 sh -c 'for f; do head -c '"$size"' /dev/urandom > "$f"; done' sh
  "$tool" release sign "$dir" --key key.sec --source-id perf --serial 1 --expires 1d >/dev/null
}
make_source small 10000 4096
make_source large 64 4194304

echo "| What | kaldorn release verify, ms (CPU) | minisign -V + sha256sum -c --strict, ms (CPU) | Ratio (CPU) |"
echo "|---|---:|---:|---:|"
for set in small large; do
  hyperfine -N --warmup 2 --min-runs 10 --export-json "$set.json" \
    "$tool release verify $set --trust key.pub --source-id perf --quiet" \
    "sh -c 'cd $set && minisign -Vq -p ../key.pub -m SHA256SUMS && sha256sum -c --strict --quiet SHA256SUMS'" \
    >/dev/null
  jq -r --arg set "$set" 'def ms: . * 10000 | round / 10;
      .results as $r | [$r[] | .mean] as $wall | [$r[] | .user + .system] as $cpu
      | "| \(if $set == "small" then "10,000 x 4 KiB" else "64 x 4 MiB" end)"
        + " | \($wall[0] | ms) (\($cpu[0] | ms)) | \($wall[1] | ms) (\($cpu[1] | ms))"
        + " | \($wall[1] / $wall[0] * 100 | round / 100) (\($cpu[1] / $cpu[0] * 100 | round / 100)) |"' "$set.json"
done
echo
echo "hyperfine's JSON: $work/small.json $work/large.json"
