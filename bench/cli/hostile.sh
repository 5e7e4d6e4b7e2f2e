#!/usr/bin/env bash
# tavimo-scan on hostile input, in the same run:
#   a page of 99 frames of just under 16 MiB each, sent gzip-encoded (about 1.6 MB on the wire):
#   the peak memory of its scan, which the scan's byte bound (scanbytes, 64 MiB) keeps flat;
#   a web archive gzipped whole of one page with 40 such frames (about 650 KB): the peak memory
#   of its scan;
#   a web archive gzipped whole of 300 pages with 99 frames each, every page listing its frames
#   against the archive's order: the time of its scan beside the same archive uncompressed.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
scan="$build/cli/tavimo-scan"
[ -x "$scan" ] || { echo "cli hostile bench: build $build first"; exit 1; }
work=$(mktemp -d)
trap 'kill $server_pid 2>/dev/null || true; rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_CACHE_HOME="$work/home/cache" \
  XDG_RUNTIME_DIR="$work/home/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

python3 - "$work/port" <<'PY' &
import gzip, http.server, sys
frame = gzip.compress(b'"f.swf"' + b" " * ((16 << 20) - 100), 9)
page = "".join('<iframe src="f%d.htm">' % k for k in range(99)).encode()
class Site(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    def do_GET(self):
        body, coding = (page, None) if self.path == "/p.htm" else (frame, "gzip")
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        if coding:
            self.send_header("Content-Encoding", coding)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        try:
            self.wfile.write(body)
        except OSError:
            pass  # the scan's bound ended the request
    def log_message(self, *args):
        pass
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Site)
open(sys.argv[1], "w").write(str(server.server_address[1]))
server.serve_forever()
PY
server_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
page="http://127.0.0.1:$(cat "$work/port")/p.htm"
rss() { /usr/bin/time -f '%e %M' "$@" 2>&1 >/dev/null | tail -1; }
read -r t_frames m_frames < <(rss "$scan" --detect page "$page" || true)
status=$("$scan" --detect page "$page" 2>&1 >/dev/null || true)

python3 - "$work/a.warc" <<'PY'
import sys
def record(uri, body):
    http = b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: %d\r\n\r\n" % len(body) + body
    return (b"WARC/1.1\r\nWARC-Type: response\r\nWARC-Target-URI: " + uri +
            b"\r\nContent-Type: application/http;msgtype=response\r\nContent-Length: %d\r\n\r\n" % len(http) +
            http + b"\r\n\r\n")
with open(sys.argv[1], "wb") as out:
    for p in range(300):
        frames = b"".join(b'<iframe src="p%df%d.htm">' % (p, f) for f in reversed(range(99)))
        out.write(record(b"http://site.example/p%d.htm" % p, frames))
        for f in range(99):
            out.write(record(b"http://site.example/p%df%d.htm" % (p, f), b'"p%df%d.swf"' % (p, f)))
PY
gzip -9 -c "$work/a.warc" >"$work/a.warc.gz"

python3 - "$work/big.warc.gz" <<'PY'
import gzip, sys
def record(uri, body):
    http = b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: %d\r\n\r\n" % len(body)
    return (b"WARC/1.1\r\nWARC-Type: response\r\nWARC-Target-URI: " + uri +
            b"\r\nContent-Type: application/http;msgtype=response\r\nContent-Length: %d\r\n\r\n" %
            (len(http) + len(body)), http, body, b"\r\n\r\n")
with gzip.open(sys.argv[1], "wb", 9) as out:
    for part in record(b"http://big.example/p.htm",
                       b"".join(b'<iframe src="f%d.htm">' % f for f in range(40))):
        out.write(part)
    body = b'"f.swf"' + b" " * ((16 << 20) - 100)
    for f in range(40):
        for part in record(b"http://big.example/f%d.htm" % f, body):
            out.write(part)
PY
read -r t_big m_big < <(rss "$scan" --warc "$work/big.warc.gz" || true)
big_kb=$(( $(stat -c %s "$work/big.warc.gz") / 1024 ))
read -r t_plain m_plain < <(rss "$scan" --warc "$work/a.warc")
read -r t_whole m_whole < <(rss "$scan" --warc "$work/a.warc.gz")
[ "$("$scan" --warc "$work/a.warc" | md5sum)" = "$("$scan" --warc "$work/a.warc.gz" | md5sum)" ] ||
  { echo "the archive gzipped whole lists other items than uncompressed"; exit 1; }
kb=$(( $(stat -c %s "$work/a.warc.gz") / 1024 ))

awk -v tf="$t_frames" -v mf="$m_frames" -v tp="$t_plain" -v tw="$t_whole" -v mw="$m_whole" \
    -v kb="$kb" -v tb="$t_big" -v mb="$m_big" -v bkb="$big_kb" 'BEGIN {
  printf "cli, hostile input                                        time     peak memory\n"
  printf "page of 99 frames x 16 MiB (gzip), default scanbytes     %5.2f s  %7.1f MB  (target: flat, < 400 MB)\n", tf, mf/1024
  printf "%d KB archive gzipped whole, 40 frames x 16 MiB      %5.2f s  %7.1f MB  (target: flat, < 400 MB)\n", bkb, tb, mb/1024
  printf "%d KB archive gzipped whole, 300 pages x 99 frames      %5.2f s  %7.1f MB  (uncompressed %.2f s, target <= 3x)\n", kb, tw, mw/1024, tp
}'
echo "final status: $status"
