#!/usr/bin/env python3
"""Holds every #include line of the tree to the folder order of cmake/Folders.txt.

A file may include its own folder's files and those of folders listed before its own. The check
fails on an include of a folder listed after the includer's (an upward include), on a loop in the
graph of folders, and on a source file in a folder the order does not name (so a new folder is
written down before it is used).

    scripts/check_includes.py [ROOT]      ROOT defaults to the checkout this script belongs to
"""

import os
import re
import sys

SOURCE_SUFFIXES = (".h", ".hpp", ".c", ".cc", ".cpp", ".inc")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def read_order(root):
    """The folders of cmake/Folders.txt, lowest first."""
    with open(os.path.join(root, "cmake", "Folders.txt"), encoding="utf-8") as f:
        lines = (line.strip() for line in f)
        return [line.rstrip("/") for line in lines if line and not line.startswith("#")]


def source_files(root):
    """Every C or C++ source below root, as paths relative to it; build trees and hidden folders
    are not part of the tree."""
    for top, dirs, files in os.walk(root):
        dirs[:] = sorted(d for d in dirs if not d.startswith(".") and not (top == root and d.startswith("build")))
        for name in sorted(files):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.relpath(os.path.join(top, name), root).replace(os.sep, "/")


def folder_of(path, order):
    """The most specific folder of the order that holds path, or None."""
    best = None
    for folder in order:
        if path.startswith(folder + "/") and (best is None or len(folder) > len(best)):
            best = folder
    return best


def included_file(root, includer, kind, name):
    """The tree's file an include line names, or None for a system or generated header. Quoted
    names are looked up beside the includer first, then from the root, as the compiler does."""
    candidates = [os.path.join(os.path.dirname(includer), name)] if kind == '"' else []
    candidates.append(name)
    for candidate in candidates:
        path = os.path.normpath(candidate).replace(os.sep, "/")
        if not path.startswith("../") and os.path.isfile(os.path.join(root, path)):
            return path
    return None


def find_loop(edges):
    """One loop in the folder graph as a list of folders (first repeated at the end), or None."""
    state = {}

    def visit(node, trail):
        state[node] = "open"
        trail.append(node)
        for nxt in sorted(edges.get(node, ())):
            if state.get(nxt) == "open":
                return trail[trail.index(nxt):] + [nxt]
            if nxt not in state:
                loop = visit(nxt, trail)
                if loop:
                    return loop
        trail.pop()
        state[node] = "done"
        return None

    for node in sorted(edges):
        if node not in state:
            loop = visit(node, [])
            if loop:
                return loop
    return None


def check(root):
    """The problems found, one line each; empty when the tree keeps to its order."""
    order = read_order(root)
    rank = {folder: i for i, folder in enumerate(order)}
    problems = []
    edges = {}
    witness = {}
    for path in source_files(root):
        own = folder_of(path, order)
        if own is None:
            problems.append(f"{path}: its folder is not in cmake/Folders.txt")
            continue
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                target = included_file(root, path, match.group(1), match.group(2))
                other = folder_of(target, order) if target else None
                if other is None or other == own:
                    continue
                edges.setdefault(own, set()).add(other)
                witness.setdefault((own, other), f"{path}:{number}")
                if rank[other] > rank[own]:
                    problems.append(f"{path}:{number}: includes {target}, but {other} is above {own}")
    loop = find_loop(edges)
    if loop:
        steps = ", ".join(witness[(a, b)] for a, b in zip(loop, loop[1:]))
        problems.append(f"folder loop: {' -> '.join(loop)} (at {steps})")
    return problems


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    problems = check(root)
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        print(f"include check: {len(problems)} problem(s); cmake/Folders.txt gives the order", file=sys.stderr)
        return 1
    print("include check: every include keeps to cmake/Folders.txt")
    return 0


if __name__ == "__main__":
    sys.exit(main())
