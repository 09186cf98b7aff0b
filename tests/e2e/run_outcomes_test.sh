#!/usr/bin/env bash
# What a run tells: the status and the words of each failure are the true ones, and a run
# stopped or failing leaves nothing of its own behind.
# Usage: run_outcomes_test.sh <velmorane binary> <source folder>
# shellcheck source=tests/e2e/harness.sh
. "$(dirname "$0")/harness.sh" "$@"

# --- The fuzz script runs the harnesses with the sanitizer suppressions. -----------------
mkdir -p fuzzbuild/fuzz
cat > fuzzbuild/fuzz/html_fuzzer <<'SH'
#!/bin/sh
echo "LSAN_OPTIONS=$LSAN_OPTIONS"
SH
chmod +x fuzzbuild/fuzz/html_fuzzer
(unset LSAN_OPTIONS; VELMORANE_FUZZ_NO_BUILD=1 VELMORANE_FUZZ_BUILD_DIR="$work/fuzzbuild" \
  bash "$source_dir/scripts/fuzz.sh" 1 html >/dev/null 2>&1)
suppressions="$(grep -o '[=:]suppressions=[^:]*' fuzzbuild/logs/html.log 2>/dev/null | head -1 | cut -d= -f3)"
[ -n "$suppressions" ] && grep -q '^leak:' "$suppressions" ||
  fail "fuzz script: the harness ran without the leak suppressions ($(cat fuzzbuild/logs/html.log 2>&1))"

# A page of about $1 MB of table rows: its document is far larger than a pipe holds.
make_page() {
  python3 - "$1" <<'PY'
import sys
row = "<tr><td>cell <b>bold</b></td><td>second &amp; cell</td><td>third</td></tr>\n"
rows = int(float(sys.argv[1]) * 1024 * 1024 / len(row))
print("<html><body><table border=1>" + row * rows + "</table></body></html>")
PY
}
make_page 2 > big.html

# --- -o -: the picture folder under the temporary folder goes, whatever ends the run. ---
mkdir tmp
TMPDIR="$work/tmp" "$bin" big.html -o - -log none 2>/dev/null | head -c 10 >/dev/null
[ -z "$(ls -A tmp)" ] || fail "SIGPIPE: left in the temporary folder: $(ls -A tmp)"
for signal in TERM HUP; do
  mkfifo "out-$signal"
  # A reader that never reads: the run stays in its write of the document.
  sleep 120 <"out-$signal" &
  reader=$!
  TMPDIR="$work/tmp" "$bin" big.html -o - -log none >"out-$signal" 2>/dev/null &
  pid=$!
  for _ in $(seq 1 600); do
    [ -n "$(ls -A tmp)" ] && break
    sleep 0.05
  done
  [ -n "$(ls -A tmp)" ] || fail "$signal: no folder of the run seen under the temporary folder"
  kill -s "$signal" "$pid"
  wait "$pid"
  status=$?
  kill "$reader" 2>/dev/null
  wait "$reader" 2>/dev/null
  [ "$status" -gt 128 ] || fail "$signal: the run was not stopped by the signal (status $status)"
  [ -z "$(ls -A tmp)" ] || fail "$signal: left in the temporary folder: $(ls -A tmp)"
done

# --- Standard input into a file on a full disk: status 7, the old file kept. -----------
printf 'the good old document' > full.rtf
(trap '' XFSZ; ulimit -f 256; "$bin" - -o full.rtf -log none <big.html >/dev/null 2>stderr.txt)
status=$?
[ "$status" -eq 7 ] || fail "full disk from standard input: status $status, not 7"
grep -q "cannot write output file full.rtf to its end" stderr.txt ||
  fail "full disk from standard input: message: $(cat stderr.txt)"
[ "$(cat full.rtf)" = "the good old document" ] || fail "full disk from standard input: the old file was lost"
[ -z "$(find . -maxdepth 1 -name '.velmorane-*')" ] || fail "full disk from standard input: a temporary was left"

