#!/usr/bin/env bash
# Builds the fuzz preset and runs fuzz targets on the generated seed corpus,
# each until it has used CPU_SECONDS of processor time (default 60), at most
# FUZZ_JOBS (default 2) at once. Names after the budget pick targets (default:
# all). The budget is processor time, not wall time, so a campaign run at low
# priority beside other work still gets its full share:
#
#   nice -n 19 scripts/fuzz.sh 1800          # 30 CPU-minutes per target
#
# A single input may take up to FUZZ_TIMEOUT wall seconds (default 60: a
# low-priority run on a busy machine can wait seconds for the processor; a
# real hang still shows). New corpus entries go to build/fuzz/work/<target>,
# crashes to build/fuzz/crashes/, logs to build/fuzz/logs/; one summary line
# per target (CPU seconds, executions, executions per CPU second) to
# build/fuzz/summary. Exits 1 when a target found something.
#
# Each input's files go to a directory under TMPDIR, by default /dev/shm
# where it is writable: the definition writers flush every file and its
# directory, and on a disk those flushes, not the code, would set the pace.
set -euo pipefail
seconds=${1:-60}
[ $# -gt 0 ] && shift
jobs=${FUZZ_JOBS:-2}
timeout=${FUZZ_TIMEOUT:-60}
cd "$(dirname "$0")/.."
if [ -z "${TMPDIR:-}" ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
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
    local target=$1 log=$out/logs/$1.log used=0 status=0
    mkdir -p "$out/work/$target"
    echo "fuzzing $target for $seconds CPU seconds"
    "$out/tests/fuzz/$target" "$out/work/$target" "$out/tests/fuzz/corpus/$target" -max_len="$(max_len "$target")" \
        -timeout="$timeout" -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$out/crashes/$target-" \
        >"$log" 2>&1 &
    local pid=$!
    while kill -0 "$pid" 2>/dev/null; do
        used=$(cpu_seconds "$pid")
        if [ "$used" -ge "$seconds" ]; then kill -INT "$pid"; break; fi
        sleep 5
    done
    wait "$pid" || status=$?
    # Interrupted after its budget, libFuzzer prints its statistics and exits
    # 0 (or 72 on some versions); anything else left an artifact.
    local runs
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "$target cpu_seconds=$used executions=${runs:-?} per_cpu_second=$(( ${runs:-0} / (used > 0 ? used : 1) ))" |
        tee -a "$out/summary"
    if [ "$status" -ne 0 ] && ! grep -q 'run interrupted' "$log"; then
        echo "$target: FINDING (exit $status), see $log"
        return 1
    fi
}

[ $# -gt 0 ] || set -- fuzz_version_index fuzz_definition_index fuzz_component_list fuzz_planning \
    fuzz_solo_compare fuzz_checksums fuzz_definition_writers fuzz_release_sums fuzz_release_signature fuzz_release_state
found=0
for target in "$@"; do
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || found=1; done
    run "$target" &
done
while [ "$(jobs -rp | wc -l)" -gt 0 ]; do wait -n || found=1; done
ls "$out/crashes"
exit "$found"
