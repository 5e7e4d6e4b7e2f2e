#!/usr/bin/python3
"""examples/dask/scan_cluster.py on a local Dask cluster against a local site of 500 pages:
the records equal those of one tavimo-scan over the same list, in shard order; a shard that
dies is a failure; bad usage is status 2.

usage: scan_cluster_test.py TAVIMO_SCAN SCAN_CLUSTER_PY
"""

import collections
import http.server
import json
import os
import subprocess
import sys
import tempfile
import threading
import unittest

TAVIMO_SCAN, SCRIPT = sys.argv[1], sys.argv[2]
PAGES = 500
SHARD = 60
HANG_GUARD = 300  # seconds; only so that a hung run ends the test instead of ctest's timeout


def page_body(n):
    """Page n: two quoted movies (one relative, one shared by all pages), every 7th page a
    frame with a movie of its own; two pages carry non-ASCII bytes in a movie name."""
    body = (f'<html><embed src="movie{n}.swf"><object data=\'{base}/shared/common.swf\'>'
            f'<a href="page{n + 1}.html">next</a>').encode()
    if n % 7 == 0:
        body += f'<iframe src="frame{n}.html"></iframe>'.encode()
    if n == 3:
        body += '"film\u00e9.swf"'.encode()       # UTF-8
    if n == 4:
        body += b'"film\xe9.swf"'                 # Latin-1: not UTF-8
    return body + b"</html>"


class Site(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def do_GET(self):
        name = self.path[len("/page/"):] if self.path.startswith("/page/") else ""
        if name.startswith("frame") and name.endswith(".html"):
            body = f'<p>"frame{name[5:-5]}.swf"</p>'.encode()
        elif name.endswith(".html") and name[:-5].isdigit():
            body = page_body(int(name[:-5]))
        else:
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def setUpModule():
    global server, base, tmp, env, refused
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Site)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = f"http://127.0.0.1:{server.server_address[1]}"
    tmp = tempfile.TemporaryDirectory(prefix="tavimo-dist-")
    env = {k: v for k, v in os.environ.items() if k.lower() not in ("http_proxy", "https_proxy")}
    # tavimo-scan reads the user's settings and caches: give it (and Dask) empty ones.
    for var, sub in (("HOME", "home"), ("XDG_CONFIG_HOME", "config"), ("XDG_CACHE_HOME", "cache"),
                     ("XDG_RUNTIME_DIR", "runtime"), ("TMPDIR", "tmp")):
        env[var] = os.path.join(tmp.name, sub)
        os.makedirs(env[var], mode=0o700)
    # A port nobody listens on: those pages fail.
    with http.server.HTTPServer(("127.0.0.1", 0), Site) as closed:
        refused = f"http://127.0.0.1:{closed.server_address[1]}"


def tearDownModule():
    server.shutdown()
    tmp.cleanup()


def run(cmd, stdin=b""):
    done = subprocess.run(cmd, input=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          env=env, cwd=tmp.name, timeout=HANG_GUARD, check=False)
    return done.returncode, done.stdout.splitlines(), done.stderr.decode(errors="replace")


def example(*args, stdin=b""):
    return run([sys.executable, SCRIPT, *args], stdin)


