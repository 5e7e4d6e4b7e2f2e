#!/usr/bin/env bash
# The URL cache search over 100,000 Chromium and 100,000 Firefox entries (generated once into
# <build>/bench-data/cache, again when missing):
#   a) entries per second of the search (TIECache over the store, each entry through the
#      search's test) beside `find | xargs head -c 300` over the same folders; the two take
#      turns 3 times, best of 3 each; the page cache is warm for both (dropped for neither).
#      Target: ratio >= 0.5.
#   b) time from pressing Go in "List all Flash items in local cache" to the first row on
#      screen, in a real main window (offscreen), best and all of 3 runs.
#   c) peak resident memory (VmHWM) of the search with and without 2 GiB more of cached .swf
#      bodies (sparse files): it must not grow by the size of the bodies.
#   d) the downloads' lookup of one URL: first, again, and after a file came and went in a
#      cache folder, as a running browser's do all the time.
#   e) the search with 1,000 more entries planted beside the store: scripts whose deflate-encoded
#      bodies inflate to 1 GiB each, beside the plain store, taking turns 3 times, best of 3.
#      Target: at most 1.2 times the plain search.
#   bench/cache/run.sh <build dir> [entries per browser]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
count=${2:-100000}
bin="$build/bench/cache"
for f in bench_cache_gen bench_cache_search bench_cache_first_row bench_cache_find; do
  [ -x "$bin/$f" ] || { echo "cache benches not built ($f missing)"; exit 0; }
done
data="$build/bench-data/cache"
store="$data/store-$count"
huge="$data/huge-$count"
planted="$data/planted-$count"
chromium="$store/chromium/Default/Cache/Cache_Data"
firefox="$store/mozilla/firefox/bench.default-release/cache2/entries"

layout=2  # bench_cache_gen's kVersion
if [ "$(cat "$store/complete" 2>/dev/null)" != "$layout" ]; then
  echo "generating $count Chromium and $count Firefox entries in $store"
  start=$(date +%s.%N)
  "$bin/bench_cache_gen" store "$store" "$count"
  echo "  took $(echo "$(date +%s.%N) - $start" | bc) s"
fi
[ "$(cat "$huge/complete" 2>/dev/null)" = "$layout" ] || "$bin/bench_cache_gen" huge "$huge" "$store"
[ "$(cat "$planted/complete" 2>/dev/null)" = "$layout" ] || "$bin/bench_cache_gen" planted "$planted" "$store"

home=$(mktemp -d /tmp/tavimo-cachebench.XXXXXX)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/config/tavimo" "$home/runtime" && chmod 700 "$home/runtime"
printf '[options]\nispreview=0\nautoclose=0\nDetectOption=3\n' >"$home/config/tavimo/info.ini"
# The search reads the caches of this home only; nothing of the user's.
in_home() {
  local cache=$1
  shift
  HOME=$home XDG_CONFIG_HOME=$home/config XDG_CACHE_HOME=$cache XDG_RUNTIME_DIR=$home/runtime \
    QT_LOGGING_RULES="qt.core.qobject.connect=false" "$@"
}
# A program whose figures did not come ends the run.
need() { for v in "$@"; do [ -n "$v" ] || { echo "a cache bench program failed"; exit 1; }; done; }
now() { date +%s.%N; }
min() { awk -v a="$1" -v b="$2" 'BEGIN {print (a < b) ? a : b}'; }

files=$(find "$chromium" "$firefox" -type f | wc -l)
# Entry files: "<16 hex>_0" in Chromium's folder, every file of Firefox's entries folder.
entry_files=$(( $(find "$chromium" -type f -name '*_0' | wc -l) + $(find "$firefox" -type f | wc -l) ))

# a) the search beside find | xargs head, taking turns.
best_search=999; best_find=999
for _ in 1 2 3; do
  read -r entries listed secs rss < <(in_home "$store" "$bin/bench_cache_search")
  need "$secs"
  best_search=$(min "$secs" "$best_search")
  start=$(now)
  find "$chromium" "$firefox" -type f -print0 | xargs -0 head -c 300 >/dev/null
  best_find=$(min "$(echo "$(now) - $start" | bc)" "$best_find")
