#!/usr/bin/python3
"""Fails when a Python helper of the tests imports a module that a fresh machine would lack.

Every module a helper loads (its imports and theirs) must come from a Debian package that
scripts/install-deps.sh installs, or that one of those pulls in through a hard Depends or
Pre-Depends. A Recommends does not count: the script installs without them. The check reads
the installed packages' own fields (dpkg), so it needs no package lists and no network.

  check-python-deps.py ROOT
"""
import ast
import json
import pathlib
import re
import subprocess
import sys

# Run in a clean interpreter per helper: import what the helper imports at its top,
# then name the file of every module that came with it.
PROBE = r"""
import ast, importlib, json, sys
before = set(sys.modules)  # what the interpreter itself loaded (site, .pth hooks)
tree = ast.parse(open(sys.argv[1], encoding="utf-8").read())
names = []
for node in ast.walk(tree):
    if isinstance(node, ast.Import):
        names += [a.name for a in node.names]
    elif isinstance(node, ast.ImportFrom) and node.level == 0 and node.module:
        names.append(node.module)
failed = {}
for name in names:
    try:
        importlib.import_module(name)
    except ImportError as e:
        failed[name] = getattr(e, "name", None) or name
files = {m: getattr(mod, "__file__", None) for m, mod in list(sys.modules.items()) if m not in before}
print(json.dumps({"failed": failed, "files": {m: f for m, f in files.items() if f}}))
"""


def listed_packages(root):
    text = (root / "scripts/install-deps.sh").read_text(encoding="utf-8")
    body = re.search(r"^packages=\((.*?)^\)", text, re.S | re.M)
    if not body:
        sys.exit("check-python-deps: no packages=( ... ) list in scripts/install-deps.sh")
    words = []
    for line in body.group(1).splitlines():
        words += line.split("#", 1)[0].split()
    return words


def installed():
    """Package -> its hard dependencies as lists of alternatives; virtual name -> providers."""
    out = subprocess.run(
        ["dpkg-query", "-W", "-f", "${Package}\t${db:Status-Abbrev}\t${Depends}\t${Pre-Depends}\t${Provides}\n"],
        check=True, capture_output=True, text=True).stdout
    depends, provides = {}, {}

    def names(field):
        groups = []
        for group in filter(None, (g.strip() for g in field.split(","))):
            groups.append([re.split(r"[\s(:]", alt.strip(), maxsplit=1)[0] for alt in group.split("|")])
        return groups

    for line in out.splitlines():
        pkg, status, dep, pre, prov = (line.split("\t") + [""] * 5)[:5]
        if not status.startswith("ii"):
            continue
        depends[pkg] = names(dep) + names(pre)
        for group in names(prov):
            provides.setdefault(group[0], []).append(pkg)
    return depends, provides


def closure(start, depends, provides):
    seen, todo = set(), list(start)
    while todo:
        pkg = todo.pop()
        for real in [pkg] + provides.get(pkg, []):
            if real in seen or real not in depends:
                continue
            seen.add(real)
            for alternatives in depends[real]:
                # One installed alternative satisfies the group; follow those that are there.
                todo += [a for a in alternatives if a in depends or a in provides]
    return seen


def owners(paths):
    if not paths:
        return {}
    run = subprocess.run(["dpkg", "-S", *paths], capture_output=True, text=True)
    owner = {}
    for line in run.stdout.splitlines():
        pkgs, _, path = line.partition(": ")
        if path in paths:
            owner[path] = pkgs.split(",")[0].split(":")[0].strip()
    return owner


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    helpers = sorted(p for d in ("tests", "scripts", "sim", "tools") for p in (root / d).rglob("*.py"))
    helpers = [h for h in helpers if h.resolve() != pathlib.Path(__file__).resolve()]
    if not helpers:
        sys.exit("check-python-deps: no Python helpers found under " + str(root))
    listed = listed_packages(root)
    depends, provides = installed()
    have = closure(listed, depends, provides)
    problems = []
    for helper in helpers:
        rel = helper.relative_to(root)
        probe = subprocess.run(["/usr/bin/python3", "-I", "-c", PROBE, str(helper)], capture_output=True, text=True)
        if probe.returncode != 0:
            problems.append(f"{rel}: its imports could not be probed: {probe.stderr.strip()}")
            continue
        found = json.loads(probe.stdout)
        for name, missing in sorted(found["failed"].items()):
            guess = "python3-" + missing.split(".")[0].replace("_", "-").lower()
            problems.append(f"{rel}: import {name} fails: no module {missing} "
                            f"(Debian package {guess}? add it to scripts/install-deps.sh)")
        paths = sorted({str(pathlib.Path(f)) for f in found["files"].values() if f.startswith("/")})
        owner = owners(paths)
        for module, file in sorted(found["files"].items()):
            if not file.startswith("/") or str(helper) == file:
                continue
            pkg = owner.get(str(pathlib.Path(file)))
            if pkg is None:
                problems.append(f"{rel}: module {module} ({file}) belongs to no Debian package; "
                                "a fresh machine will not have it")
            elif pkg not in have:
                problems.append(f"{rel}: module {module} comes from {pkg}, which scripts/install-deps.sh "
                                "neither installs nor gets through a hard Depends: add " + pkg)
    for p in dict.fromkeys(problems):
        print("check-python-deps: " + p, file=sys.stderr)
    if problems:
        return 1
    print(f"check-python-deps: {len(helpers)} helper(s), every module from a listed package or its Depends")
    return 0


if __name__ == "__main__":
    sys.exit(main())
