#!/usr/bin/python3
"""Scan many web pages (or web archives) for Flash movies with tavimo-scan on a Dask cluster.

The address list is cut into shards; each shard is one Dask task that runs
`tavimo-scan --urls-from - --json` (or `tavimo-scan --warc FILE... --json`) on a worker.
The JSON lines come back in a stable order (by shard, then as tavimo-scan printed them),
so a run on a cluster prints the same records as one tavimo-scan over the whole list.

Exit status: 0 every page was scanned, 1 a page failed or a shard did not finish,
2 bad usage (also: tavimo-scan or the scheduler cannot be found).
"""

import argparse
import os
import shutil
import socket
import subprocess
import sys

EXIT_OK, EXIT_FAILED, EXIT_USAGE = 0, 1, 2


def run_shard(shard, tavimo_scan, scan_args):
    """Runs on a worker: one tavimo-scan over one shard. Returns (status, stdout, stderr).

    `shard` is the shard's address lines (bytes, fed on standard input) or a list of WARC
    paths. status is tavimo-scan's exit status, negative for a signal, None when it could
    not be started. Output stays bytes: addresses are not text to be decoded.
    """
    exe = tavimo_scan or shutil.which("tavimo-scan")
    if exe is None:
        return None, b"", f"tavimo-scan is not on the PATH of {socket.gethostname()}\n".encode()
    if isinstance(shard, bytes):
        cmd = [exe, "--urls-from", "-", "--json", *scan_args]
        stdin = shard
    else:
        cmd = [exe, "--json", *scan_args, "--warc", *shard]
        stdin = b""
    try:
        done = subprocess.run(cmd, input=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              check=False)
    except OSError as e:
        return None, b"", f"{socket.gethostname()}: cannot run {exe}: {e}\n".encode()
    return done.returncode, done.stdout, done.stderr


def read_addresses(source):
    """The address lines of a list file ("-" = standard input), as tavimo-scan reads them:
    blank lines and lines starting with "#" are dropped so shards hold real pages."""
    if source == "-":
        data = sys.stdin.buffer.read()
    else:
        with open(source, "rb") as f:
            data = f.read()
    lines = []
    for line in data.split(b"\n"):
        if line.endswith(b"\r"):
            line = line[:-1]
        text = line.lstrip(b" \t")
        if text and not text.startswith(b"#"):
            lines.append(line)
    return lines


def make_shards(items, size):
    return [items[i:i + size] for i in range(0, len(items), size)]


def parse_args(argv):
    # Everything after "--" goes to tavimo-scan unchanged (e.g. --save DIR, --mode internet).
    extra = []
    if "--" in argv:
        cut = argv.index("--")
        argv, extra = argv[:cut], argv[cut + 1:]
    p = argparse.ArgumentParser(
        description="Scan web pages for Flash movies with tavimo-scan on a Dask cluster.",
        epilog="Arguments after -- are passed to every tavimo-scan unchanged.")
    p.add_argument("list", nargs="?", default="-",
                   help="file of page addresses, one per line (default: - = standard input)")
    p.add_argument("--warc", nargs="+", metavar="FILE",
                   help="scan these web archives instead (the workers must see the same paths)")
    where = p.add_mutually_exclusive_group()
    where.add_argument("--scheduler", metavar="ADDRESS",
                       help="Dask scheduler to use, e.g. tcp://host:8786")
    where.add_argument("--local-workers", type=int, metavar="N",
                       help="start a local cluster of N workers (the default, one per core)")
    p.add_argument("--tavimo-scan", metavar="PATH",
                   help="tavimo-scan to run (default: the one on the PATH of each worker)")
    p.add_argument("--shard-size", type=int, metavar="N",
                   help="addresses per task (default 100) or WARC files per task (default 1)")
    p.add_argument("--jobs", type=int, metavar="J", help="pages each tavimo-scan scans at once")
    p.add_argument("--detect", choices=["page", "cache", "all-cache"],
                   help="detection mode of tavimo-scan (cache modes read the workers' caches)")
    args = p.parse_args(argv)
    if args.warc and args.list != "-":
        p.error("give either an address list or --warc, not both")
    if args.local_workers is not None and args.local_workers < 1:
        p.error("--local-workers takes a number from 1")
    if args.shard_size is not None and args.shard_size < 1:
        p.error("--shard-size takes a number from 1")
    if args.jobs is not None and args.jobs < 1:
        p.error("--jobs takes a number from 1")
    args.scan_args = ([] if args.jobs is None else ["--jobs", str(args.jobs)]) + \
                     ([] if args.detect is None else ["--detect", args.detect]) + extra
    return p, args


