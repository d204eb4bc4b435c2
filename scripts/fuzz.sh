#!/bin/sh
# Builds the fuzz preset and runs fuzz targets on the generated seed corpus,
# each until it has used CPU_SECONDS of processor time (default 60), two at a
# time at most (FUZZ_JOBS=1 for one). Names after the budget pick targets
# (default: all). The budget is processor time, not wall time, so a campaign
# run at low priority beside other work still gets its full share:
#
#   nice -n 19 scripts/fuzz.sh 1800          # 30 CPU-minutes per target
#
# New corpus entries go to build/fuzz/work/<target>, crashes to
# build/fuzz/crashes/, logs to build/fuzz/logs/; one summary line per target
# (CPU seconds, executions, executions per CPU second) to build/fuzz/summary.
set -eu
seconds=${1:-60}
[ $# -gt 0 ] && shift
jobs=${FUZZ_JOBS:-2}
cd "$(dirname "$0")/.."
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
out=build/fuzz
mkdir -p "$out/crashes" "$out/logs"

max_len() {
    case $1 in fuzz_version_index|fuzz_checksums) echo 4096 ;; *) echo 8192 ;; esac
}

cpu_seconds() {  # user + system time of a running process, whole seconds
    awk -v hz="$(getconf CLK_TCK)" '{ print int(($14 + $15) / hz) }' "/proc/$1/stat" 2>/dev/null || echo 0
}

run() {
    mkdir -p "$out/work/$1"
    log=$out/logs/$1.log
    echo "fuzzing $1 for ${seconds} CPU seconds"
    "$out/tests/fuzz/$1" "$out/work/$1" "$out/tests/fuzz/corpus/$1" -max_len="$(max_len "$1")" -timeout=5 \
        -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$out/crashes/$1-" >"$log" 2>&1 &
    pid=$!
    used=0
    while kill -0 "$pid" 2>/dev/null; do
        used=$(cpu_seconds "$pid")
        if [ "$used" -ge "$seconds" ]; then kill -INT "$pid"; break; fi
        sleep 5
    done
    status=0
    wait "$pid" || status=$?
    # libFuzzer exits 0 when interrupted after its budget (it prints the final
    # statistics first); anything else left an artifact.
    if [ "$status" -ne 0 ] && ! grep -q 'run interrupted' "$log"; then
        echo "$1: FINDING (exit $status), see $log"
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "$1 cpu_seconds=$used executions=${runs:-?} per_cpu_second=$(( ${runs:-0} / (used > 0 ? used : 1) ))" |
        tee -a "$out/summary"
}

[ $# -gt 0 ] || set -- fuzz_version_index fuzz_definition_index fuzz_component_list fuzz_planning \
    fuzz_solo_compare fuzz_checksums fuzz_definition_writers
while [ $# -gt 0 ]; do
    n=0
    while [ $# -gt 0 ] && [ $n -lt "$jobs" ]; do
        run "$1" &
        shift
        n=$((n + 1))
    done
    wait
done
ls "$out/crashes"
