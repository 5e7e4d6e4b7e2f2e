#!/usr/bin/env python3
"""Fails when a source folder includes a header of a folder it may not use.

Usage: check-layers.py [source root]   (default: the folder above this script)
       check-layers.py --self-test     (the checker against a small tree of known faults)

Every #include "<folder>/..." of every source is checked against the table below; a folder
may always include its own headers. Each offending include is named with file and line.
"""
import os
import re
import sys

# Which folders a folder's sources may include, besides their own.
ALLOWED = {
    "platform": {"platform"},
    "platform/desktop": {"platform", "platform/desktop"},
    "net": {"platform"},
    "detect": {"net", "platform"},
    "download": {"detect", "net", "platform"},
    "controls": {"platform", "platform/desktop"},
    "components": {"controls", "platform", "platform/desktop"},
    "app": {"platform", "platform/desktop", "net", "detect", "download", "controls", "components"},
    "cli": {"download", "detect", "net", "platform"},
}
# Folders whose sources may include anything.
UNCHECKED = {"tests", "bench", "fuzz", "tools"}
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".c")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def folder_of(path):
    """The layer a repository path belongs to, or None for a path outside the layers."""
    parts = path.split("/")
    if len(parts) > 2 and parts[0] == "platform" and parts[1] == "desktop":
        return "platform/desktop"
    if len(parts) > 1:
        return parts[0]
    return None


def check(root):
    layers = set(ALLOWED) | UNCHECKED
    faults = []
    for top in sorted(ALLOWED):
        if "/" in top:
            continue  # walked as part of its parent
        for dirpath, dirnames, filenames in os.walk(os.path.join(root, top)):
            dirnames.sort()
            for name in sorted(filenames):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                full = os.path.join(dirpath, name)
                rel = os.path.relpath(full, root).replace(os.sep, "/")
                source = folder_of(rel)
                with open(full, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m:
                            continue
                        target = folder_of(m.group(1))
                        if target not in layers:
                            continue  # not a header of ours (e.g. a generated ui_ header)
                        if target == source or target in ALLOWED[source]:
                            continue
                        faults.append(f"{rel}:{number}: {source}/ may not include \"{m.group(1)}\" "
                                      f"(allowed: {', '.join(sorted(ALLOWED[source] | {source}))})")
    return faults


def self_test():
    import tempfile
    cases = {  # file: (its includes, faults expected)
        "platform/Paths.cpp": (["platform/Paths.h", "nlohmann/json.hpp"], 0),
        "platform/Dialogs.cpp": (["platform/desktop/Dialogs.h"], 1),
        "platform/desktop/Dialogs.cpp": (["platform/desktop/Dialogs.h", "platform/Paths.h"], 0),
        "platform/desktop/player/View.cpp": (["platform/desktop/PlayerView.h", "net/HttpCli.h"], 1),
        "net/HttpCli.cpp": (["platform/Stream.h", "detect/ItemSink.h"], 1),
        "detect/PageScan.cpp": (["net/HttpCli.h", "app/ItemList.h", "controls/DialogLook.h",
                                 "platform/desktop/Dialogs.h"], 3),
        "download/Driver.cpp": (["detect/ItemSink.h", "tests/support/TempDir.h"], 1),
        "controls/Flat.cpp": (["platform/desktop/JpegImage.h", "components/MouseImage.h"], 1),
        "app/Form.cpp": (["components/MouseImage.h", "download/HttpGet.h", "cli/ItemPrinter.h"], 1),
        "cli/main.cpp": (["download/HttpGet.h", "app/ItemList.h", "platform/desktop/Dialogs.h"], 2),
        "tests/app/T.cpp": (["app/ItemList.h", "cli/ItemPrinter.h"], 0),
    }
    with tempfile.TemporaryDirectory() as root:
        for path, (includes, _) in cases.items():
            os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
            with open(os.path.join(root, path), "w") as f:
                f.write("".join(f'#include "{i}"\n' for i in includes) + "#include <QWidget>\n")
        faults = check(root)
    ok = True
    for path, (_, expected) in cases.items():
        found = sum(1 for fault in faults if fault.startswith(path + ":"))
        if found != expected:
            print(f"self-test: {path}: {found} fault(s), expected {expected}", file=sys.stderr)
            ok = False
    return 0 if ok else 1


def main():
    if sys.argv[1:] == ["--self-test"]:
        return self_test()
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    faults = check(root)
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} include(s) cross the layers", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
