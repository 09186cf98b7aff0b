#!/usr/bin/env python3
"""Checks that the source folders form layers.

Usage: check_layers.py SOURCE_ROOT

SOURCE_ROOT/layers.txt names the layers from the ground up, one top folder a line
(blank lines and "#" comments are skipped). A file belongs to the layer of its top folder
under SOURCE_ROOT. A file may include its own layer and the layers before it; an include
of a later layer runs back up the order, and two folders that include each other (or a
longer ring of them) form a cycle. Both are reported with file, line and include; so is a
folder missing from the order. An include without a folder ("velmorane_version.h",
generated into the build) names no layer and is passed over.

Exit status 0 when the tree holds to its layers, 1 when it does not, 2 on a usage error.
"""

import os
import re
import sys

SOURCE_SUFFIXES = (".h", ".cc", ".cpp", ".hpp", ".c")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def read_order(root):
    """The layer names of ROOT/layers.txt, ground first."""
    order = []
    with open(os.path.join(root, "layers.txt"), encoding="utf-8") as f:
        for line in f:
            name = line.split("#", 1)[0].strip()
            if name:
                order.append(name)
    return order


def top_folder(relative_path):
    """The first folder of a path relative to the root, or None for a file at the root."""
    parts = relative_path.replace("\\", "/").split("/")
    return parts[0] if len(parts) > 1 else None


def includes_of(root):
    """(file, line number, included path, file's layer, included layer) for every quoted
    include of a source file under ROOT whose two ends lie in folders."""
    found = []
    for folder, dirs, files in os.walk(root):
        dirs.sort()
        for name in sorted(files):
            if not name.endswith(SOURCE_SUFFIXES):
                continue
            path = os.path.join(folder, name)
            relative = os.path.relpath(path, root).replace(os.sep, "/")
            layer = top_folder(relative)
            if layer is None:
                continue
            with open(path, encoding="utf-8", errors="replace") as f:
                for number, line in enumerate(f, 1):
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    included = match.group(1)
                    target = top_folder(included)
                    # A path relative to the including file stays in its layer.
                    if target is None or not os.path.isdir(os.path.join(root, target)):
                        if os.path.exists(os.path.join(folder, included)):
                            target = layer
                        elif target is None:
                            continue
                    found.append((relative, number, included, layer, target))
    return found


def find_cycles(edges):
    """The rings of the folder graph EDGES ({folder: set of folders}): each strongly
    connected part of more than one folder, as a sorted list, by Tarjan's method."""
    index = {}
    low = {}
    stack = []
    on_stack = set()
    parts = []
    counter = [0]

    def visit(node):
        index[node] = low[node] = counter[0]
        counter[0] += 1
        stack.append(node)
        on_stack.add(node)
        for nxt in sorted(edges.get(node, ())):
            if nxt not in index:
                visit(nxt)
                low[node] = min(low[node], low[nxt])
            elif nxt in on_stack:
                low[node] = min(low[node], index[nxt])
        if low[node] == index[node]:
            part = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                part.append(member)
                if member == node:
                    break
            if len(part) > 1:
                parts.append(sorted(part))

    for node in sorted(edges):
        if node not in index:
            visit(node)
    return sorted(parts)


def check(root):
    """The problems of the tree under ROOT, one message each (empty when it is sound)."""
    order = read_order(root)
    rank = {name: i for i, name in enumerate(order)}
    problems = []
    edges = {}
    witness = {}
    unknown = set()
    for relative, number, included, layer, target in includes_of(root):
        for folder in (layer, target):
            if folder not in rank and folder not in unknown:
                unknown.add(folder)
                problems.append(f"{relative}:{number}: folder '{folder}' is not in the layer "
                                f"order of layers.txt")
        if layer == target:
            continue
        edges.setdefault(layer, set()).add(target)
        witness.setdefault((layer, target), (relative, number, included))
        if layer in rank and target in rank and rank[target] > rank[layer]:
            problems.append(f'{relative}:{number}: #include "{included}" runs up from layer '
                            f"'{layer}' to the later layer '{target}'")
    for part in find_cycles(edges):
        links = []
        for a in part:
            for b in part:
                if (a, b) in witness:
                    relative, number, included = witness[(a, b)]
                    links.append(f'{a} -> {b} ({relative}:{number}: #include "{included}")')
        problems.append("folders include each other: " + ", ".join(part) + "; " +
                        "; ".join(links))
    return problems


def main(argv):
    if len(argv) != 2 or not os.path.isdir(argv[1]):
        print("usage: check_layers.py SOURCE_ROOT", file=sys.stderr)
        return 2
    root = argv[1]
    try:
        problems = check(root)
    except OSError as error:
        print(f"check_layers.py: {error}", file=sys.stderr)
        return 2
    for problem in problems:
        print(problem)
    if problems:
        print(f"{len(problems)} layer problem(s) under {root}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
