#!/usr/bin/env bash
# Pictures in the forms pages carry them today reach a real reader: a page with one
# picture of each kind (data: PNG and JPEG, an SVG file, an inline drawing, WebP, icon,
# TIFF and a srcset-only picture) is converted in both image formats; every picture must
# be in the RTF, and LibreOffice must draw each into its PDF (counted with pdfimages).
#   new_pictures_pdf_test.sh VELMORANE_BINARY SOURCE_DIR
set -euo pipefail
bin="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
src="$(cd "$2" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir -p pages out pdf profile
fixtures="$src/tests/fixtures/images"
cp "$fixtures"/pic.{svg,webp,ico,tif,gif} "$fixtures"/png_in.ico "$fixtures"/wide.png pages/
png64="$(base64 -w0 "$fixtures/pic.png")"
jpg64="$(base64 -w0 "$fixtures/pic.jpg")"
nbsp=$'\xC2\xA0'  # read as UTF-8, it reaches the drawing as an 8-bit byte
cat > pages/kinds.html <<HTML
<html><head><meta http-equiv="content-type" content="text/html; charset=UTF-8"></head><body>
<p>data PNG <img src="data:image/png;base64,$png64" alt="data png"></p>
<p>data JPEG <img src="data:image/jpeg;base64,$jpg64" alt="data jpeg"></p>
<p>SVG file <img src="pic.svg" width="60" alt="svg file"></p>
<p>inline <svg width="40" height="20"><rect width="20" height="20" fill="red"/><rect x="20" width="20" height="20" fill="blue"/><text y="9">a${nbsp}b&nbsp;c</text></svg></p>
<p>WebP <img src="pic.webp" alt="webp"></p>
<p>icon <img src="pic.ico" alt="ico"> and PNG icon <img src="png_in.ico" alt="png ico"></p>
<p>TIFF <img src="pic.tif" alt="tiff"></p>
<p>srcset only <img srcset="pic.gif 1x, wide.png 2x" alt="srcset"></p>
<p>missing <img src="nothere.webp" alt="Stands in for the missing picture"></p>
</body></html>
HTML
want=9
"$bin" pages/kinds.html out/kinds.rtf -image yes >/dev/null
"$bin" pages/kinds.html out/kinds-wmf.rtf -image yes -wmf yes >/dev/null

failed=0
for name in kinds kinds-wmf; do
  got=$(grep -c '{\\pict' "out/$name.rtf" || true)
  if [ "$got" -ne "$want" ]; then
    echo "FAIL $name: $got picture groups in the RTF, want $want"
    failed=1
  fi
  grep -q 'Stands in for the missing picture' "out/$name.rtf" ||
    { echo "FAIL $name: no alternative text for the missing picture"; failed=1; }
done

if ! command -v soffice >/dev/null 2>&1 || ! command -v pdfimages >/dev/null 2>&1; then
  echo "soffice or pdfimages is not installed; the rendering check is skipped"
  exit "$failed"
fi
timeout 300 soffice --headless --norestore -env:UserInstallation=file://"$work/profile" \
  --convert-to pdf --outdir "$work/pdf" "$work"/out/*.rtf >/dev/null 2>&1 || true
for name in kinds kinds-wmf; do
  pdf="$work/pdf/$name.pdf"
  if [ ! -f "$pdf" ]; then
    echo "FAIL $name: LibreOffice made no PDF"
    failed=1
    continue
  fi
  got=$(pdfimages -list "$pdf" | awk 'NR > 2' | wc -l)
  if [ "$got" -lt "$want" ]; then
    echo "FAIL $name: $got pictures in the PDF, want $want"
    failed=1
  else
    echo "ok $name: $got pictures"
  fi
done
exit "$failed"
