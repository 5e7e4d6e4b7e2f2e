#!/usr/bin/env bash
# GetFile of a 256 MiB body from a local sendfile server, with the main window's progress
# handling attached, beside curl fetching the same file in the same run.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
data="$build/bench-data/download"
mkdir -p "$data/www"
body="$data/www/big.bin"
[ -f "$body" ] && [ "$(stat -c %s "$body")" = 268435456 ] || head -c 268435456 /dev/urandom >"$body"
rm -f "$data/port"
"$build/bench/net/net_body_server" "$data/www" >"$data/port" &
server=$!
trap 'kill $server 2>/dev/null; rm -f "$data/out.bin" "$data/curl.bin"' EXIT
for _ in $(seq 100); do [ -s "$data/port" ] && break; sleep 0.05; done
url="http://127.0.0.1:$(cat "$data/port")/big.bin"

best_tavimo=999; best_curl=999
for _ in 1 2 3; do
  read -r bytes secs < <("$build/bench/download/bench_getfile" "$url" "$data/out.bin")
  [ "$bytes" = 268435456 ] || { echo "GetFile saved $bytes bytes"; exit 1; }
  best_tavimo=$(echo "$secs $best_tavimo" | awk '{print ($1<$2)?$1:$2}')
  secs=$(curl -s --http1.0 -o "$data/curl.bin" -w '%{time_total}' "$url")
  best_curl=$(echo "$secs $best_curl" | awk '{print ($1<$2)?$1:$2}')
done
cmp -s "$data/out.bin" "$body" || { echo "GetFile file differs from the served body"; exit 1; }
awk -v t="$best_tavimo" -v c="$best_curl" 'BEGIN {
  mb = 256 * 1048576 / 1e6
  printf "GetFile 256 MiB (progress to gauge):  %8.1f MB/s  (%.3f s, best of 3)\n", mb / t, t
  printf "curl --http1.0 -o file, same server:  %8.1f MB/s  (%.3f s, best of 3)\n", mb / c, c
  printf "ratio GetFile / curl:                 %8.2f\n", c / t
}'
rm -f "$data/out.bin" "$data/curl.bin"
