#!/bin/sh
# Builds the fuzz preset and runs every fuzz target for SECONDS_PER_TARGET
# (default 60) on the generated seed corpus, two at a time at most
# (FUZZ_JOBS=1 for one). New corpus entries go to build/fuzz/work/<target>,
# crashes to build/fuzz/crashes/, logs to build/fuzz/logs/.
set -eu
seconds=${1:-60}
jobs=${FUZZ_JOBS:-2}
cd "$(dirname "$0")/.."
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
out=build/fuzz
mkdir -p "$out/crashes" "$out/logs"

run() {  # target max_len
    mkdir -p "$out/work/$1"
    echo "fuzzing $1 for ${seconds}s (max_len $2)"
    "$out/tests/fuzz/$1" "$out/work/$1" "$out/tests/fuzz/corpus/$1" -max_len="$2" -timeout=5 \
        -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$out/crashes/$1-" \
        >"$out/logs/$1.log" 2>&1 || echo "$1: FINDING, see $out/logs/$1.log"
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' "$out/logs/$1.log" | sed "s/^/$1 /" || true
}

set -- fuzz_version_index:4096 fuzz_definition_index:8192 fuzz_component_list:8192 \
       fuzz_planning:8192 fuzz_solo_compare:8192 fuzz_checksums:4096
while [ $# -gt 0 ]; do
    n=0
    while [ $# -gt 0 ] && [ $n -lt "$jobs" ]; do
        run "${1%%:*}" "${1##*:}" &
        shift
        n=$((n + 1))
    done
    wait
done
ls "$out/crashes"
