#!/usr/bin/env python3
"""Every command a reader is told to run must work: each line of a ```sh block of README.md
and HACKING.md is either run here, against a build tree, or run by CI (.ci/run).

Usage: doc-commands.py list [markdown files]      the command lines, one per line
       doc-commands.py check <source> <build>     checks the table, runs the cheap commands
       doc-commands.py --self-test                the parser and the CI check on known cases

The table COMMANDS below says for each command line how it is covered:
  Run(...)   run here from the source folder, with the word `build` standing for the build
             tree under test; optional rewrites keep it off the checkout and a check looks at
             what it produced.
  Ci(...)    too costly for a test: the text must appear in .ci/run, or in the recipe (or the
             prerequisites) of a make target that .ci/run calls. Checked textually.
A command line missing from the table, a table entry no document has any more, a Ci entry that
CI does not run, or a Run command that fails, each fails the check with its name.
"""
import contextlib
import gzip
import http.server
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading

DOCS = ("README.md", "HACKING.md")


class Run:
    def __init__(self, rewrite=None, check=None, desktop=False, needs=None, seconds=None):
        self.rewrite = rewrite or {}  # text of the command -> text actually run ({tmp}, {url})
        self.check = check            # check(ctx, completed process) -> error text or None
        self.desktop = desktop        # runs under tests/with-xvfb.sh, stopped after `seconds`
        self.needs = needs            # a build-tree path the command uses (skipped without it)
        self.seconds = seconds


class Ci:
    def __init__(self, text=None):
        self.text = text  # what must appear in CI; default: the command itself


def same_skin(ctx, _):
    """The regenerated pictures and list equal the committed ones."""
    fresh, committed = os.path.join(ctx["tmp"], "skin"), os.path.join(ctx["source"], "resources", "skin")
    names = sorted(os.listdir(fresh))
    if names != sorted(os.listdir(committed)):
        return "regenerated pictures %s differ from resources/skin %s" % (names, sorted(os.listdir(committed)))
    pairs = [(os.path.join(fresh, n), os.path.join(committed, n)) for n in names]
    pairs.append((os.path.join(ctx["tmp"], "skin.qrc"), os.path.join(ctx["source"], "resources", "skin.qrc")))
    for a, b in pairs:
        with open(a, "rb") as fa, open(b, "rb") as fb:
            if fa.read() != fb.read():
                return "regenerated %s differs from the committed one" % os.path.basename(a)
    return None


def output_has(*texts):
    def check(_, done):
        missing = [t for t in texts if t not in done.stdout]
        return "output lacks %s" % missing if missing else None
    return check


def saved(name):
    def check(ctx, _):
        path = os.path.join(ctx["tmp"], name)
        return None if os.path.isfile(path) else "%s was not saved" % name
    return check


