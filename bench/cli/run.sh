#!/usr/bin/env bash
# tavimo-scan beside the tools a batch would otherwise use, in the same run:
#   1,000 small pages from standard input, --jobs 1 and --jobs 8, beside curl fetching the same
#   pages one after the other in one process; a 1 GB record-gzipped web archive and the same
#   archive gzipped whole (one gzip member: pages are reached through access points) beside
#   `zcat FILE > /dev/null`, with the peak memory of each.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
scan="$build/cli/tavimo-scan"
server="$build/bench/net/net_body_server"
[ -x "$scan" ] && [ -x "$server" ] || { echo "cli bench: build $build first"; exit 1; }
data="$build/bench-data/cli"
mkdir -p "$data/www"
work=$(mktemp -d)
trap 'kill $server_pid 2>/dev/null || true; rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_CACHE_HOME="$work/home/cache" \
  XDG_RUNTIME_DIR="$work/home/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

# 1,000 pages of about 2 KB, each naming three movies.
if [ ! -f "$data/www/p999.htm" ]; then
  for i in $(seq 0 999); do
    { printf '<html><body><embed src="m/a%d.swf"> "b%d.swf" <object data="/c%d.swf">' "$i" "$i" "$i"
      head -c 1500 /dev/zero | tr '\0' 'x'; printf '</body></html>'; } >"$data/www/p$i.htm"
  done
fi
"$server" "$data/www" >"$work/port" &
server_pid=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
base="http://127.0.0.1:$(cat "$work/port")"
for i in $(seq 0 999); do echo "$base/p$i.htm"; done >"$work/pages"
for i in $(seq 0 999); do printf 'url = "%s/p%d.htm"\noutput = "/dev/null"\n' "$base" "$i"; done >"$work/curl"

now() { date +%s.%N; }
best() { awk -v a="$1" -v b="$2" 'BEGIN{print (a == "" || b < a) ? b : a}'; }
t_curl=""; t_one=""; t_eight=""
for _ in 1 2 3 4 5; do
  t0=$(now); curl -s -K "$work/curl"; t1=$(now); t_curl=$(best "$t_curl" "$(awk -v a="$t0" -v b="$t1" "BEGIN{print b-a}")")
  t0=$(now); "$scan" --detect page --urls-from - --jobs 1 <"$work/pages" >"$work/one.txt"; t1=$(now)
  t_one=$(best "$t_one" "$(awk -v a="$t0" -v b="$t1" "BEGIN{print b-a}")")
  t0=$(now); "$scan" --detect page --urls-from - --jobs 8 <"$work/pages" >"$work/eight.txt"; t1=$(now)
  t_eight=$(best "$t_eight" "$(awk -v a="$t0" -v b="$t1" "BEGIN{print b-a}")")
done
[ "$(wc -l <"$work/one.txt")" = 3000 ] || { echo "tavimo-scan --jobs 1 listed $(wc -l <"$work/one.txt") movies, not 3000"; exit 1; }
[ "$(sort "$work/one.txt" | md5sum)" = "$(sort "$work/eight.txt" | md5sum)" ] || { echo "--jobs 8 differs from --jobs 1"; exit 1; }

# A web archive of about 1 GB (record-gzipped), generated once.
warc="$data/archive.warc.gz"
if [ ! -f "$warc" ]; then
  python3 - "$warc" <<'PY'
import gzip, os, sys, uuid
out = open(sys.argv[1], "wb")
rnd = os.urandom(1 << 20)
i = 0
while out.tell() < 1_000_000_000:
    if i % 10 == 0:
        body = (b'<html>"m%d.swf" <embed src="/x/%d.swf">' % (i, i)) + b"y" * 4000 + b"</html>"
        ctype = b"text/html"
    else:
        off = (i * 7919) % ((1 << 20) - 200_000)
        body = rnd[off:off + 100_000]
        ctype = b"application/x-shockwave-flash"
    http = b"HTTP/1.1 200 OK\r\nContent-Type: " + ctype + b"\r\nContent-Length: %d\r\n\r\n" % len(body) + body
    head = (b"WARC/1.1\r\nWARC-Type: response\r\nWARC-Record-ID: <urn:uuid:%s>\r\n"
            b"WARC-Target-URI: http://site.example/%d%s\r\nWARC-Date: 2026-12-07T12:00:00Z\r\n"
            b"Content-Type: application/http;msgtype=response\r\nContent-Length: %d\r\n\r\n"
            % (str(uuid.uuid4()).encode(), i, b".htm" if ctype == b"text/html" else b".swf", len(http)))
    out.write(gzip.compress(head + http + b"\r\n\r\n", 1))
    i += 1
PY
fi
# The same records gzipped whole, generated once.
whole="$data/archive-whole.warc.gz"
[ -f "$whole" ] || { zcat "$warc" | gzip -1 >"$whole.part" && mv "$whole.part" "$whole"; }
rss() { /usr/bin/time -f '%e %M' "$@" 2>&1 >/dev/null | tail -1; }
read -r t_warc m_warc < <(rss "$scan" --warc "$warc")
read -r t_zcat m_zcat < <(rss sh -c "zcat '$warc' > /dev/null")
size_mb=$(du -m "$warc" | cut -f1)
read -r t_whole m_whole < <(rss "$scan" --warc "$whole")
read -r t_wzcat m_wzcat < <(rss sh -c "zcat '$whole' > /dev/null")
whole_mb=$(du -m "$whole" | cut -f1)
[ "$("$scan" --warc "$warc" | md5sum)" = "$("$scan" --warc "$whole" | md5sum)" ] ||
  { echo "the archive gzipped whole lists other items than record-gzipped"; exit 1; }

awk -v c="$t_curl" -v o="$t_one" -v e="$t_eight" -v tw="$t_warc" -v tz="$t_zcat" -v mw="$m_warc" -v mz="$m_zcat" -v mb="$size_mb" \
    -v th="$t_whole" -v thz="$t_wzcat" -v mh="$m_whole" -v hb="$whole_mb" 'BEGIN {
  printf "cli: tavimo-scan, best of 5                pages/s      beside      ratio\n"
  printf "1000 pages, --jobs 1                       %7.0f   curl %7.0f   %5.2f  (target >= 0.8)\n", 1000/o, 1000/c, c/o
  printf "1000 pages, --jobs 8                       %7.0f   curl %7.0f   %5.2f  (target >= 3)\n", 1000/e, 1000/c, c/e
  printf "%d MB web archive                        %5.0f MB/s   zcat %4.0f MB/s  %5.2f  (target >= 0.5)\n", mb, mb/tw, mb/tz, tz/tw
  printf "%d MB web archive, gzipped whole     %5.0f MB/s   zcat %4.0f MB/s  %5.2f  (target >= 0.5)\n", hb, hb/th, hb/thz, thz/th
  printf "peak memory: tavimo-scan --warc %.1f MB (gzipped whole %.1f MB), zcat %.1f MB\n", mw/1024, mh/1024, mz/1024
}'

# Hostile input: memory of a page of huge frames, frames of an archive gzipped whole.
"$(dirname "$0")/hostile.sh" "$build"
