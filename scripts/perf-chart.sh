#!/usr/bin/env bash
# Turns the benchmark program's JSON output into the comparison table of
# docs/performance.md (printed as Markdown) and its chart (an SVG drawn with
# gnuplot): each row sets one of kaldorn's figures beside its peer's, as the
# ratio of the peer's CPU time to kaldorn's for the same work (above 1:
# kaldorn is faster), with the target the row must reach.
#
#   build/bench/bench/kaldorn_bench --benchmark_repetitions=5 --benchmark_format=json > perf.json
#   scripts/perf-release.sh TOOL DIR     # DIR/small.json and DIR/large.json: whole processes
#   scripts/perf-chart.sh perf.json [docs/performance.svg [DIR]]
set -euo pipefail
json=$1
svg=${2:-docs/performance.svg}
release=${3:-}

# label | kaldorn's benchmark | the peer's benchmark | target ratio
rows='CRC-32 of 64 KiB vs zlib crc32|BM_Crc32_Kaldorn_64KiB|BM_Crc32_Zlib_64KiB|5
File CRC of 64 MiB vs read() alone|BM_Crc32_File_open_64MiB|BM_Read_64MiB|0.70
MD5 of 1 MiB vs OpenSSL|BM_Md5_Kaldorn_1MiB|BM_Md5_OpenSsl_1MiB|1
Verify 10,000 x 4 KiB vs OpenSSL one by one|BM_Verify_Kaldorn/files:10000/size:4096|BM_Verify_OpenSslOneByOne/files:10000/size:4096|2.5
Verify 64 x 4 MiB vs OpenSSL one by one|BM_Verify_Kaldorn/files:64/size:4194304|BM_Verify_OpenSslOneByOne/files:64/size:4194304|4
Release check 10,000 x 4 KiB vs OpenSSL SHA-256 one by one|BM_Release_CheckDirectory/files:10000/size:4096|BM_Release_OpenSslOneByOne/files:10000/size:4096|1
Release check 64 x 4 MiB vs OpenSSL SHA-256 one by one|BM_Release_CheckDirectory/files:64/size:4194304|BM_Release_OpenSslOneByOne/files:64/size:4194304|1'

# CPU time per iteration in milliseconds of the run named $1 (the program may
# append options such as min_warmup_time): the median when the run was
# repeated (--benchmark_repetitions), else the one run.
cpu_ms() {
  jq -r --arg name "$1" '[.benchmarks[] | select(.run_name == $name or (.run_name | startswith($name + "/")))
      | select(.run_type != "aggregate" or .aggregate_name == "median")]
    | (map(select(.aggregate_name == "median")) + .)[0]
    | if . == null then "" else .cpu_time * ({"ns": 1e-6, "us": 1e-3, "ms": 1, "s": 1e3}[.time_unit]) end' "$json"
}

data=$(mktemp)
trap 'rm -f "$data"' EXIT
echo "| What | kaldorn (ms) | Peer (ms) | Ratio | Target |"
echo "|---|---:|---:|---:|---:|"
while IFS='|' read -r label ours peer target; do
  a=$(cpu_ms "$ours") b=$(cpu_ms "$peer")
  if [ -z "$a" ] || [ -z "$b" ]; then
    echo "missing in $json: $ours or $peer" >&2
    continue
  fi
  ratio=$(awk -v a="$a" -v b="$b" 'BEGIN {printf "%.2f", b / a}')
  printf '| %s | %.4g | %.4g | %s | %s |\n' "$label" "$a" "$b" "$ratio" "$target"
  printf '"%s" %s %s\n' "$label" "$ratio" "$target" >>"$data"
done <<<"$rows"

# Whole processes from perf-release.sh's hyperfine runs: release verify beside
# minisign -V followed by sha256sum -c --strict, mean CPU (user + system).
for set in small large; do
  [ -n "$release" ] && [ -f "$release/$set.json" ] || continue
  label="release verify $([ $set = small ] && echo "10,000 x 4 KiB" || echo "64 x 4 MiB") vs minisign + sha256sum -c"
  target=$([ $set = small ] && echo 2 || echo 4)
  read -r a b < <(jq -r '[.results[] | (.user + .system) * 1000] | "\(.[0]) \(.[1])"' "$release/$set.json")
  ratio=$(awk -v a="$a" -v b="$b" 'BEGIN {printf "%.2f", b / a}')
  printf '| %s | %.4g | %.4g | %s | %s |\n' "$label" "$a" "$b" "$ratio" "$target"
  printf '"%s" %s %s\n' "$label" "$ratio" "$target" >>"$data"
done

machine=$(jq -r '"\(.context.num_cpus) x \(.context.mhz_per_cpu) MHz, \(.context.date)"' "$json")
gnuplot <<EOF
set terminal svg size 1200,480 dynamic font "sans,12" background "white"
set output "$svg"
set title "kaldorn beside its peers (ratio of CPU times; above 1: kaldorn faster)\n{/*0.8 $machine}"
set style fill solid 0.8 border -1
set boxwidth 0.6
set grid ytics
set xtics rotate by -20 scale 0 font ",10"
set logscale y 2
set yrange [0.25:*]
set key top right
plot "$data" using 0:2:xtic(1) with boxes lc rgb "#3b7dd8" title "measured", \
     "" using 0:3 with points pt 7 ps 1.2 lc rgb "#d83b3b" title "target", \
     "" using 0:2:2 with labels offset 0,0.8 notitle
EOF
echo
echo "chart: $svg"