def main(argv):
    parser, args = parse_args(argv)

    exe = args.tavimo_scan
    if exe is not None and os.path.exists(exe):
        exe = os.path.abspath(exe)
    elif exe is not None and args.scheduler is None:
        parser.error(f"no tavimo-scan at {exe}")
    elif exe is None and args.scheduler is None:
        # A local cluster shares our PATH: say it now rather than once per shard.
        exe = shutil.which("tavimo-scan")
        if exe is None:
            parser.error("tavimo-scan is not on the PATH; name it with --tavimo-scan")

    if args.warc:
        missing = [w for w in args.warc if not os.path.isfile(w)]
        if missing and args.scheduler is None:
            parser.error("no such file: " + ", ".join(missing))
        # Workers start elsewhere: give them paths that do not depend on our directory.
        shards = make_shards([os.path.abspath(w) for w in args.warc], args.shard_size or 1)
        what = "WARC files"
    else:
        try:
            addresses = read_addresses(args.list)
        except OSError as e:
            parser.error(f"cannot read {args.list}: {e.strerror}")
        shards = [b"".join(line + b"\n" for line in s)
                  for s in make_shards(addresses, args.shard_size or 100)]
        what = "addresses"
    if not shards:
        return EXIT_OK

    # Imported here so that --help and usage errors do not pay for loading Dask.
    from distributed import Client, LocalCluster, as_completed

    cluster = None
    try:
        if args.scheduler:
            client = Client(args.scheduler, timeout="30s")
        else:
            cluster = LocalCluster(n_workers=args.local_workers or os.cpu_count() or 1,
                                   threads_per_worker=1, host="127.0.0.1",
                                   dashboard_address=None)
            client = Client(cluster)
    except OSError as e:
        print(f"scan_cluster: cannot reach the Dask scheduler: {e}", file=sys.stderr)
        if cluster is not None:
            cluster.close()
        return EXIT_USAGE

    status = EXIT_OK
    size = args.shard_size or (1 if args.warc else 100)
    with client:
        # pure=False: a page may change between runs, so equal shards are not the same task.
        futures = client.map(run_shard, shards, tavimo_scan=exe, scan_args=args.scan_args,
                             pure=False)
        index = {f.key: n for n, f in enumerate(futures)}
        done = {}
        next_out = 0
        for future in as_completed(futures):
            n = index[future.key]
            if future.status == "finished":
                done[n] = future.result()
            elif future.status == "error":
                done[n] = (None, b"", f"{future.exception()!r}\n".encode())
            else:
                done[n] = (None, b"", f"task {future.status}\n".encode())
            future.release()
            # Print each shard as soon as all shards before it are printed.
            while next_out in done:
                code, out, err = done.pop(next_out)
                sys.stdout.buffer.write(out)
                sys.stdout.buffer.flush()
                sys.stderr.buffer.write(err)
                if code == EXIT_USAGE:
                    status = EXIT_USAGE
                elif code != EXIT_OK:
                    if code not in (EXIT_FAILED, EXIT_USAGE):
                        # A crash leaves the shard's pages unaccounted for: never success.
                        ended = "could not start" if code is None else (
                            f"ended by signal {-code}" if code < 0 else f"ended with status {code}")
                        first = next_out * size + 1
                        last = first + (len(shards[next_out]) if args.warc else
                                        shards[next_out].count(b"\n")) - 1
                        print(f"scan_cluster: shard {next_out + 1} ({what} {first}-{last}): "
                              f"tavimo-scan {ended}", file=sys.stderr)
                    if status == EXIT_OK:
                        status = EXIT_FAILED
                sys.stderr.buffer.flush()
                next_out += 1
    if cluster is not None:
        cluster.close()
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