# --- One output a run. ----------------------------------------------------------------
printf '<p>x</p>' > page.html
"$bin" page.html one.rtf two.rtf -log none >/dev/null 2>stderr.txt
status=$?
[ "$status" -eq 1 ] || fail "two outputs: status $status, not 1"
grep -q "more than one output: one.rtf and two.rtf" stderr.txt || fail "two outputs: message: $(cat stderr.txt)"
[ ! -e one.rtf ] && [ ! -e two.rtf ] || fail "two outputs: an output was written"
"$bin" page.html -o one.rtf -o two.rtf -log none >/dev/null 2>&1 && fail "two -o: no error"

# --- A page's control bytes and long data: addresses never reach stderr or the log raw. -
python3 - <<'PY'
bad = '<img src="data:image/png;base64,' + '!' * (4 << 20) + '">'
with open("hostile.html", "w") as page:
    page.write('<p>x</p><img src="a\x1b[2J\x07\rb.png">' + bad * 5)
PY
mkdir hostile
"$bin" hostile.html hostile/ -image yes -v 2>stderr.txt
[ "$(wc -c <stderr.txt)" -lt 20000 ] || fail "hostile page: $(wc -c <stderr.txt) bytes on stderr"
grep -q "a?\[2J??b.png" stderr.txt || fail "hostile page: the address is not shown: $(head -c 2000 stderr.txt)"
for file in stderr.txt hostile/velmorane.log; do
  # Lines end in LF (CR LF in the log); no other control byte.
  if tr -d '\r\n' <"$file" | LC_ALL=C grep -q '[[:cntrl:]]'; then
    fail "hostile page: a control byte in $file"
  fi
  [ "$(tr -cd '\r' <"$file" | wc -c)" -le "$(tr -cd '\n' <"$file" | wc -c)" ] ||
    fail "hostile page: a lone CR in $file"
done
# A file of a folder whose name holds an escape sequence.
mkdir named && : >"named/$(printf 'e\033[31mvil').html"
"$bin" named named-out -log named.log >/dev/null 2>stderr.txt
LC_ALL=C grep -q $'\033' stderr.txt named.log && fail "file name: an escape byte reached stderr or the log"
grep -q 'e?\[31mvil.html' stderr.txt || fail "file name: not shown: $(cat stderr.txt)"

# --- Output that the folder does not take: the reason is said. -------------------------
mkdir locked && chmod 555 locked
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  # The superuser writes anywhere: try as nobody, in a folder nobody may enter.
  if command -v setpriv >/dev/null && setpriv --reuid=65534 --regid=65534 --clear-groups true 2>/dev/null; then
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    chmod 755 "$work"
  else
    as_user=(skip)
  fi
fi
if [ "${as_user[0]:-}" != skip ]; then
  "${as_user[@]}" "$bin" page.html locked/ -log none >/dev/null 2>stderr.txt
  status=$?
  [ "$status" -eq 3 ] || fail "read-only folder: status $status, not 3"
  grep -q "cannot create output file locked/page.rtf: permission denied (status 3)" stderr.txt ||
    fail "read-only folder: message: $(cat stderr.txt)"
fi

# --- The output file's folder removed during the conversion: said as such. -------------
make_page 10 > slow.html
mkdir away
"$bin" slow.html away/ -log none >/dev/null 2>stderr.txt &
pid=$!
if wait_for_file away '.velmorane-*' && kill -0 "$pid" 2>/dev/null; then
  mv away away-moved
  wait "$pid"
  status=$?
  [ "$status" -eq 7 ] || fail "removed output folder: status $status, not 7"
  grep -q "cannot write output file away/slow.rtf to its end: its folder was removed" stderr.txt ||
    fail "removed output folder: message: $(cat stderr.txt)"
else
  wait "$pid"
  echo "note: the conversion ended before its folder could be removed; not checked"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "run outcomes: all checks passed"