COMMANDS = {
    # HACKING.md
    "make build": Ci(),
    'cmake -S . -B build-detect -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVIMO_FOLDERS="base;compat;platform;sources;net;detect" -DTAVIMO_BENCH=OFF':
        Run(rewrite={"-B build-detect": "-B {tmp}/build-detect"}),
    "./build/tavimo -mini": Run(desktop=True, seconds=3),
    "man -l build/manual/tavimo.1": Run(needs="manual/tavimo.1", check=output_has("tavimo")),
    "make test": Ci(),
    # The window must come up and keep running: only the timeout ends it (status 124), a crash
    # or a failed build ends make before.
    "make run": Run(rewrite={"make run": "tests/with-xvfb.sh bash -c 'timeout -s TERM 20 make run BUILD=build "
                                         "ARGS=-mini; test $? = 124'"}),
    "ctest --test-dir build -L unit": Run(),
    "ctest --test-dir build -R '^SwfLinks\\.'": Run(check=output_has("100% tests passed")),
    "build/tests/detect/detect_unit_tests --gtest_filter='SwfLinks.*'": Run(check=output_has("[  PASSED  ]")),
    "QT_QPA_PLATFORM=offscreen build/tests/controls/controls_gui_tests --gtest_filter='FlatGauge*'":
        Run(check=output_has("[  PASSED  ]")),
    "tests/with-xvfb.sh build/tests/controls/controls_desktop_tests": Run(check=output_has("[  PASSED  ]")),
    "make test CMAKE_ARGS=-DTAVIMO_WERROR=ON": Ci(),
    "make sanitize": Ci(),
    "make sanitize SANITIZE_LABELS='unit|net|gui'": Ci("make sanitize SANITIZE_LABELS='unit|net|gui'"),
    "make tsan": Ci(),
    "make fuzz": Ci(),
    "make fuzz FUZZ_SECONDS=5": Ci(),
    "make package": Ci(),
    "sudo make package-test": Ci("make package-test"),
    "cmake --build build --target tavimo_skingen && build/tools/tavimo_skingen resources":
        Run(rewrite={"tavimo_skingen resources": "tavimo_skingen {tmp}"}, check=same_skin),
    "BENCH_REPETITIONS=1 bench/detect/run.sh build": Run(needs="bench/detect/bench_detect"),
    "python3 tools/check-layers.py": Run(),
    "python3 tools/check-layers.py --self-test": Run(),
    "clang-format --dry-run --Werror base/TextUtils.h": Run(),
    # README.md: the example site becomes a local one, the files live in a temporary folder.
    "tavimo-scan https://example.org/games.html": Run(
        rewrite={"https://example.org/": "{url}/"}, check=output_has("/movies/a.swf\ta.swf")),
    "tavimo-scan --json --jobs 8 --urls-from pages.txt": Run(check=output_has('"url"', "/movies/b.swf")),
    "tavimo-scan --warc crawl.warc.gz --save movies/": Run(check=saved("movies/c.swf")),
}


def strip_comment(line):
    """The line without a shell comment: a # after a blank, outside quotes."""
    quote = None
    for i, ch in enumerate(line):
        if quote:
            quote = None if ch == quote else quote
        elif ch in "'\"":
            quote = ch
        elif ch == "#" and (i == 0 or line[i - 1].isspace()):
            return line[:i]
    return line


def command_lines(text):
    """The command lines of the ```sh blocks: comments and blank lines dropped, a line ending
    in a backslash joined with the next."""
    lines, block, pending = [], False, ""
    for raw in text.splitlines():
        stripped = raw.strip()
        if stripped.startswith("```"):
            block = not block and stripped[3:].strip() == "sh"
            continue
        if not block:
            continue
        line = strip_comment(raw).strip()
        if not line or line.startswith("#"):
            continue
        if line.endswith("\\"):
            pending += line[:-1].strip() + " "
            continue
        lines.append(pending + line)
        pending = ""
    return lines


def make_rules(makefile_text):
    """target -> (prerequisites, recipe text) of a Makefile."""
    rules, current = {}, None
    for line in makefile_text.splitlines():
        m = re.match(r"^([A-Za-z0-9_.$()/-]+)\s*:(?!=)\s*(.*)$", line)
        if m and not line.startswith("\t"):
            current = m.group(1)
            rules[current] = (m.group(2).split(), [])
        elif line.startswith("\t") and current:
            rules[current][1].append(line.strip())
        elif line.strip() and not line.startswith("\t"):
            current = None
    return rules


def ci_text(ci_script, makefile_text):
    """Everything CI runs, as text: .ci/run plus the prerequisites and recipes of the make
    targets it calls, followed through their prerequisites."""
    rules = make_rules(makefile_text)
    ci_script = "\n".join(strip_comment(line) for line in ci_script.splitlines())
    texts, seen = [ci_script], set()
    todo = [t for m in re.finditer(r"\bmake\s+([A-Za-z0-9_-]+)", ci_script) for t in [m.group(1)]]
    while todo:
        target = todo.pop()
        if target in seen or target not in rules:
            continue
        seen.add(target)
        prereqs, recipe = rules[target]
        texts += ["make " + target] + recipe
        todo += prereqs
    return "\n".join(texts)


def run_by_ci(command, entry, ci):
    needle = entry.text or command
    if re.search(r"(?<![\w-])%s(?![\w=-])" % re.escape(needle), ci):  # whole words: not `make fuzzy`
        return True
    # `make T VAR=...` in CI also runs the plain `make T`.
    m = re.fullmatch(r"make ([A-Za-z0-9_-]+)", needle)
    return bool(m) and re.search(r"(^|\n)\s*make %s\b" % re.escape(m.group(1)), ci) is not None


