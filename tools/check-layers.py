#!/usr/bin/env python3
"""Checks that the program's folders call only down, and no files in a circle.

    tools/check-layers.py [SOURCE_DIR]    checks the tree (default: this one)
    tools/check-layers.py --self-test     shows that it fails on a tree that breaks either rule

The folders, top to bottom, are LAYERS below (docs/layers.md draws them). A
file may include headers of its own folder and of folders below it, never of
one above. A header and its source are one unit; no units may include each
other in a circle, within a folder or across folders.
"""
import os
import re
import sys
import tempfile

LAYERS = ["app", "install", "remove", "check", "deploy", "undo", "machine", "run", "catalog", "base", "res"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/([A-Za-z0-9_]+)\.h"', re.M)


def units(root):
    """{unit: set of included units}, a unit being "folder/stem"."""
    found = {}
    for folder in LAYERS:
        path = os.path.join(root, folder)
        if not os.path.isdir(path):
            continue
        for name in sorted(os.listdir(path)):
            stem, ext = os.path.splitext(name)
            if ext not in (".cpp", ".h"):
                continue
            with open(os.path.join(path, name), encoding="utf-8", errors="replace") as f:
                text = f.read()
            unit = found.setdefault(folder + "/" + stem, set())
            unit.update(a + "/" + b for a, b in INCLUDE.findall(text))
    return found


def upward(graph):
    problems = []
    for unit, targets in sorted(graph.items()):
        here = LAYERS.index(unit.split("/")[0])
        for target in sorted(targets):
            folder = target.split("/")[0]
            if folder not in LAYERS:
                problems.append("%s includes %s.h, of a folder that is no layer" % (unit, target))
            elif LAYERS.index(folder) < here:
                problems.append("%s includes %s.h, of a folder above its own" % (unit, target))
    return problems


def circles(graph):
    """Strongly connected groups of more than one unit (Tarjan), each sorted."""
    index, low, stack, on, groups = {}, {}, [], set(), []

    def visit(unit):
        index[unit] = low[unit] = len(index)
        stack.append(unit)
        on.add(unit)
        for target in sorted(graph.get(unit, ())):
            if target == unit or target not in graph:
                continue
            if target not in index:
                visit(target)
                low[unit] = min(low[unit], low[target])
            elif target in on:
                low[unit] = min(low[unit], index[target])
        if low[unit] == index[unit]:
            group = []
            while True:
                member = stack.pop()
                on.discard(member)
                group.append(member)
                if member == unit:
                    break
            if len(group) > 1:
                groups.append(sorted(group))

    for unit in sorted(graph):
        if unit not in index:
            visit(unit)
    return ["these include each other in a circle: " + ", ".join(group) for group in sorted(groups)]


def check(root):
    graph = units(root)
    return upward(graph) + circles(graph), len(graph)


def self_test():
    cases = [
        ("a base file that includes a header of app", {"base/text.cpp": '#include "app/state.h"\n',
                                                       "app/state.h": ""}, "of a folder above its own"),
        ("two files of one folder that include each other", {"run/log.cpp": '#include "run/messages.h"\n',
                                                              "run/messages.cpp": '#include "run/log.h"\n',
                                                              "run/log.h": "", "run/messages.h": ""},
         "in a circle: run/log, run/messages"),
        ("a tree that keeps both rules", {"app/main.cpp": '#include "base/text.h"\n', "base/text.h": ""}, None),
    ]
    failed = 0
    for name, files, expected in cases:
        with tempfile.TemporaryDirectory() as root:
            for path, text in files.items():
                os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
                with open(os.path.join(root, path), "w") as f:
                    f.write(text)
            problems, _ = check(root)
        ok = (not problems) if expected is None else any(expected in p for p in problems)
        print("%s: %s -> %s" % ("ok" if ok else "FAILED", name, problems or "no problem"))
        failed += not ok
    return 1 if failed else 0


def main(argv):
    if argv[1:] == ["--self-test"]:
        return self_test()
    root = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    problems, count = check(root)
    for problem in problems:
        print("layers: " + problem)
    if problems:
        return 1
    print("layers: %d units in %s; every include goes down or across, no circle" % (count, " > ".join(LAYERS)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
