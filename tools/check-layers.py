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

# Which folders a folder's sources may include, besides their own; lowest layer first. A
# folder's subfolders (base/http, sources/cache, player/module ...) belong to it.
BELOW = {
    "base": set(),
    "swf": {"base"},
    "compat": {"base"},
    "platform": {"base", "compat"},
    "sources": {"base", "swf", "compat", "platform"},
    "net": {"base", "swf", "compat", "platform"},
    "detect": {"base", "swf", "compat", "platform", "sources", "net"},
    "download": {"base", "swf", "compat", "platform", "sources", "net", "detect"},
    "desktop": {"base", "compat", "platform"},
    "player": {"base", "compat", "platform", "net", "desktop"},
    "controls": {"base", "compat", "platform", "desktop"},
    "components": {"base", "compat", "platform", "sources", "desktop", "controls"},
    "app": {"base", "swf", "compat", "platform", "sources", "net", "detect", "download", "desktop",
            "player", "controls", "components"},
    "cli": {"base", "swf", "compat", "platform", "sources", "net", "detect", "download"},
}
# Folders whose sources may include anything.
UNCHECKED = {"tests", "bench", "fuzz", "tools"}
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".c")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def folder_of(path):
    """The layer a repository path belongs to, or None for a path outside the layers."""
    parts = path.split("/")
    return parts[0] if len(parts) > 1 else None


def table_faults(table):
    """Faults of the table itself: a folder that may use one that may use it back (a cycle), or
    a use of a folder the table does not name."""
    faults = []
    for folder, uses in sorted(table.items()):
        for other in sorted(uses):
            if other not in table:
                faults.append(f"table: {folder}/ uses unknown folder {other}/")
                continue
            seen, todo = set(), [other]
            while todo:
                f = todo.pop()
                if f == folder:
                    faults.append(f"table: {folder}/ and {other}/ use each other")
                    break
                if f not in seen:
                    seen.add(f)
                    todo.extend(table.get(f, ()))
    return faults


def check(root):
    layers = set(BELOW) | UNCHECKED
    faults = table_faults(BELOW)
    for top in sorted(BELOW):
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
                        if target == source or target in BELOW[source]:
                            continue
                        faults.append(f"{rel}:{number}: {source}/ may not include \"{m.group(1)}\" "
                                      f"(allowed: {', '.join(sorted(BELOW[source] | {source}))})")
    return faults


def self_test():
    import tempfile
    cases = {  # file: (its includes, faults expected)
        "base/Ini.cpp": (["base/Ini.h", "base/http/Head.h", "nlohmann/json.hpp"], 0),
        "base/http/Head.cpp": (["platform/Paths.h", "compat/Registry.h"], 2),
        "compat/Registry.cpp": (["base/Ini.h", "platform/Paths.h"], 1),
        "platform/Paths.cpp": (["compat/Errors.h", "desktop/Dialogs.h", "sources/cache/Store.h"], 2),
        "sources/cache/Store.cpp": (["sources/warc/Reader.h", "net/HttpCli.h", "platform/Paths.h"], 1),
        "desktop/Dialogs.cpp": (["desktop/Dialogs.h", "player/View.h", "platform/Paths.h"], 1),
        "player/module/View.cpp": (["player/PlayerView.h", "net/MovieFetcher.h", "detect/Scan.h"], 1),
        "net/HttpCli.cpp": (["base/Stream.h", "detect/ItemSink.h", "sources/cache/Store.h"], 2),
        "detect/PageScan.cpp": (["net/HttpCli.h", "app/ItemList.h", "controls/DialogLook.h",
                                 "desktop/Dialogs.h"], 3),
        "download/Driver.cpp": (["detect/ItemSink.h", "tests/support/TempDir.h"], 1),
        "controls/Flat.cpp": (["desktop/JpegImage.h", "components/MouseImage.h"], 1),
        "components/Cache.cpp": (["sources/cache/Store.h", "net/HttpCli.h"], 1),
        "app/Form.cpp": (["components/MouseImage.h", "download/HttpGet.h", "cli/ItemPrinter.h"], 1),
        "cli/main.cpp": (["download/HttpGet.h", "app/ItemList.h", "desktop/Dialogs.h"], 2),
        "tests/app/T.cpp": (["app/ItemList.h", "cli/ItemPrinter.h"], 0),
    }
    with tempfile.TemporaryDirectory() as root:
        for path, (includes, _) in cases.items():
            os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
            with open(os.path.join(root, path), "w") as f:
                f.write("".join(f'#include "{i}"\n' for i in includes) + "#include <QWidget>\n")
        faults = check(root)
    ok = True
    planted = {k: set(v) for k, v in BELOW.items()}
    planted["compat"].add("platform")  # a back edge: platform already uses compat
    if not any("use each other" in fault for fault in table_faults(planted)) or table_faults(BELOW):
        print("self-test: the table's back edge was not found (or the table has a fault)",
              file=sys.stderr)
        ok = False
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