def local_site(root):
    """A page, its movies and a web archive of them, served on 127.0.0.1."""
    os.makedirs(os.path.join(root, "site", "movies"))
    for name, body in (("games.html", b'<embed src="movies/a.swf">'), ("more.html", b"<a href='movies/b.swf'>")):
        with open(os.path.join(root, "site", name), "wb") as f:
            f.write(body)
    for name in ("a", "b"):
        with open(os.path.join(root, "site", "movies", name + ".swf"), "wb") as f:
            f.write(b"FWS\x0a" + name.encode() * 64)

    class Quiet(http.server.SimpleHTTPRequestHandler):
        def __init__(self, *a, **k):
            super().__init__(*a, directory=os.path.join(root, "site"), **k)

        def log_message(self, *a):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Quiet)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def write_warc(path, url):
    """A record-gzipped web archive: one page and the movie it names."""
    def record(uri, http_bytes):
        head = ("WARC/1.0\r\nWARC-Type: response\r\nWARC-Target-URI: %s\r\n"
                "WARC-Date: 2024-01-01T00:00:00Z\r\nWARC-Record-ID: <urn:uuid:%08d-0000-0000-0000-000000000000>\r\n"
                "Content-Type: application/http;msgtype=response\r\nContent-Length: %d\r\n\r\n"
                % (uri, len(uri), len(http_bytes)))
        return gzip.compress(head.encode() + http_bytes + b"\r\n\r\n")

    def answer(ctype, body):
        return b"HTTP/1.1 200 OK\r\nContent-Type: %s\r\nContent-Length: %d\r\n\r\n%s" % (ctype, len(body), body)

    with open(path, "wb") as f:
        f.write(record(url + "/c.html", answer(b"text/html", b'<embed src="c.swf">')))
        f.write(record(url + "/c.swf", answer(b"application/x-shockwave-flash", b"FWS\x0a" + b"c" * 64)))


def as_run(command, entry, ctx):
    """The command as this test runs it: the entry's rewrites, then the word `build` (a path of
    its own, not part of another word or option) as the build tree under test."""
    text = command
    for old, new in entry.rewrite.items():
        if old not in text:
            raise ValueError("rewrite %r does not apply to: %s" % (old, command))
        text = text.replace(old, new)
    text = re.sub(r"(?<![\w./-])(\./)?build(?=/|\s|$)", lambda m: ctx["build"], text)
    return text.replace("{tmp}", ctx["tmp"]).replace("{url}", ctx["url"])


def run_one(command, entry, ctx, log):
    if entry.needs and not os.path.exists(os.path.join(ctx["build"], entry.needs)):
        log("skipped (this build has no %s): %s" % (entry.needs, command))
        return None
    try:
        text = as_run(command, entry, ctx)
    except ValueError as e:
        return str(e)
    env = dict(ctx["env"])
    if entry.desktop:
        # The program runs until it is told to end: give it the time to start, then SIGTERM,
        # which must close it cleanly.
        text = "%s/tests/with-xvfb.sh timeout --preserve-status -s TERM -k 10 %d %s" % (ctx["source"], entry.seconds, text)
    log("$ " + text)
    done = subprocess.run(["bash", "-c", text], cwd=ctx["tmp"] if ctx["tmp_cwd"](command) else ctx["source"],
                          env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                          errors="replace", stdin=subprocess.DEVNULL)
    if done.returncode != 0:
        return "exit status %d\n%s" % (done.returncode, done.stdout[-3000:])
    if entry.check:
        problem = entry.check(ctx, done)
        if problem:
            return problem + "\n" + done.stdout[-3000:]
    return None


