#!/usr/bin/env bash
# The command-line program starts without the picture, download and drawing libraries: they
# are opened when a page needs them, and each one linked in would be mapped and bound at
# every start (librsvg brings some fifty more). A page without pictures is then converted
# with none of them loaded. librsvg is opened only by the helper that draws SVG pictures in
# a process of its own, never by the converter's process.
# Arguments: path of the velmorane program, source folder.
set -u
program=$(realpath "${1:?usage: startup_libraries_test.sh VELMORANE SOURCE_DIR}")
source_dir=$(realpath "${2:?usage: startup_libraries_test.sh VELMORANE SOURCE_DIR}")
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

if ! command -v readelf >/dev/null 2>&1; then
  echo "readelf not installed; nothing to check"
  exit 0
fi
needed=$(readelf -d "$program" | awk '/\(NEEDED\)/ { gsub(/[][]/, "", $5); print $5 }')
for library in librsvg libcairo libglib libgio libgobject libwebp libtiff libcurl; do
  if grep -q "^$library" <<<"$needed"; then fail "$library is linked into the program"; fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
printf '<p>no pictures here</p>\n' >plain.html
# The libraries the process has mapped when the conversion ends (LD_DEBUG lists each one
# the dynamic loader opens, at start or through dlopen).
LD_DEBUG=files "$program" plain.html "$work/out" -image yes >/dev/null 2>"$work/plain.log" ||
  fail "conversion of a page without pictures failed"
for library in librsvg libwebp libtiff libcurl; do
  if grep -q "file=$library" "$work/plain.log"; then
    fail "$library was opened for a page without pictures"
  fi
done

svg="$source_dir/tests/fixtures/images/viewbox.svg"
if [ -f "$svg" ] && [ -f "/usr/lib/$(gcc -print-multiarch 2>/dev/null)/librsvg-2.so.2" ]; then
  cp "$svg" "$work/drawing.svg"
  printf '<p><img src="drawing.svg" width=20 height=20></p>\n' >drawing.html
  LD_DEBUG=files "$program" drawing.html "$work/out" -image yes >/dev/null 2>"$work/svg.log" ||
    fail "conversion of a page with an SVG picture failed"
  if grep -q "file=librsvg" "$work/svg.log"; then
    fail "librsvg was opened in the converter's own process"
  fi
  grep -q '\\pict' "$work/out/drawing.rtf" || fail "the SVG picture is missing from the output"
fi

if [ "$failures" -gt 0 ]; then exit 1; fi
echo "start-up libraries: ok"
