#!/usr/bin/env bash
# Link extractor throughput on generated 10 MiB and 100 MiB pages, beside
# grep -oiE "["'][^"']*\.swf["']" on the same files in the same run.
# Figures are the best and the median of several runs (the machine is shared, so the best
# shows the code and the median the moment); MB = 10^6 bytes. Argument: the build folder.
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

# Milliseconds of one benchmark over the repetitions: best real, median real, median CPU.
bench_ms() {  # page, benchmark name
  "$bin/bench_detect" --page="$1" --list="$list" --benchmark_filter="^$2/" \
    --benchmark_repetitions="$reps" --benchmark_format=csv 2>/dev/null |
    awk -F, '$1 ~ /real_time"$/ { print $3, $4 }' >"$data/times"
  echo "$(cut -d' ' -f1 "$data/times" | sort -g | head -n1)" \
       "$(cut -d' ' -f1 "$data/times" | median)" "$(cut -d' ' -f2 "$data/times" | median)"
}

# Milliseconds of grep over the repetitions: best and median.
grep_ms() {  # page
  for _ in $(seq "$reps"); do
    local t0 t1
    t0=$(date +%s%N)
    LC_ALL=C grep -oiE "[\"'][^\"']*\.swf[\"']" "$1" | wc -l >/dev/null
    t1=$(date +%s%N)
    echo "$(((t1 - t0) / 1000))"
  done | awk '{ print $1 / 1000 }' >"$data/times"
  echo "$(sort -g "$data/times" | head -n1)" "$(median <"$data/times")"
}

mbps() { awk -v b="$1" -v ms="$2" 'BEGIN { printf "%5.0f MB/s", b / 1e6 / (ms / 1e3) }'; }

echo "link extractor: best (median) of $reps runs; link list in $listdir; load $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-8s %-32s %-32s %-32s %s\n' page "ExtractSwfLinks" "whole pass" "grep -oiE (LC_ALL=C)" "links / grep hits"
declare -A best median cpu
for mib in 10 100; do
  page=$data/page$mib.html
  [ -s "$page" ] || "$bin/detect_pagegen" "$page" $((mib * 1024 * 1024))
  bytes=$(stat -c %s "$page")
  read -r best[$mib] median[$mib] cpu[$mib] < <(bench_ms "$page" BM_ExtractSwfLinks)
  read -r pass_best pass_median _ < <(bench_ms "$page" BM_WholePass)
  read -r grep_best grep_median < <(grep_ms "$page")
  hits=$(LC_ALL=C grep -oiE "[\"'][^\"']*\.swf[\"']" "$page" | wc -l)
  links=$(awk 'END { print NR }' "$list")
  cell() { printf '%s (%s) %6.1f ms' "$(mbps "$bytes" "$1")" "$(mbps "$bytes" "$2" | tr -s ' ' | sed 's/^ //')" "$1"; }
  printf '%-8s %-32s %-32s %-32s %s / %s\n' "$mib MiB" "$(cell "${best[$mib]}" "${median[$mib]}")" \
    "$(cell "$pass_best" "$pass_median")" "$(cell "$grep_best" "$grep_median")" "$links" "$hits"
done
awk -v b100="${best[100]}" -v b10="${best[10]}" -v m100="${median[100]}" -v m10="${median[10]}" \
    -v c100="${cpu[100]}" -v c10="${cpu[10]}" 'BEGIN {
  printf "ExtractSwfLinks time(100 MiB) / time(10 MiB): best %.1f, median %.1f, CPU %.1f (target <= 11)\n",
    b100 / b10, m100 / m10, c100 / c10 }'
