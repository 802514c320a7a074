#!/usr/bin/env python3
"""Checks that no two files of the portable platform call or include each other in a loop.

A file depends on another when it includes it, or names a function or variable that the other
defines (outside an anonymous namespace and outside any class or function) and does not declare
itself; enumerators are not names of either. Definitions come from Universal Ctags. Every strongly
connected component of more than one file is a loop: they are printed and the exit status is 1.
Exit status 77 (skipped) when ctags is not Universal Ctags. --edges prints every dependency.

Usage: file_loops.py FOLDER [--edges]   (run from the source root; FOLDER e.g. platform/portable)
"""
import collections
import json
import os
import re
import subprocess
import sys

SKIPPED = 77
SCOPES_THAT_HIDE = ("class", "struct", "union", "enum", "function")


def source_files(folder):
    return sorted(os.path.join(d, f) for d, _, names in os.walk(folder) for f in names if f.endswith((".cpp", ".h")))


def read_tags(files):
    """Names defined, declared and enumerated per file."""
    try:
        output = subprocess.run(["ctags", "--output-format=json", "--fields=+nKSeZ", "--kinds-c++=fvpxe", "-f", "-"]
                                + files, capture_output=True, text=True, check=True).stdout
    except (OSError, subprocess.CalledProcessError):
        sys.exit(SKIPPED)
    defined, declared, enumerators = (collections.defaultdict(set) for _ in range(3))
    for line in output.splitlines():
        tag = json.loads(line)
        if tag.get("_type") != "tag":
            continue
        if tag["kind"] == "enumerator":
            enumerators[tag["path"]].add(tag["name"])
            continue
        if tag.get("scope", "").startswith("__anon") or tag.get("scopeKind", "") in SCOPES_THAT_HIDE:
            continue
        declared[tag["name"]].add(tag["path"])
        if tag["kind"] not in ("prototype", "externvar"):
            defined[tag["name"]].add(tag["path"])
    return defined, declared, enumerators


def names_used(path):
    text = open(path).read()
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    text = re.sub(r"//[^\n]*", " ", text)
    text = re.sub(r'"(\\.|[^"\\])*"', '""', text)
    text = re.sub(r"\b\w+::(\w+)\b(?!\s*\()", " ", text)  # qualified non-calls: enumerators, members
    return set(re.findall(r"[A-Za-z_]\w*", text))


def dependencies(folder, files):
    defined, declared, enumerators = read_tags(files)
    edges = collections.defaultdict(set)
    for path in files:
        for name in re.findall(r'#include\s+"([^"]+)"', open(path).read()):
            if name.startswith(folder + "/") and os.path.exists(name):
                edges[path].add(name)
        for word in names_used(path) - enumerators[path]:
            owners = defined.get(word, set()) - {path}
            if owners and path not in declared.get(word, set()):
                edges[path] |= owners
    return edges


def loops(files, edges):
    """Tarjan's strongly connected components of more than one file."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []

    def visit(v):
        index[v] = low[v] = len(index)
        stack.append(v)
        on_stack.add(v)
        for w in edges[v]:
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on_stack:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            component = []
            while True:
                w = stack.pop()
                on_stack.discard(w)
                component.append(w)
                if w == v:
                    break
            if len(component) > 1:
                found.append(sorted(component))

    sys.setrecursionlimit(10000)
    for f in files:
        if f not in index:
            visit(f)
    return found


def main():
    folder = sys.argv[1].rstrip("/")
    files = source_files(folder)
    edges = dependencies(folder, files)
    if "--edges" in sys.argv:
        for f in files:
            for t in sorted(edges[f]):
                print(f, "->", t)
    found = loops(files, edges)
    print(f"{len(files)} files, {sum(len(e) for e in edges.values())} dependencies, {len(found)} loops")
    for component in found:
        print("loop:", " ".join(component))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