class ScanClusterTest(unittest.TestCase):
    def test_cluster_gives_the_records_of_one_scan_in_shard_order(self):
        pages = [f"{base}/page/{n}.html" for n in range(PAGES)]
        for n in (17, 250, 499):
            pages[n] = f"{refused}/page/{n}.html"
        # CR LF, blank and comment lines as a hand-made list has them.
        listing = "\r\n".join(pages[:100]) + "\n\n# the rest\n" + "\n".join(pages[100:]) + "\n"
        list_file = os.path.join(tmp.name, "pages.txt")
        with open(list_file, "w") as f:
            f.write(listing)

        single = run([TAVIMO_SCAN, "--urls-from", list_file, "--json", "--detect", "page"])
        spread = example("--local-workers", "2", "--tavimo-scan", TAVIMO_SCAN,
                         "--shard-size", str(SHARD), "--jobs", "3", "--detect", "page",
                         stdin=listing.encode())

        self.assertEqual(single[0], 1, single[2])
        self.assertEqual(spread[0], 1, spread[2])
        self.assertEqual(collections.Counter(spread[1]), collections.Counter(single[1]))

        records = [json.loads(line) for line in spread[1]]
        # Standard output carries movies only; the failed pages' records come on standard error.
        self.assertFalse([r for r in records if "error" in r])
        errors = [json.loads(line) for line in spread[2].splitlines() if line.startswith("{")]
        failed = sorted(r["page"] for r in errors if "error" in r)
        self.assertEqual(failed, sorted(pages[n] for n in (17, 250, 499)))
        movies = records
        # Each good page: its own movie and the shared one; every 7th page also its frame's.
        good = PAGES - 3
        framed = sum(1 for n in range(0, PAGES, 7) if n not in (17, 250, 499))
        self.assertEqual(len(movies), 2 * good + framed + 2)
        self.assertIn(f"{base}/page/film\u00e9.swf", {r["url"] for r in movies})
        self.assertIn(f"{base}/page/film%E9.swf", {r["url"] for r in movies})
        # Stable order: every record of shard k before any of shard k+1.
        shard_of = {page: n // SHARD for n, page in enumerate(pages)}
        order = [shard_of[r["page"]] for r in records]
        self.assertEqual(order, sorted(order))

    def test_warc_shards_give_the_records_of_one_scan_in_order(self):
        warcs = []
        for k in range(3):
            urls = [f"{base}/page/{n}.html" for n in range(k * 7, k * 7 + 4)] + \
                   [f"{base}/page/frame{k * 7}.html"]
            subprocess.run(["wget", "-q", "--no-proxy", f"--warc-file=site{k}", "-O", "/dev/null",
                            *urls], env=env, cwd=tmp.name, timeout=HANG_GUARD, check=True)
            warcs.append(f"site{k}.warc.gz")

        single = run([TAVIMO_SCAN, "--json", "--warc", *warcs])
        spread = example("--local-workers", "2", "--tavimo-scan", TAVIMO_SCAN,
                         "--shard-size", "2", "--warc", *warcs)

        self.assertEqual(single[0], 0, single[2])
        self.assertEqual(spread[0], 0, spread[2])
        # Own and shared movie of each page, the frame's movie under its page and under the
        # frame (recorded as a page too), the UTF-8 name of page 3.
        self.assertEqual(len(single[1]), 3 * 4 * 2 + 3 * 2 + 1)
        # One job per shard and shards printed in order: the very same lines.
        self.assertEqual(spread[1], single[1])

    def test_a_shard_that_dies_is_a_failure_and_keeps_what_was_printed(self):
        dying = os.path.join(tmp.name, "dying-scan")
        with open(dying, "w") as f:
            f.write('#!/bin/sh\ncat >/dev/null\necho \'{"page":"x","url":"x.swf"}\'\nkill -9 $$\n')
        os.chmod(dying, 0o755)
        code, out, err = example("--local-workers", "1", "--tavimo-scan", dying,
                                 stdin=b"http://127.0.0.1:9/a\nhttp://127.0.0.1:9/b\n")
        self.assertEqual(code, 1)
        self.assertEqual(out, [b'{"page":"x","url":"x.swf"}'])
        self.assertIn("shard 1 (addresses 1-2): tavimo-scan ended by signal 9", err)

    def test_bad_usage_is_status_2_before_any_work(self):
        list_file = os.path.join(tmp.name, "one.txt")
        with open(list_file, "w") as f:
            f.write(f"{base}/page/1.html\n")
        cases = [
            ["--scheduler", "tcp://127.0.0.1:1", "--local-workers", "2", list_file],
            ["--local-workers", "0", list_file],
            ["--shard-size", "0", list_file],
            ["--tavimo-scan", os.path.join(tmp.name, "no-such-scan"), list_file],
            ["--tavimo-scan", TAVIMO_SCAN, os.path.join(tmp.name, "no-such-list")],
            ["--tavimo-scan", TAVIMO_SCAN, list_file, "--warc", list_file],
            ["--tavimo-scan", TAVIMO_SCAN, "--detect", "everything", list_file],
        ]
        for args in cases:
            with self.subTest(args=args):
                code, out, _ = example(*args)
                self.assertEqual(code, 2)
                self.assertEqual(out, [])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
