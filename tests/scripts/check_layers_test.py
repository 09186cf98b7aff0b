#!/usr/bin/env python3
"""Runs scripts/check_layers.py on the small trees of tests/fixtures/layers and compares
its status and messages with what each tree should give."""

import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
CHECK = os.path.join(SOURCE, "scripts", "check_layers.py")
TREES = os.path.join(SOURCE, "tests", "fixtures", "layers")

# tree, exit status, lines the output must hold, texts it must not hold
CASES = [
    # Downward includes, a same-folder include, a generated header without a folder, an
    # include in a comment, a subfolder of a layer, comments in the order file.
    ("good", 0, [], ["runs up", "each other", "not in the layer order"]),
    # One include up the order, no ring.
    ("upward", 1,
     ["low/a.cc:3: #include \"mid/m.h\" runs up from layer 'low' to the later layer 'mid'"],
     ["each other"]),
    # A ring of three folders: one include up, and the ring named with one include per link.
    ("cycle", 1,
     ["low/x.h:1: #include \"top/t.h\" runs up from layer 'low' to the later layer 'top'",
      "folders include each other: low, mid, top; "
      "low -> top (low/x.h:1: #include \"top/t.h\"); "
      "mid -> low (mid/m.h:1: #include \"low/x.h\"); "
      "top -> mid (top/t.h:1: #include \"mid/m.h\")"],
     []),
    # A folder the order leaves out is not taken for any layer.
    ("unknown", 1, ["extra/e.cc:1: folder 'extra' is not in the layer order of layers.txt"],
     ["runs up"]),
]


def main():
    failures = 0
    for tree, status, wanted, unwanted in CASES:
        run = subprocess.run([sys.executable, CHECK, os.path.join(TREES, tree)],
                             capture_output=True, text=True, check=False)
        lines = run.stdout.splitlines()
        problems = []
        if run.returncode != status:
            problems.append(f"status {run.returncode}, wanted {status}")
        problems += [f"missing line: {line}" for line in wanted if line not in lines]
        problems += [f"unwanted text: {text}" for text in unwanted if text in run.stdout]
        for problem in problems:
            print(f"{tree}: {problem}")
        if problems:
            print(f"{tree}: output was:\n{run.stdout}{run.stderr}")
            failures += 1
    # A missing root is a usage error, not a sound tree.
    run = subprocess.run([sys.executable, CHECK, os.path.join(TREES, "no-such-tree")],
                         capture_output=True, text=True, check=False)
    if run.returncode != 2:
        print(f"missing tree: status {run.returncode}, wanted 2")
        failures += 1
    print(f"{len(CASES) + 1 - failures} of {len(CASES) + 1} cases passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
