#!/usr/bin/env bash
# Plain-text output of real pages: every word of the visible text of the documentation
# pages kept in tests/fixtures/doc_pages must come out, in order, with nothing added or
# lost. The reference text comes from Python's own HTML parser.
# Arguments: path of the velmorane program, source folder.
set -u

program=$(realpath "${1:?usage: plain_text_test.sh VELMORANE SOURCE_DIR}")
source_dir=$(realpath "${2:?usage: plain_text_test.sh VELMORANE SOURCE_DIR}")
max_pages=${PLAIN_TEXT_PAGES:-20}
doc_root=${PLAIN_TEXT_DOC_ROOT:-$source_dir/tests/fixtures/doc_pages}

mapfile -t pages < <(find "$doc_root" -name '*.html' -type f -size -2M 2>/dev/null |
                     LC_ALL=C sort | head -n "$max_pages")
if [ "${#pages[@]}" -eq 0 ]; then
  echo "FAIL: no HTML pages under $doc_root"
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
skipped=0
checked=0
for page in "${pages[@]}"; do
  name=$(basename "$page" .html)
  out="$work/$checked"
  mkdir -p "$out"
  # The command line writes its run log into the current folder.
  if ! (cd "$work" && "$program" "$page" "$out" -txt yes >/dev/null 2>&1); then
    echo "FAIL $page: the program reported an error"
    failures=$((failures + 1))
  elif [ ! -f "$out/$name.txt" ]; then
    echo "FAIL $page: $out/$name.txt was not written"
    failures=$((failures + 1))
  else
    python3 - "$page" "$out/$name.txt" <<'PY'
import html
import re
import sys
from html.parser import HTMLParser

# Elements whose text a reader never sees.
HIDDEN = {"script", "style", "title", "option", "template"}
# Elements that start a new line in a browser; their tags separate words.
BLOCKS = {
    "address", "article", "aside", "blockquote", "br", "caption", "dd", "div", "dl", "dt",
    "fieldset", "figcaption", "figure", "footer", "form", "h1", "h2", "h3", "h4", "h5",
    "h6", "header", "hr", "li", "main", "nav", "ol", "p", "pre", "section", "table",
    "tbody", "td", "tfoot", "th", "thead", "tr", "ul",
}


class VisibleText(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=False)
        self.parts = []
        self.hidden = 0
        self.in_head = False
        self.bare_lt = False

    def handle_starttag(self, tag, attrs):
        if tag == "head":
            self.in_head = True
        elif tag == "body":
            self.in_head = False
        if tag in HIDDEN:
            self.hidden += 1
        if tag in BLOCKS:
            self.parts.append("\n")

    def handle_startendtag(self, tag, attrs):
        if tag in BLOCKS:
            self.parts.append("\n")

    def handle_endtag(self, tag):
        if tag == "head":
            self.in_head = False
        if tag in HIDDEN and self.hidden > 0:
            self.hidden -= 1
        if tag in BLOCKS:
            self.parts.append("\n")

    def handle_data(self, data):
        if not self.hidden and not self.in_head:
            self.parts.append(data)
            # A "<" that is not markup: the converter reads a tag from it.
            self.bare_lt = self.bare_lt or "<" in data

    def handle_entityref(self, name):
        if not self.hidden and not self.in_head:
            self.parts.append(html.unescape(f"&{name};"))

    def handle_charref(self, name):
        if not self.hidden and not self.in_head:
            self.parts.append(html.unescape(f"&#{name};"))


def words(text):
    # Only ASCII letters and digits are compared: characters outside 8 bits have no
    # faithful plain-text form, so every other character only separates words.
    return re.findall(r"[A-Za-z0-9]+", text)


page_path, text_path = sys.argv[1], sys.argv[2]
with open(page_path, "rb") as f:
    page = f.read().decode("utf-8", errors="replace")
parser = VisibleText()
parser.feed(page)
parser.close()
if parser.bare_lt:
    print(f"skip {page_path}: its text holds a bare '<', which is read as a tag")
    sys.exit(2)
want = words("".join(parser.parts))
with open(text_path, "rb") as f:
    raw = f.read()
if b"\r\n" not in raw and b"\n" in raw:
    print(f"FAIL {page_path}: line ends are not CR LF")
    sys.exit(1)
got = words(raw.decode("latin-1"))
if got == want:
    sys.exit(0)
i = 0
while i < min(len(got), len(want)) and got[i] == want[i]:
    i += 1
print(f"FAIL {page_path}: word {i} differs ({len(want)} words expected, {len(got)} written)")
print("  expected: " + " ".join(want[max(0, i - 5):i + 8]))
print("  written:  " + " ".join(got[max(0, i - 5):i + 8]))
sys.exit(1)
PY
    case $? in
      0) ;;
      2) skipped=$((skipped + 1)) ;;
      *) failures=$((failures + 1)) ;;
    esac
  fi
  checked=$((checked + 1))
done

echo "$checked pages checked, $skipped skipped, $failures failed"
[ "$failures" -eq 0 ]
