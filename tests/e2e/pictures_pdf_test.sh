#!/usr/bin/env bash
# Pictures survive a real reader: pages with PNG, JPEG, GIF and BMP pictures, converted
# in both image formats, and the sample document are rendered to PDF by LibreOffice,
# and pdfimages must count every picture.
#   pictures_pdf_test.sh VELMORANE_BINARY SOURCE_DIR
set -euo pipefail
bin="$1"
src="$2"
if ! command -v soffice >/dev/null 2>&1 || ! command -v pdfimages >/dev/null 2>&1; then
  echo "soffice or pdfimages is not installed; the picture rendering check is skipped"
  exit 0
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir -p pages out pdf profile
cp "$src"/tests/fixtures/images/pic.{png,jpg,gif,bmp} pages/
cat > pages/four.html <<'HTML'
<html><body><p>Four pictures:
<img src="pic.png"> <img src="pic.jpg"> <img src="pic.gif"> <img src="pic.bmp"></p></body></html>
HTML
"$bin" pages/four.html out/four-png-jpg.rtf -image yes >/dev/null
"$bin" pages/four.html out/four-wmf.rtf -image yes -wmf yes >/dev/null
grep -q 'wmetafile8' out/four-wmf.rtf && grep -q 'dibitmap0' out/four-wmf.rtf ||
  { echo "FAIL four-wmf: no metafile or bitmap groups"; exit 1; }
cp -r "$src/examples" sample
"$bin" sample/sample.html out/sample.rtf -image yes >/dev/null
"$bin" sample/sample.html out/sample-wmf.rtf -image yes -wmf yes >/dev/null
timeout 300 soffice --headless --norestore -env:UserInstallation=file://"$work/profile" \
  --convert-to pdf --outdir "$work/pdf" "$work"/out/*.rtf >/dev/null 2>&1 || true

failed=0
check() {
  local name="$1" want="$2"
  local pdf="$work/pdf/$name.pdf"
  if [ ! -f "$pdf" ]; then
    echo "FAIL $name: LibreOffice made no PDF"
    failed=1
    return
  fi
  local got
  got=$(pdfimages -list "$pdf" | awk 'NR > 2' | wc -l)
  if [ "$got" -lt "$want" ]; then
    echo "FAIL $name: $got pictures in the PDF, want $want"
    failed=1
  else
    echo "ok $name: $got pictures"
  fi
}
check four-png-jpg 4
check four-wmf 4
check sample 2
check sample-wmf 2
exit "$failed"
