#!/usr/bin/env bash
# Every word reaches the reader: each page of tests/fixtures/fidelity/ (cells that start on
# a line of their own, legacy and multi-byte character sets, definition lists, blanks
# around styled text and links) is converted, then one headless LibreOffice process and
# one AbiWord process read all the RTF files back as text. The words of the page's
# NAME.expect file (UTF-8) must come out of each reader as whole words (and each sign as
# itself), in that order.
#   fidelity_reader_test.sh VELMORANE_BINARY SOURCE_DIR
set -euo pipefail
bin="$(realpath "$1")"
src="$(realpath "$2")"
pages="$src/tests/fixtures/fidelity"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/out" "$work/lo" "$work/abw" "$work/profile"

failed=0
for page in "$pages"/*.html; do
  name="$(basename "$page" .html)"
  if ! (cd "$work" && "$bin" "$page" "$work/out/$name.rtf" -kh yes >/dev/null 2>&1); then
    echo "FAIL $name: conversion failed"
    failed=1
  fi
done

# Whole words and signs of the expectation, in order, among those of the reader's text.
check() {
  local reader="$1" name="$2" text="$3"
  python3 - "$reader" "$name" "$pages/$name.expect" "$text" <<'PY' || failed=1
import re, sys
reader, name, expect_path, text_path = sys.argv[1:]
try:
    text = open(text_path, encoding="utf-8", errors="replace").read()
except FileNotFoundError:
    print(f"FAIL {name}: {reader} could not read the document"); sys.exit(1)
token = re.compile(r"\w+|[^\w\s]")
words = token.findall(text)
pos = 0
for word in token.findall(open(expect_path, encoding="utf-8").read()):
    try:
        pos = words.index(word, pos) + 1
    except ValueError:
        print(f"FAIL {name}: {reader} lacks '{word}' (in order, as a whole word or sign)")
        print("  reader text: " + " ".join(text.split())[:300])
        sys.exit(1)
PY
}

if command -v soffice >/dev/null 2>&1; then
  timeout 300 soffice --headless --norestore -env:UserInstallation=file://"$work/profile" \
    --convert-to "txt:Text (encoded):UTF8" --outdir "$work/lo" "$work"/out/*.rtf >/dev/null 2>&1 || true
  for rtf in "$work"/out/*.rtf; do
    name="$(basename "$rtf" .rtf)"
    check LibreOffice "$name" "$work/lo/$name.txt"
  done
else
  echo "soffice is not installed; the LibreOffice reading is skipped"
fi

if command -v abiword >/dev/null 2>&1; then
  cp "$work"/out/*.rtf "$work/abw/"
  (cd "$work/abw" && timeout 300 abiword --to=txt ./*.rtf >/dev/null 2>&1) || true
  for rtf in "$work"/out/*.rtf; do
    name="$(basename "$rtf" .rtf)"
    check AbiWord "$name" "$work/abw/$name.txt"
  done
else
  echo "abiword is not installed; the AbiWord reading is skipped"
fi

[ "$failed" -eq 0 ] || exit 1
echo "readers read every word of $(ls "$pages"/*.html | wc -l) pages"
