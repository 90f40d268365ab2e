#!/usr/bin/env python3
"""Checks that every Debian package a build used is one that scripts/deps.sh installs.

Reads the header dependencies a Ninja build recorded and the shared libraries of the programs it
linked, maps each system file to the package that owns it, and fails, naming the package, when
that package is neither in the install list nor a hard dependency (Depends, Pre-Depends,
transitively) of one in it. Recommended packages do not count: the list installs without them.
Packages of priority required or important are on every Debian system and count as present.

    check_deps.py [--packages FILE] BUILD_DIR...

--packages reads the list from FILE (one package a line) instead of `deps.sh --list`.
"""

import argparse
import json
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SYSTEM_PREFIXES = ("/usr/", "/lib/", "/lib64/", "/lib32/")


def run(args, check=True):
    result = subprocess.run(args, capture_output=True, text=True)
    if check and result.returncode != 0:
        sys.exit(f"check_deps: {' '.join(args[:3])} failed: {result.stderr.strip()}")
    return result.stdout


def header_files(build_dir):
    """Every system header the compiler reported for the build's objects."""
    files = set()
    if os.path.exists(os.path.join(build_dir, ".ninja_deps")):
        for line in run(["ninja", "-C", build_dir, "-t", "deps"]).splitlines():
            if line.startswith(" "):
                files.add(line.strip())
    # Makefile builds, and objects Ninja has not folded into its log yet, keep .d files.
    for dirpath, _, names in os.walk(build_dir):
        for name in names:
            if name.endswith(".d"):
                with open(os.path.join(dirpath, name), errors="replace") as f:
                    text = f.read().replace("\\\n", " ")
                for entry in text.split(":", 1)[-1].split():
                    files.add(entry)
    return {os.path.normpath(f) for f in files if f.startswith(SYSTEM_PREFIXES)}


def is_elf_program(path):
    if not os.access(path, os.X_OK) or os.path.islink(path):
        return False
    with open(path, "rb") as f:
        return f.read(4) == b"\x7fELF"


def library_files(build_dir):
    """Every shared library the build's programs load (ldd resolves the whole closure)."""
    files = set()
    for dirpath, dirnames, names in os.walk(build_dir):
        dirnames[:] = [d for d in dirnames if d != "CMakeFiles"]  # compiler probes live there
        for name in names:
            path = os.path.join(dirpath, name)
            if not is_elf_program(path):
                continue
            for line in run(["ldd", path], check=False).splitlines():
                match = re.search(r"=>\s*(/\S+)", line) or re.match(r"\s*(/\S+)", line)
                if match:
                    files.add(os.path.normpath(match.group(1)))
    return {f for f in files if f.startswith(SYSTEM_PREFIXES)}


def dpkg_owners(paths):
    """Maps each path dpkg knows to its package; unknown paths are left out."""
    owners = {}
    paths = sorted(paths)
    for start in range(0, len(paths), 500):
        out = run(["dpkg-query", "-S", *paths[start:start + 500]], check=False)
        for line in out.splitlines():
            if line.startswith("diversion ") or ": " not in line:
                continue
            packages, path = line.split(": ", 1)
            owners[path] = packages.split(", ")[0].split(":")[0]
    return owners


def owners_of(paths, cache_file):
    """dpkg-query -S for every path, cached in the build folder until the package database changes."""
    stamp = os.stat("/var/lib/dpkg/status").st_mtime
    cache = {}
    try:
        with open(cache_file) as f:
            data = json.load(f)
        if data.get("stamp") == stamp:
            cache = data["owners"]
    except (OSError, ValueError, KeyError):
        pass
    todo = [p for p in paths if p not in cache]
    if todo:
        found = dpkg_owners(todo)
        # Merged /usr: a file may be registered under its /lib or its /usr/lib spelling, or only
        # under the target of a symlink.
        retry = {}
        for path in todo:
            if path in found:
                continue
            for alt in (path[4:] if path.startswith("/usr/") else "/usr" + path, os.path.realpath(path)):
                retry.setdefault(alt, path)
        for alt, owner in dpkg_owners(retry).items():
            found.setdefault(retry[alt], owner)
        for path in todo:
            cache[path] = found.get(path)
        with open(cache_file, "w") as f:
            json.dump({"stamp": stamp, "owners": cache}, f)
    return {p: cache[p] for p in paths}


def installed_packages():
    """name -> (hard dependencies as lists of alternatives, priority); plus virtual -> providers."""
    out = run(["dpkg-query", "-W", "-f",
               "${db:Status-Abbrev}\t${Package}\t${Priority}\t${Pre-Depends}, ${Depends}\t${Provides}\n"])
    packages, providers = {}, {}
    for line in out.splitlines():
        status, name, priority, depends, provides = line.split("\t")
        if not status.startswith("ii"):
            continue
        groups = []
        for group in depends.split(","):
            names = [re.split(r"[\s(:]", alt.strip())[0] for alt in group.split("|")]
            names = [n for n in names if n]
            if names:
                groups.append(names)
        packages[name] = (groups, priority)
        for virtual in provides.split(","):
            virtual = re.split(r"[\s(:]", virtual.strip())[0]
            if virtual:
                providers.setdefault(virtual, []).append(name)
    return packages, providers


def allowed_packages(listed, packages, providers):
    """The listed packages and the base system, with everything they hard-depend on."""
    base = [name for name, (_, priority) in packages.items() if priority in ("required", "important")]
    allowed = set()
    todo = list(listed) + base
    while todo:
        name = todo.pop()
        # Any installed alternative, or installed provider of a virtual name, may be the one that
        # satisfies a dependency.
        for real in ([name] if name in packages else []) + providers.get(name, []):
            if real not in allowed:
                allowed.add(real)
                for group in packages[real][0]:
                    todo.extend(group)
    return allowed


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--packages", help="file with the package list, one a line")
    parser.add_argument("build_dirs", nargs="+")
    args = parser.parse_args()

    if args.packages:
        with open(args.packages) as f:
            listed = [line.strip() for line in f if line.strip()]
    else:
        listed = run([os.path.join(ROOT, "scripts", "deps.sh"), "--list"]).split()

    used = {}  # path -> build folder that used it
    for build_dir in args.build_dirs:
        if not os.path.isdir(build_dir):
            sys.exit(f"check_deps: no build folder {build_dir}")
        for path in header_files(build_dir) | library_files(build_dir):
            used.setdefault(path, build_dir)
    if not used:
        sys.exit("check_deps: the build folders name no system file; is the build there?")

    cache_file = os.path.join(args.build_dirs[0], "check_deps-owners.json")
    owners = owners_of(sorted(used), cache_file)
    packages, providers = installed_packages()
    allowed = allowed_packages(listed, packages, providers)

    missing = {}  # package -> an example file
    for path, owner in sorted(owners.items()):
        if owner is None:
            print(f"check_deps: warning: {path} belongs to no package", file=sys.stderr)
        elif owner not in allowed:
            missing.setdefault(owner, path)
    for owner, path in sorted(missing.items()):
        print(f"check_deps: the build uses package {owner} ({path}, in {used[path]}) but "
              f"scripts/deps.sh neither lists it nor installs it through a dependency", file=sys.stderr)
    if missing:
        return 1
    used_packages = {o for o in owners.values() if o}
    print(f"check_deps: {len(used)} system files from {len(used_packages)} packages, all installed by scripts/deps.sh")
    return 0


if __name__ == "__main__":
    sys.exit(main())