def audit(listed, table, ci):
    """Faults of the table against the documents' (document, command) lines and CI's text."""
    faults, commands = [], {c for _, c in listed}
    for doc, c in listed:
        if c not in table:
            faults.append("%s: not run by a test or by CI (add it to tools/doc-commands.py): %s" % (doc, c))
    for c in table:
        if c not in commands:
            faults.append("tools/doc-commands.py: no document has this command any more: %s" % c)
    for c in sorted(commands & table.keys()):
        if isinstance(table[c], Ci) and not run_by_ci(c, table[c], ci):
            faults.append("listed as run by CI, but .ci/run does not run it: %s" % c)
    return faults


@contextlib.contextmanager
def kept_ctest_log(build):
    """A ctest run inside this test would take the log of the ctest running this test: CTest
    writes LastTest.log.tmp and renames it at its end, so the inner run replaces the outer run's
    file. Keep the outer file under a second name meanwhile and put it back afterwards; the
    outer run goes on writing into it."""
    tmp = os.path.join(build, "Testing", "Temporary", "LastTest.log.tmp") if build else None
    kept = tmp + ".outer" if tmp and os.path.exists(tmp) else None
    if kept:
        with contextlib.suppress(FileNotFoundError):
            os.unlink(kept)
        os.link(tmp, kept)
    try:
        yield
    finally:
        if kept:
            os.replace(kept, tmp)


def check(source, build, only=None):
    listed = []
    for doc in DOCS:
        path = os.path.join(source, doc)
        if os.path.exists(path):
            with open(path, encoding="utf-8") as f:
                listed += [(doc, c) for c in command_lines(f.read())]
    with open(os.path.join(source, ".ci", "run"), encoding="utf-8") as f:
        ci_script = f.read()
    with open(os.path.join(source, "Makefile"), encoding="utf-8") as f:
        ci = ci_text(ci_script, f.read())
    faults = audit(listed, COMMANDS, ci)
    if faults:
        return faults
    commands = {c for _, c in listed}

    if os.environ.get("TAVIMO_DOCS_NESTED"):
        return []  # started by one of the commands below (ctest -L unit): the outer run checks
    with contextlib.ExitStack() as stack:
        tmp_root = stack.enter_context(tempfile.TemporaryDirectory(prefix="tavimo-docs-"))
        server = local_site(tmp_root)
        stack.callback(server.shutdown)
        url = "http://127.0.0.1:%d" % server.server_address[1]
        home = os.path.join(tmp_root, "home")
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home + "/.config", XDG_CACHE_HOME=home + "/.cache",
                   XDG_RUNTIME_DIR=os.path.join(tmp_root, "run"), TAVIMO_DOCS_NESTED="1", MANPAGER="cat",
                   PATH=os.path.join(build, "cli") + os.pathsep + os.environ.get("PATH", ""),
                   http_proxy="", HTTP_PROXY="", no_proxy="127.0.0.1")
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
        for c in [c for c in COMMANDS if c in commands and isinstance(COMMANDS[c], Run)]:
            if only and not re.search(only, c):
                continue
            tmp = os.path.join(tmp_root, "cmd%d" % len(os.listdir(tmp_root)))
            os.makedirs(tmp)
            with open(os.path.join(tmp, "pages.txt"), "w") as f:
                f.write("%s/games.html\n%s/more.html\n" % (url, url))
            write_warc(os.path.join(tmp, "crawl.warc.gz"), url + "/movies")
            ctx = {"source": source, "build": build, "tmp": tmp, "url": url, "env": env,
                   "tmp_cwd": lambda cmd: cmd.startswith("tavimo-scan")}
            with kept_ctest_log(build if c.startswith("ctest ") else None):
                problem = run_one(c, COMMANDS[c], ctx, lambda s: print(s, flush=True))
            if problem:
                faults.append("%s\n  %s" % (c, problem.replace("\n", "\n  ")))
    return faults


