#!/usr/bin/env bash
# THttpCli beside curl against the same local sendfile server:
#   1 GiB body into a null stream and into a file, and 1,000 sequential GETs of 4 KiB, each on a
#   new connection (curl: one process with a URL list). Prints MB/s, requests/s and the ratios.
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

best() {  # best of three runs of a command printing "<seconds> ..."; prints the seconds
  local b=""
  for _ in 1 2 3; do
    local s
    s=$("$@" | awk '{print $1}')
    if [ -z "$b" ] || awk -v s="$s" -v b="$b" 'BEGIN{exit !(s<b)}'; then b=$s; fi
  done
  echo "$b"
}
curl_time() { curl -s -o "$1" -w '%{time_total}\n' "$2"; }
curl_many() {
  local t0 t1
  t0=$(date +%s.%N); curl -s -K "$work/list" >/dev/null; t1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN{printf "%.6f\n", b-a}'
}
for _ in $(seq 1000); do printf 'url = "%s/small.bin"\noutput = "/dev/null"\n' "$base"; done >"$work/list"

mib=1024
ours_null=$(best "$client" null "$base/big.bin")
curl_null=$(best curl_time /dev/null "$base/big.bin")
ours_file=$(best "$client" file "$base/big.bin" "$work/ours.bin")
curl_file=$(best curl_time "$work/curl.bin" "$base/big.bin")
rm -f "$work/ours.bin" "$work/curl.bin"
ours_many=$(best "$client" many "$base/small.bin" 1000)
curl_many_t=$(best curl_many)

awk -v on="$ours_null" -v cn="$curl_null" -v of="$ours_file" -v cf="$curl_file" \
    -v om="$ours_many" -v cm="$curl_many_t" -v mib="$mib" 'BEGIN {
  printf "%-34s %12s %12s %8s\n", "net: THttpCli vs curl (best of 3)", "THttpCli", "curl", "ratio"
  printf "%-34s %9.0f MB/s %7.0f MB/s %8.2f  (target >= 0.80)\n", "1 GiB into a null stream", mib/on, mib/cn, cn/on
  printf "%-34s %9.0f MB/s %7.0f MB/s %8.2f  (target >= 0.80)\n", "1 GiB into a file", mib/of, mib/cf, cf/of
  printf "%-34s %10.0f r/s %9.0f r/s %8.2f  (target >= 1.00)\n", "1000 GETs of 4 KiB, new connections", 1000/om, 1000/cm, cm/om
}'
