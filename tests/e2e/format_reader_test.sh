#!/usr/bin/env bash
# Formatting reaches the reader: each page of tests/fixtures/format/ is converted (with the
# arguments of NAME.args when there is one, else -kh yes), one headless LibreOffice process
# reads all the RTF files back as flat ODF, and format_reader.py checks the words of each
# NAME.expect (monospace, headings, list depth, sizes, colours, links, line breaks).
#   format_reader_test.sh VELMORANE_BINARY SOURCE_DIR
set -euo pipefail
bin="$(realpath "$1")"
src="$(realpath "$2")"
pages="$src/tests/fixtures/format"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/out" "$work/lo" "$work/profile"

if ! command -v soffice >/dev/null 2>&1; then
  echo "soffice is not installed; the formatting reading is skipped"
  exit 0
fi
failed=0
for page in "$pages"/*.html; do
  name="$(basename "$page" .html)"
  args=(-kh yes)
  if [ -f "$pages/$name.args" ]; then read -r -a args <"$pages/$name.args"; fi
  if ! (cd "$work" && "$bin" "$page" "$work/out/$name.rtf" "${args[@]}" >/dev/null 2>&1); then
    echo "FAIL $name: conversion failed"
    failed=1
  fi
done
timeout 300 soffice --headless --norestore -env:UserInstallation=file://"$work/profile" \
  --convert-to "fodt:OpenDocument Text Flat XML" --outdir "$work/lo" "$work"/out/*.rtf \
  >/dev/null 2>&1 || true
python3 "$src/tests/e2e/format_reader.py" "$work/lo" "$pages"/*.expect || failed=1
exit "$failed"
