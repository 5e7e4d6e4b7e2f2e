#!/usr/bin/env bash
# Time from process start to the main window shown, and the resident memory of the idle
# window, for Tavimo beside a minimal Qt window program, both measured in this run under one
# private X server. Targets: at most 1.5 times the minimal program's time, at most 60 MB.
#   bench/app/run.sh <build dir> [runs]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
runs=${2:-7}
here=$(cd "$(dirname "$0")" && pwd)
probe=$build/bench/app/bench_app_start_to_shown
minimal=$build/bench/app/bench_app_minimal_window
tavimo=$build/tavimo
for f in "$probe" "$minimal" "$tavimo"; do
  [ -x "$f" ] || { echo "missing $f (build first)"; exit 1; }
done

home=$(mktemp -d /tmp/tavimo-bench.XXXXXX)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/runtime" && chmod 700 "$home/runtime"

# One run of a program: prints "<ms> <rss_kb>".
measure() {
  HOME=$home XDG_CONFIG_HOME=$home/config XDG_CACHE_HOME=$home/cache \
    XDG_RUNTIME_DIR=$home/runtime "$probe" "$@"
}
export -f measure
export probe home

# The two programs take turns, so a change in the machine's load hits both alike.
"$here/../../tests/with-xvfb.sh" bash -c "
  for _ in \$(seq $runs); do
    measure 'Minimal Qt window' 1500 '$minimal' >> '$home/minimal.txt'
    measure 'Tavimo V4.0' 1500 '$tavimo' >> '$home/tavimo.txt'
  done
"

median() { sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
m_ms=$(cut -d' ' -f1 "$home/minimal.txt" | median)
t_ms=$(cut -d' ' -f1 "$home/tavimo.txt" | median)
m_rss=$(cut -d' ' -f2 "$home/minimal.txt" | median)
t_rss=$(cut -d' ' -f2 "$home/tavimo.txt" | median)

awk -v runs="$runs" -v mm="$m_ms" -v tm="$t_ms" -v mr="$m_rss" -v tr="$t_rss" 'BEGIN {
  printf "%-38s %10s %14s\n", "start to window shown, median of " runs, "time (ms)", "idle RSS (MB)"
  printf "%-38s %10.1f %14.1f\n", "minimal Qt window program", mm, mr / 1024
  printf "%-38s %10.1f %14.1f\n", "tavimo", tm, tr / 1024
  printf "time ratio tavimo / minimal: %.2f (target <= 1.50); tavimo idle RSS %.1f MB (target <= 60)\n", tm / mm, tr / 1024
}'
