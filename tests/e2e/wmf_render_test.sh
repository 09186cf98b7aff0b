#!/usr/bin/env bash
# Renders an RTF document holding our metafiles (written by the codec tests) with
# LibreOffice and checks that both pictures reach the PDF with their colours in place.
# Arguments: the velmorane program (unused here) and the source folder. Skips when
# LibreOffice or poppler's tools are missing.
set -euo pipefail

program=${1:-}
source_dir=${2:-$(cd "$(dirname "$0")/../.." && pwd)}

for tool in soffice pdfimages python3; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "wmf_render_test: $tool not found, skipping"
    exit 0
  fi
done

# The codec test binary sits in the tests folder of the build beside the program.
codecs_test=""
if [[ -n "$program" ]]; then
  build_dir=$(cd "$(dirname "$program")/.." && pwd)
  [[ -x "$build_dir/tests/codecs_test" ]] && codecs_test="$build_dir/tests/codecs_test"
fi
if [[ -z "$codecs_test" ]]; then
  codecs_test=$(find "$source_dir"/build* -name codecs_test -type f -perm -u+x 2>/dev/null | head -n 1 || true)
fi
if [[ -z "$codecs_test" ]]; then
  echo "wmf_render_test: codecs_test not built, skipping"
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

VELMORANE_WMF_SAMPLE_DIR="$work" "$codecs_test" --gtest_filter='MetafileSample.*' >/dev/null
[[ -s "$work/wmf_sample.rtf" ]] || { echo "FAIL: no sample RTF written"; exit 1; }

# A private profile keeps the run independent of any user installation.
timeout 300 soffice --headless "-env:UserInstallation=file://$work/profile" \
  --convert-to pdf --outdir "$work" "$work/wmf_sample.rtf" >/dev/null 2>&1 || true
[[ -s "$work/wmf_sample.pdf" ]] || { echo "FAIL: LibreOffice produced no PDF"; exit 1; }

count=$(pdfimages -list "$work/wmf_sample.pdf" | awk 'NR > 2 && $3 == "image"' | wc -l)
if [[ "$count" -ne 2 ]]; then
  echo "FAIL: expected 2 pictures in the PDF, found $count"
  pdfimages -list "$work/wmf_sample.pdf"
  exit 1
fi

pdfimages "$work/wmf_sample.pdf" "$work/picture"
python3 - "$work" <<'PY'
import glob
import sys

def read_ppm(path):
    data = open(path, "rb").read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    assert fields[0] == b"P6", path
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[pos + 1:]

failures = 0
pictures = sorted(glob.glob(sys.argv[1] + "/picture-*.ppm"))
for path in pictures:
    width, height, pixels = read_ppm(path)
    def at(x, y):
        i = 3 * (y * width + x)
        return tuple(pixels[i:i + 3])
    want = {"top left red": (width // 8, height // 8, (255, 0, 0)),
            "top right blue": (width - 1 - width // 8, height // 8, (0, 0, 255)),
            "bottom green": (width // 2, height - 1 - height // 8, (0, 255, 0))}
    for name, (x, y, colour) in want.items():
        got = at(x, y)
        if any(abs(a - b) > 16 for a, b in zip(got, colour)):
            print(f"FAIL: {path} {name}: got {got}")
            failures += 1
if not pictures:
    print("FAIL: no pictures extracted")
    failures += 1
sys.exit(1 if failures else 0)
PY
echo "wmf_render_test: both metafile pictures rendered"
