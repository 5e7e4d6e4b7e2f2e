#!/usr/bin/env bash
# Link extractor throughput on generated 10 MiB and 100 MiB pages, beside
# grep -oiE "["'][^"']*\.swf["']" on the same files in the same run.
# Figures are medians of several runs; MB = 10^6 bytes. Argument: the build folder.
set -euo pipefail
build=${1:-build}
bin=$build/bench/detect
data=$build/bench-data/detect
mkdir -p "$data"
# The link list goes where the program keeps it: the runtime folder, a RAM file system on a
# desktop. Without one here, /dev/shm stands in for it.
listdir=${XDG_RUNTIME_DIR:-}
[ -n "$listdir" ] || { [ -d /dev/shm ] && listdir=/dev/shm; } || listdir=$data
list=$listdir/tavimo-bench-swf.$$.txt
trap 'rm -f "$list"' EXIT
reps=${BENCH_REPETITIONS:-5}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Median milliseconds of one benchmark: real and CPU time.
bench_ms() {  # page, benchmark name
  "$bin/bench_detect" --page="$1" --list="$list" --benchmark_filter="^$2/" \
    --benchmark_repetitions="$reps" --benchmark_report_aggregates_only=true \
    --benchmark_format=csv 2>/dev/null | awk -F, '/_median"/ { print $3, $4 }'
}

grep_ms() {  # page
  for _ in $(seq "$reps"); do
    local t0 t1
    t0=$(date +%s%N)
    LC_ALL=C grep -oiE "[\"'][^\"']*\.swf[\"']" "$1" | wc -l >/dev/null
    t1=$(date +%s%N)
    echo $(((t1 - t0) / 1000))
  done | median | awk '{ print $1 / 1000 }'
}

mbps() { awk -v b="$1" -v ms="$2" 'BEGIN { printf "%8.0f MB/s", b / 1e6 / (ms / 1e3) }'; }

echo "link extractor, medians of $reps runs, link list in $listdir, load: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-8s %-27s %-27s %-27s %-17s %s\n' page "ExtractSwfLinks (real)" "whole pass (real)" \
  "grep -oiE (real)" "ExtractSwfLinks" "links / grep hits"
declare -A swf_ms
for mib in 10 100; do
  page=$data/page$mib.html
  [ -s "$page" ] || "$bin/detect_pagegen" "$page" $((mib * 1024 * 1024))
  bytes=$(stat -c %s "$page")
  read -r swf_real swf_cpu < <(bench_ms "$page" BM_ExtractSwfLinks)
  read -r pass_real _ < <(bench_ms "$page" BM_WholePass)
  g=$(grep_ms "$page")
  swf_ms[$mib]=$swf_real
  hits=$(LC_ALL=C grep -oiE "[\"'][^\"']*\.swf[\"']" "$page" | wc -l)
  links=$(awk 'END { print NR }' "$list")
  printf '%-8s %s %7.1f ms   %s %7.1f ms   %s %7.1f ms   cpu %s   %s / %s\n' "$mib MiB" \
    "$(mbps "$bytes" "$swf_real")" "$swf_real" "$(mbps "$bytes" "$pass_real")" "$pass_real" \
    "$(mbps "$bytes" "$g")" "$g" "$(mbps "$bytes" "$swf_cpu")" "$links" "$hits"
done
awk -v a="${swf_ms[100]}" -v b="${swf_ms[10]}" \
  'BEGIN { printf "ExtractSwfLinks time(100 MiB) / time(10 MiB) = %.1f (target <= 11)\n", a / b }'
