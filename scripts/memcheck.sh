#!/usr/bin/env bash
# Runs the default build's test suite under valgrind memcheck and fails on
# any error: an invalid read or write, a use of uninitialised memory, a bad
# free, a definite leak (possible and reachable ones are not faults here).
#
# The tests come from CTest itself (ctest --show-only=json-v1). A GoogleTest
# program runs once, whole, rather than once per case; every other test runs
# its own command in its own directory, with valgrind following into the
# programs it starts but not into system tools (/usr, /bin). Valgrind's
# reports go to build/default/memcheck/<test>.<pid>.log, so output that a
# test matches against a pattern stays as it was; such a test is judged by
# valgrind alone (the plain suite checks its output), any other also by its
# exit status. Skipped, as they run none of our code in a process of their
# own worth checking: labels abi (readelf, nm, abidiff), docs (doxygen, the
# README walk-through, which compiles and runs hosts that the interface and
# tool tests already cover), install (cmake builds of the example hosts),
# and fuzz_checksum_bypass_refused (a cmake configure). A test whose command
# is a system tool (the locale the ISO-8859-1 runs need, made by localedef)
# runs without valgrind and is judged by its exit status.
#
#   scripts/memcheck.sh [REGEX]   # only the runs whose name matches; MEMCHECK_JOBS
#                                 # programs at once (default 2)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${MEMCHECK_JOBS:-2}
only=${1:-.}
cmake --preset default >/dev/null
cmake --build --preset default
build=$root/build/default
out=$build/memcheck
rm -rf "$out"
mkdir -p "$out"

valgrind=(valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite
          --show-leak-kinds=definite --num-callers=30 --suppressions="$root/scripts/memcheck.supp"
          --trace-children=yes --trace-children-skip='/usr/*,/bin/*,/sbin/*')

# One JSON line per run: name, command, directory, whether output is matched
# (exit status then not judged) and whether it sets up a fixture (run first).
runs=$(cd "$build" && ctest --show-only=json-v1 | jq -c --arg only "$only" '
  def prop(n): [.properties[]? | select(.name == n) | .value];
  [.tests[]
   | select((prop("LABELS") | flatten | any(. == "abi" or . == "docs" or . == "install")) | not)
   | select(.name != "fuzz_checksum_bypass_refused")
   | {name, cmd: .command, dir: prop("WORKING_DIRECTORY")[0], matched: (prop("PASS_REGULAR_EXPRESSION") != []),
      setup: (prop("FIXTURES_SETUP") != []), gtest: ((.command[1] // "") | startswith("--gtest_filter="))}]
  | (map(select(.gtest)) | unique_by(.cmd[0])
     | map(.name = (.cmd[0] | split("/") | last) | .cmd = [.cmd[0]] | .matched = false))
    + map(select(.gtest | not))
  | map(select(.name | test($only))) | sort_by(.setup | not) | .[]')
[ -n "$runs" ] || { echo "memcheck: CTest lists no tests"; exit 1; }

run() {  # one JSON line: runs it and writes a verdict file
    local line=$1 name dir matched status=0 start=$SECONDS cmd
    name=$(jq -r .name <<<"$line")
    dir=$(jq -r .dir <<<"$line")
    matched=$(jq -r .matched <<<"$line")
    mapfile -d '' cmd < <(jq -j '.cmd[] | ., "\u0000"' <<<"$line")
    local checker=("${valgrind[@]}" --log-file="$out/$name.%p.log")
    [[ ${cmd[0]} =~ ^/(usr|bin|sbin)/ ]] && checker=()
    (cd "$dir" && "${checker[@]}" "${cmd[@]}") >"$out/$name.out" 2>&1 || status=$?
    local reports
    reports=$(grep -lE 'ERROR SUMMARY: [1-9]' "$out/$name".*.log 2>/dev/null || true)
    if [ -n "$reports" ]; then
        echo "FAIL  $name: valgrind reports errors ($(( SECONDS - start )) s)" >"$out/$name.verdict"
        for r in $reports; do grep -vE '^==[0-9]+== *$' "$r" | sed -n '/Command:/,$p' | head -80; done >>"$out/$name.verdict"
    elif [ "$matched" = false ] && [ "$status" -ne 0 ]; then
        { echo "FAIL  $name: exit status $status ($(( SECONDS - start )) s)"; tail -30 "$out/$name.out"; } >"$out/$name.verdict"
    else
        echo "PASS  $name ($(( SECONDS - start )) s)" >"$out/$name.verdict"
    fi
    head -1 "$out/$name.verdict"
}

echo "== valgrind memcheck, $jobs at a time; logs in $out"
while read -r line; do
    if [ "$(jq -r .setup <<<"$line")" = true ]; then
        run "$line" </dev/null
        continue
    fi
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
    run "$line" </dev/null &
done <<<"$runs"
wait

passed=$(cat "$out"/*.verdict | grep -c '^PASS' || true)
failed=$(cat "$out"/*.verdict | grep -c '^FAIL' || true)
if [ "$failed" -gt 0 ]; then
    echo
    for v in "$out"/*.verdict; do grep -q '^FAIL' "$v" && cat "$v"; done
fi
echo "memcheck: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
