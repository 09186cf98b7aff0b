#!/usr/bin/env bash
# Tables as a real reader sees them: a 3 x 3 table with a column span and a row span and
# a table nested two deep are converted, loaded by headless LibreOffice and exported as
# HTML; the export must hold the same tables, rows and cells with each text in its cell.
# Then every page with a table found under a folder of documentation pages (pages below
# 400 KiB, at most VELMORANE_TABLE_PAGES of them, default 60; folder VELMORANE_DOC_PAGES,
# default tests/fixtures/doc_pages) must convert with status 0 and balanced braces, and load.
#   tables_reader_test.sh VELMORANE_BINARY SOURCE_DIR
set -euo pipefail
bin="$(realpath "$1")"
source="$(realpath "$2")"
if ! command -v soffice >/dev/null 2>&1; then
  echo "soffice is not installed; the table reader check is skipped"
  exit 0
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir -p pages out html profile

cat > pages/grid.html <<'EOF'
<html><body>
<p>Before</p>
<table border=1>
<tr><td>A1</td><td colspan=2>B1</td></tr>
<tr><td rowspan=2>A2</td><td>B2</td><td>C2</td></tr>
<tr><td>B3</td><td>C3</td></tr>
</table>
<p>After</p>
</body></html>
EOF
cat > pages/nested.html <<'EOF'
<html><body>
<table border=1>
<tr><td>outer1</td><td>
 <table><tr><td>mid1</td><td>
   <table><tr><td>inner1</td><td>inner2</td></tr><tr><td>inner3</td><td>inner4</td></tr></table>
 </td></tr></table>
</td></tr>
<tr><td>outer3</td><td>outer4</td></tr>
</table>
</body></html>
EOF

failed=0
convert() {  # page, output
  local status=0
  timeout 60 "$bin" "$1" "$2" >/dev/null 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    echo "FAIL $1: conversion exit status $status"
    failed=1
    return 1
  fi
  python3 - "$2" <<'PY' || failed=1
import sys
data = open(sys.argv[1], "rb").read()
depth = 0
i = 0
while i < len(data):
    c = data[i]
    if c == 0x5C:
        i += 2
        continue
    if c == 0x7B:
        depth += 1
    elif c == 0x7D:
        depth -= 1
        if depth < 0:
            break
    i += 1
if depth != 0 or not data.startswith(b"{\\rtf1"):
    print(f"FAIL {sys.argv[1]}: braces do not balance")
    sys.exit(1)
PY
}

convert pages/grid.html out/grid.rtf || true
convert pages/nested.html out/nested.rtf || true

folder="${VELMORANE_DOC_PAGES:-$source/tests/fixtures/doc_pages}"
limit="${VELMORANE_TABLE_PAGES:-60}"
n=0
if [ -d "$folder" ]; then
  while IFS= read -r page; do
    n=$((n + 1))
    convert "$page" "out/doc$(printf '%03d' "$n").rtf" || true
  done < <(find "$folder" -type f \( -name '*.html' -o -name '*.htm' \) -size -400k \
             -exec grep -lis '<table' {} + 2>/dev/null | sort | head -n "$limit")
fi
echo "documentation pages with tables: $n"

timeout 900 soffice --headless --norestore -env:UserInstallation=file://"$work/profile" \
  --convert-to html --outdir "$work/html" "$work"/out/*.rtf >/dev/null 2>&1 || true

for rtf in "$work"/out/*.rtf; do
  [ -f "$rtf" ] || continue
  name="$(basename "$rtf" .rtf)"
  if [ ! -s "$work/html/$name.html" ]; then
    echo "FAIL $name: LibreOffice could not load the document"
    failed=1
  fi
done

# Tables of the export, innermost first: each a list of rows of (text, colspan, rowspan);
# a cell holding a table reads "[T]" followed by its own text.
python3 - "$work/html/grid.html" "$work/html/nested.html" <<'PY' || failed=1
import sys
from html.parser import HTMLParser

class Tables(HTMLParser):
    def __init__(self):
        super().__init__()
        self.open, self.done = [], []
    def cell(self):
        rows = self.open[-1] if self.open else None
        return rows[-1][-1] if rows and rows[-1] else None
    def handle_starttag(self, tag, attrs):
        if tag == "table":
            self.open.append([])
        elif tag == "tr" and self.open:
            self.open[-1].append([])
        elif tag in ("td", "th") and self.open and self.open[-1]:
            a = dict(attrs)
            self.open[-1][-1].append(["", a.get("colspan") or "1", a.get("rowspan") or "1"])
    def handle_endtag(self, tag):
        if tag == "table" and self.open:
            self.done.append([[tuple(c) for c in row] for row in self.open.pop()])
            if self.cell() is not None:
                self.cell()[0] += "[T]"
    def handle_data(self, data):
        if self.cell() is not None:
            self.cell()[0] += data.strip()

def tables(path):
    p = Tables()
    p.feed(open(path, encoding="utf-8", errors="replace").read())
    return p.done

want = {
    sys.argv[1]: [[[("A1", "1", "1"), ("B1", "2", "1")],
                   [("A2", "1", "2"), ("B2", "1", "1"), ("C2", "1", "1")],
                   [("B3", "1", "1"), ("C3", "1", "1")]]],
    sys.argv[2]: [[[("inner1", "1", "1"), ("inner2", "1", "1")],
                   [("inner3", "1", "1"), ("inner4", "1", "1")]],
                  [[("mid1", "1", "1"), ("[T]", "1", "1")]],
                  [[("outer1", "1", "1"), ("[T]", "1", "1")],
                   [("outer3", "1", "1"), ("outer4", "1", "1")]]],
}
bad = False
for path, expected in want.items():
    try:
        got = tables(path)
    except OSError:
        got = None
    if got != expected:
        print(f"FAIL {path}: tables read back as {got}")
        bad = True
sys.exit(1 if bad else 0)
PY

exit "$failed"