done
echo "-- a) cache search, $entry_files entry files ($entries whole responses, $listed .swf listed); best of 3, taking turns, page cache warm"
awk -v n="$entry_files" -v f="$files" -v t="$best_search" -v c="$best_find" 'BEGIN {
  printf "TIECache + search test (list all):        %9.0f entries/s  (%.3f s)\n", n / t, t
  printf "find | xargs head -c 300 (%d files):  %9.0f files/s    (%.3f s)\n", f, f / c, c
  printf "ratio search / find:                      %9.2f  (target >= 0.5)\n", (n / t) / (f / c)
}'

# b) Go to the first row on screen, DetectMode 2.
echo "-- b) Go to the first row painted, \"List all Flash items in local cache\", offscreen window"
echo "   (clock: from the mouse press on Go to the list viewport's first paint event with rows)"
runs=()
for _ in 1 2 3; do
  read -r ms handler rows < <(in_home "$store" "$bin/bench_cache_first_row")
  need "$rows"
  runs+=("$ms")
  echo "   run: first row painted ${ms} ms after the press (Go handler ${handler} ms, $rows rows)"
done
best=$(printf '%s\n' "${runs[@]}" | sort -n | head -1)
echo "Go to first row: best of 3 ${best} ms"

# c) peak memory with and without 2 GiB more of bodies.
echo "-- c) peak RSS (VmHWM) of the search"
read -r e1 l1 s1 rss1 < <(in_home "$store" "$bin/bench_cache_search")
read -r e2 l2 s2 rss2 < <(in_home "$huge" "$bin/bench_cache_search")
need "$rss1" "$rss2"
bodies=$(find -L "$huge/chromium/Huge" "$huge/mozilla/firefox/huge.default-release" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
disk=$(du -sk "$huge/chromium/Huge" "$huge/mozilla/firefox/huge.default-release" | awk '{s += $1} END {print s}')
awk -v a="$rss1" -v b="$rss2" -v e1="$e1" -v e2="$e2" -v s1="$s1" -v s2="$s2" -v big="$bodies" -v disk="$disk" 'BEGIN {
  printf "store of %d entries:                        peak RSS %6.1f MB  (%.3f s)\n", e1, a / 1024, s1
  printf "same + 3 .swf of %.2f GiB (%.0f kB on disk): peak RSS %6.1f MB  (%.3f s, %d entries)\n", big / 2^30, disk, b / 1024, s2, e2
  printf "growth: %.1f MB for %.2f GiB of bodies\n", (b - a) / 1024, big / 2^30
}'

# d) the downloads' lookup of one URL.
echo "-- d) lookup of one URL for a download (UrlCacheStore::Find)"
read -r hits first again changed < <(in_home "$store" "$bin/bench_cache_find" "https://www.example.com/movies/known.swf" "$chromium")
need "$changed"
awk -v h="$hits" -v a="$first" -v b="$again" -v c="$changed" 'BEGIN {
  printf "first lookup %.3f s, again %.6f s, after a file came and went in a cache folder %.3f s (%d hit)\n", a, b, c, h
}'

# e) the search with 1,000 planted 1 GiB deflate scripts beside the plain store.
echo "-- e) cache search with 1,000 planted entries inflating to 1 GiB each; best of 3, taking turns"
best_plain=999; best_planted=999
for _ in 1 2 3; do
  read -r e1 l1 s1 r1 < <(in_home "$store" "$bin/bench_cache_search")
  read -r e2 l2 s2 r2 < <(in_home "$planted" "$bin/bench_cache_search")
  need "$s1" "$s2"
  best_plain=$(min "$s1" "$best_plain")
  best_planted=$(min "$s2" "$best_planted")
done
awk -v a="$best_plain" -v b="$best_planted" -v e1="$e1" -v e2="$e2" 'BEGIN {
  printf "plain store (%d entries):           %.3f s\n", e1, a
  printf "with the planted ones (%d entries): %.3f s\n", e2, b
  printf "ratio planted / plain:                %.2f  (target <= 1.2)\n", b / a
}'
