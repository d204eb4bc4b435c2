#!/usr/bin/env bash
# One row of a whole-process comparison table: hyperfine times kaldorn's
# command and its peer's (page cache warm), keeps its JSON, and prints a
# Markdown row of mean wall times and, in brackets, mean CPU times (user +
# system, the steadier figure on a shared machine) with the peer's over
# kaldorn's as the ratio.
#
#   perf-row.sh LABEL JSON MIN_RUNS KALDORN_COMMAND PEER_COMMAND
set -euo pipefail
label=$1 json=$2 runs=$3
hyperfine -N --warmup 2 --min-runs "$runs" --export-json "$json" "$4" "$5" >/dev/null
jq -r --arg what "$label" 'def ms: . * 10000 | round / 10;
    .results as $r | [$r[] | .mean] as $wall | [$r[] | .user + .system] as $cpu
    | "| \($what) | \($wall[0] | ms) (\($cpu[0] | ms)) | \($wall[1] | ms) (\($cpu[1] | ms))"
      + " | \($wall[1] / $wall[0] * 100 | round / 100) (\($cpu[1] / $cpu[0] * 100 | round / 100)) |"' "$json"
