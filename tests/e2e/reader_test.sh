#!/usr/bin/env bash
# A real reader for what we write: converts every page of tests/fixtures/pages/ and the
# sample document, checks that each RTF starts with "{\rtf1" and that its braces
# balance, then has one headless LibreOffice process load them all (exporting text) and
# fails for any document it could not load. Checks listed in a page's
# "<!-- expect: word word ... -->" comment must appear, in order, in the text export.
#   reader_test.sh VELMORANE_BINARY SOURCE_DIR
set -euo pipefail
bin="$1"
src="$2"
if ! command -v soffice >/dev/null 2>&1; then
  echo "soffice is not installed; the reader check is skipped"
  exit 0
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir -p out text profile

pages=("$src"/tests/fixtures/pages/*.html "$src/examples/sample.html")
failed=0
for page in "${pages[@]}"; do
  [ -f "$page" ] || continue
  name="$(basename "$page" .html)"
  flags=(-image yes -kh yes)
  if ! "$bin" "$page" "$work/out/$name.rtf" "${flags[@]}" >/dev/null 2>&1; then
    echo "FAIL $name: conversion exit status $?"
    failed=1
    continue
  fi
  python3 - "$work/out/$name.rtf" <<'PY' || failed=1
import sys
data = open(sys.argv[1], "rb").read()
name = sys.argv[1]
if not data.startswith(b"{\\rtf1"):
    print(f"FAIL {name}: does not start with {{\\rtf1"); sys.exit(1)
depth = 0
i = 0
while i < len(data):
    c = data[i:i+1]
    if c == b"\\":
        i += 2; continue
    if c == b"{": depth += 1
    elif c == b"}":
        depth -= 1
        if depth < 0:
            print(f"FAIL {name}: a closing brace without its opening one at byte {i}"); sys.exit(1)
    i += 1
if depth != 0:
    print(f"FAIL {name}: {depth} groups left open"); sys.exit(1)
PY
done

# One office process for the whole batch.
timeout 300 soffice --headless --norestore -env:UserInstallation=file://"$work/profile" \
  --convert-to "txt:Text (encoded):UTF8" --outdir "$work/text" "$work"/out/*.rtf >/dev/null 2>&1 || true

for rtf in "$work"/out/*.rtf; do
  name="$(basename "$rtf" .rtf)"
  txt="$work/text/$name.txt"
  if [ ! -f "$txt" ]; then
    echo "FAIL $name: LibreOffice could not load the document"
    failed=1
    continue
  fi
  page="$src/tests/fixtures/pages/$name.html"
  [ -f "$page" ] || continue
  python3 - "$page" "$txt" <<'PY' || failed=1
import re, sys
page = open(sys.argv[1], encoding="utf-8", errors="replace").read()
text = open(sys.argv[2], encoding="utf-8", errors="replace").read()
m = re.search(r"<!--\s*expect:(.*?)-->", page, re.S)
if not m:
    sys.exit(0)
pos = 0
for word in m.group(1).split():
    found = text.find(word, pos)
    if found < 0:
        print(f"FAIL {sys.argv[1]}: '{word}' missing or out of order in the reader's text")
        sys.exit(1)
    pos = found + len(word)
PY
done
if [ "$failed" -ne 0 ]; then exit 1; fi
echo "reader check passed for $(ls "$work"/out/*.rtf | wc -l) documents"
