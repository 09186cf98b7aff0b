#!/usr/bin/env bash
# A simple RTF reader (pandoc's) reads every word of our links, nested tables and text in
# code pages other than Windows-1252 (a reader may ignore \ansicpg): each
# page of tests/fixtures/pandoc/ is converted with -kh yes and read back as plain text,
# and the words of NAME.words must all appear, in order.
#   pandoc_reader_test.sh VELMORANE_BINARY SOURCE_DIR
set -euo pipefail
bin="$(realpath "$1")"
src="$(realpath "$2")"
pages="$src/tests/fixtures/pandoc"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
if ! command -v pandoc >/dev/null 2>&1; then
  echo "pandoc is not installed; the simple reader check is skipped"
  exit 0
fi
failed=0
for page in "$pages"/*.html; do
  name="$(basename "$page" .html)"
  if ! (cd "$work" && "$bin" "$page" "$work/$name.rtf" -kh yes >/dev/null 2>&1); then
    echo "FAIL $name: conversion failed"
    failed=1
    continue
  fi
  pandoc -f rtf -t plain --wrap=none "$work/$name.rtf" >"$work/$name.txt"
  python3 - "$pages/$name.words" "$work/$name.txt" "$name" <<'PY' || failed=1
import re, sys
want = open(sys.argv[1], encoding="utf-8").read().split()
got = re.findall(r"[\w.]+", open(sys.argv[2], encoding="utf-8").read())
got = [w for w in (g.strip(".") for g in got) if w]
i = 0
for w in (x.strip(".") for x in want):
    while i < len(got) and got[i] != w:
        i += 1
    if i == len(got):
        print("FAIL %s: word %r not read (in order)" % (sys.argv[3], w))
        sys.exit(1)
    i += 1
PY
done
exit "$failed"
