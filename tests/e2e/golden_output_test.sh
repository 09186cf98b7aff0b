#!/usr/bin/env bash
# Byte-identical guard for optimisations: converts a fixed set of pages in the three output
# modes and compares the SHA-256 of every output file with tests/fixtures/golden/outputs.sha256.
# A change in the engine's output shows here as the case that changed.
#
#   golden_output_test.sh [--update] <velmorane binary> <source folder>
#
# --update rewrites the checksum file from the current engine (only after checking that
# the changed output is what is wanted).
set -u
update=0
if [ "${1:-}" = "--update" ]; then
  update=1
  shift
fi
bin="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
source_dir="$(cd "$2" && pwd)"
golden="$source_dir/tests/fixtures/golden/outputs.sha256"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

# Deterministic generated pages of about 200 KB: UTF-8 and windows-1251.
python3 "$source_dir/bench/scripts/make_pages.py" "$work/gen" --sizes "" --small-pages 0 \
  --page-kb 200 --seed 7 || { echo "FAIL: page generator" >&2; exit 1; }
# The 1 MB benchmark pages and three pages of the benchmark's folder, exactly as the
# benchmark script makes them.
python3 "$source_dir/bench/scripts/make_pages.py" "$work/bench" --sizes 1 --small-pages 3 \
  || { echo "FAIL: page generator" >&2; exit 1; }
cp "$source_dir/examples/sample.html" "$source_dir/examples/sample.png" \
  "$source_dir/examples/sample.gif" "$work/"

# The modes: RTF with tables and links, RTF without tables, plain text.
modes=("rtf|-table yes -kh yes" "rtf-notables|-table no" "txt|-txt yes")

case_count=0
actual="$work/actual.sha256"
: >"$actual"
# Converts one page in one mode and records "sha256  case" for it.
convert() {
  local name="$1" page="$2" args="$3"
  # The case name is no folder name: a target ending in ".rtf" would be taken as a file.
  local out="$work/out/case$((++case_count))"
  mkdir -p "$out"
  # shellcheck disable=SC2086  # the mode's arguments are meant to split
  "$bin" "$page" "$out" $args >/dev/null 2>"$work/stderr.txt"
  local status=$?
  local file
  file="$(find "$out" -maxdepth 1 -type f \( -name '*.rtf' -o -name '*.txt' \) | head -n 1)"
  if [ "$status" -ne 0 ] || [ -z "$file" ]; then
    echo "status-$status-no-output  $name" >>"$actual"
    return
  fi
  echo "$(sha256sum <"$file" | cut -d' ' -f1)  $name" >>"$actual"
}

pages=("$source_dir"/tests/fixtures/pages/*.html "$source_dir"/tests/fixtures/golden/*.html
       "$work/gen/page-200kb.html"
       "$work/gen/page-200kb-1251.html"
       "$work/bench/page-1mb.html" "$work/bench/page-1mb-1251.html"
       "$work/bench"/small/*.html)
for page in "${pages[@]}"; do
  base="$(basename "$page" .html)"
  for mode in "${modes[@]}"; do
    convert "$base:${mode%%|*}" "$page" "${mode#*|}"
  done
done
convert "sample:rtf-images" "$work/sample.html" "-image yes"
convert "sample:txt" "$work/sample.html" "-txt yes"

if [ "$update" -eq 1 ]; then
  mkdir -p "$(dirname "$golden")"
  cp "$actual" "$golden"
  echo "updated $golden ($(wc -l <"$golden") outputs)"
  exit 0
fi
if [ ! -f "$golden" ]; then
  echo "FAIL: no checksum file $golden (run with --update)" >&2
  exit 1
fi
if ! diff -u "$golden" "$actual" >&2; then
  echo "FAIL: output differs from the golden checksums (lines above)" >&2
  exit 1
fi
echo "all $(wc -l <"$actual") outputs match"