def self_test():
    faults = []

    def expect(what, got, want):
        if got != want:
            faults.append("%s: got %r, want %r" % (what, got, want))

    # Which lines of a document are commands.
    for md, want in [
        ("```\nmake plain\n```\n```python\nprint(1)\n```\ntext `make inline`", []),
        ("```sh\nmake a   # a comment\n\n# only a comment\n```", ["make a"]),
        ("```sh\ngrep -c '#x' f\necho \"a # b\"\nls a#b\n```", ["grep -c '#x' f", 'echo "a # b"', "ls a#b"]),
        ("```sh\ncmd one \\\n  two\nnext\n```", ["cmd one two", "next"]),
        ("- item\n  ```sh\n  make in-list\n  ```\n```sh\nmake b\n```\nmake c", ["make in-list", "make b"]),
    ]:
        expect("command_lines(%r)" % md, command_lines(md), want)

    # What CI runs: .ci/run (not its comments) and the make targets it calls, prerequisites too.
    makefile = ("X ?= 1\nall: build\nbuild: configure\n\tcmake --build b\nconfigure:\n\tcmake -S . -B b\n"
                "# a comment line\ntest: build\n\tctest\nbench: build\n\t./bench/run.sh\nfuzzy:\n\tfz\n")
    ci = ci_text("set -e\n# make bench is too slow\nmake test CMAKE_ARGS=-DW=ON </dev/null\n"
                 "make fuzzy FUZZ_SECONDS=5\n", makefile)
    for command, entry, want in [
        ("make test", Ci(), True), ("make build", Ci(), True), ("cmake --build b", Ci(), True),
        ("make test CMAKE_ARGS=-DW=ON", Ci(), True), ("make test CMAKE_ARGS=-DW=OFF", Ci(), False),
        ("make bench", Ci(), False), ("./bench/run.sh", Ci(), False), ("make fuzz", Ci(), False),
        ("ctest -L unit", Ci(), False), ("make fuzzy FUZZ_SECONDS=5", Ci(), True),
        ("the fuzz line", Ci("make fuzzy FUZZ_SECONDS=5"), True)]:
        expect("run_by_ci(%r)" % command, run_by_ci(command, entry, ci), want)

    # The table against the documents.
    table = {"make test": Ci(), "ls build": Run(), "make bench": Ci()}
    for listed, want in [
        ([("A.md", "make test"), ("A.md", "ls build"), ("B.md", "make bench")], 1),  # bench: not in CI
        ([("A.md", "make test"), ("A.md", "ls build")], 1),                         # a stale entry
        ([("A.md", "make test"), ("A.md", "ls build"), ("B.md", "make bench"), ("B.md", "rm -rf x")], 2),
    ]:
        expect("audit(%r)" % listed, len(audit(listed, table, ci)), want)

    # The command as run.
    ctx = {"build": "/B", "tmp": "/T", "url": "http://127.0.0.1:1"}
    for command, rewrite, want in [
        ("./build/tavimo -mini", None, "/B/tavimo -mini"),
        ("cmake --build build --target x && build/tools/x resources", {"x resources": "x {tmp}"},
         "cmake --build /B --target x && /B/tools/x /T"),
        ("ctest --test-dir build -L unit", None, "ctest --test-dir /B -L unit"),
        ("cmake -B build-detect tools/build.sh rebuild", None, "cmake -B build-detect tools/build.sh rebuild"),
        ("scan https://example.org/a", {"https://example.org/": "{url}/"}, "scan http://127.0.0.1:1/a"),
    ]:
        expect("as_run(%r)" % command, as_run(command, Run(rewrite=rewrite), ctx), want)
    try:
        as_run("ls", Run(rewrite={"absent": "x"}), ctx)
        faults.append("a rewrite that does not apply passed")
    except ValueError:
        pass

    for fault in faults:
        print("FAIL: " + fault, file=sys.stderr)
    print("self-test: %d fault(s)" % len(faults) if faults else "self-test passed")
    return 1 if faults else 0


def main(argv):
    if argv[1:2] == ["--self-test"]:
        return self_test()
    if argv[1:2] == ["list"]:
        for path in argv[2:] or DOCS:
            with open(path, encoding="utf-8") as f:
                print("\n".join(command_lines(f.read())))
        return 0
    if argv[1:2] == ["check"] and len(argv) >= 4:
        faults = check(os.path.abspath(argv[2]), os.path.abspath(argv[3]), argv[4] if len(argv) > 4 else None)
        for fault in faults:
            print("FAIL: " + fault, file=sys.stderr)
        print("%d fault(s)" % len(faults) if faults else "every documented command is covered")
        return 1 if faults else 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
