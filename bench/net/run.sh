#!/usr/bin/env bash
# THttpCli beside curl against the same local sendfile server:
#   1 GiB body into a null stream and into a file, and 1,000 sequential GETs of 4 KiB, each on a
#   new connection (curl: one process with a URL list). Prints MiB/s, requests/s and the ratios.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
server="$build/bench/net/net_body_server"
client="$build/bench/net/net_get_bench"
[ -x "$server" ] && [ -x "$client" ] || { echo "net bench: build $build first"; exit 1; }

work=$(mktemp -d)
trap 'kill $server_pid 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/www"
truncate -s 1G "$work/www/big.bin"        # sparse: the server reads zeros from the page cache
head -c 4096 /dev/urandom >"$work/www/small.bin"

"$server" "$work/www" >"$work/port" &
server_pid=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")
base="http://127.0.0.1:$port"

# Each measurement runs THttpCli and curl alternately, best of N: the machine is shared, and
# alternating gives both the same background load.
runs=${NET_BENCH_RUNS:-5}
curl_time() { rm -f "$1.tmp"; curl -s -o "$1" -w '%{time_total}\n' "$2"; }
ours_time() { "$client" "$@" | awk '{print $1}'; }
curl_many() {
  local t0 t1
  t0=$(date +%s.%N); curl -s -K "$work/list" >/dev/null; t1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN{printf "%.6f\n", b-a}'
}
min() { awk -v a="$1" -v b="$2" 'BEGIN{print (a == "" || b < a) ? b : a}'; }
for _ in $(seq 1000); do printf 'url = "%s/small.bin"\noutput = "/dev/null"\n' "$base"; done >"$work/list"

ours_null=""; curl_null=""; ours_file=""; curl_file=""; ours_many=""; curl_many_t=""
for _ in $(seq "$runs"); do
  ours_null=$(min "$ours_null" "$(ours_time null "$base/big.bin")")
  curl_null=$(min "$curl_null" "$(curl_time /dev/null "$base/big.bin")")
  rm -f "$work/out.bin"; sync
  ours_file=$(min "$ours_file" "$(ours_time file "$base/big.bin" "$work/out.bin")")
  rm -f "$work/out.bin"; sync
  curl_file=$(min "$curl_file" "$(curl_time "$work/out.bin" "$base/big.bin")")
  rm -f "$work/out.bin"
  ours_many=$(min "$ours_many" "$(ours_time many "$base/small.bin" 1000)")
  curl_many_t=$(min "$curl_many_t" "$(curl_many)")
done
mib=1024
awk -v on="$ours_null" -v cn="$curl_null" -v of="$ours_file" -v cf="$curl_file" \
    -v om="$ours_many" -v cm="$curl_many_t" -v mib="$mib" -v runs="$runs" 'BEGIN {
  printf "%-34s %12s %12s %8s\n", "net: THttpCli vs curl, best of " runs, "THttpCli", "curl", "ratio"
  printf "%-34s %9.0f MiB/s %7.0f MiB/s %8.2f  (target >= 0.80)\n", "1 GiB into a null stream", mib/on, mib/cn, cn/on
  printf "%-34s %9.0f MiB/s %7.0f MiB/s %8.2f  (target >= 0.90)\n", "1 GiB into a file", mib/of, mib/cf, cf/of
  printf "%-34s %10.0f r/s %9.0f r/s %8.2f  (target >= 1.00)\n", "1000 GETs of 4 KiB, new connections", 1000/om, 1000/cm, cm/om
}'
