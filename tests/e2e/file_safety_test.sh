#!/usr/bin/env bash
# The program around its files: a killed or failing run keeps the old output and leaves
# no temporary, links are never written through, special files never waited on.
# Usage: file_safety_test.sh <velmorane binary> <source folder>
# shellcheck source=tests/e2e/harness.sh
. "$(dirname "$0")/harness.sh" "$@"

# Our temporaries left in a folder (there should never be any after a run).
leftovers() {
  find "$1" -maxdepth 1 \( -name '.velmorane-*' -o -name '*.tmp' \) | wc -l
}

# A page of about $1 MB: tables, so that the conversion takes a while.
make_page() {
  python3 - "$1" <<'PY'
import sys
row = "<tr><td>cell <b>bold</b></td><td>second &amp; cell</td><td>third</td></tr>\n"
rows = int(float(sys.argv[1]) * 1024 * 1024 / len(row))
print("<html><body><table border=1>" + row * rows + "</table></body></html>")
PY
}

# --- Killed in the middle: the old output stays, the temporary goes. -------------------
mkdir kill && make_page 10 > kill/big.html
for signal in TERM INT; do
  printf 'the good old document' > kill/big.rtf
  # Started with the default signal actions (a background job would ignore SIGINT) by a
  # watcher that looks for the temporary every half millisecond, in one process: the
  # document is written within a few hundredths of a second, which a loop of commands can
  # miss on a loaded machine. It stops the run as soon as the temporary is there.
  python3 - "$signal" "$bin" kill/big.html kill/ <<'PY' >watch.txt 2>&1
import os, signal, subprocess, sys, time
name = sys.argv[1]
run = subprocess.Popen(sys.argv[2:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
seen = False
deadline = time.monotonic() + 60
while run.poll() is None and time.monotonic() < deadline:
    if any(f.startswith(".velmorane-") for f in os.listdir("kill")):
        seen = True
        run.send_signal(getattr(signal, "SIG" + name))
        break
    time.sleep(0.0005)
status = run.wait()
print("seen" if seen else "missed", 128 - status if status < 0 else status)
PY
  read -r seen_word status_word <watch.txt
  [ "$seen_word" = "seen" ] || fail "$signal: no temporary seen while converting ($(cat watch.txt))"
  status=${status_word:-0}
  [ "$status" -gt 128 ] || fail "$signal: the run was not stopped by the signal (status $status)"
  [ "$(cat kill/big.rtf)" = "the good old document" ] || fail "$signal: the old output was lost"
  [ "$(leftovers kill)" -eq 0 ] || fail "$signal: a temporary was left: $(ls -A kill)"
done

# --- A full disk: status 7, said as a write failure; the old output stays. --------------
full_disk_case() {
  # $1: a folder on a small file system (or under a file-size limit).
  printf 'the good old document' > "$1/big.rtf"
  "$bin" kill/big.html "$1/" >/dev/null 2>stderr.txt
  status=$?
  [ "$status" -eq 7 ] || fail "full disk: status $status, not 7"
  grep -q "cannot write output file" stderr.txt || fail "full disk: message: $(cat stderr.txt)"
  grep -q "cannot create" stderr.txt && fail "full disk: reported as 'cannot create'"
  [ "$(cat "$1/big.rtf")" = "the good old document" ] || fail "full disk: the old output was lost"
  [ "$(leftovers "$1")" -eq 0 ] || fail "full disk: a temporary was left: $(ls -A "$1")"
}
export -f full_disk_case fail leftovers
export bin
if unshare -rm true 2>/dev/null; then
  # A 1 MB file system of our own; the 10 MB page's document cannot fit.
  mkdir small
  unshare -rm bash -c 'mount -t tmpfs -o size=1m tmpfs small && failures=0 &&
    full_disk_case small && exit $failures' || failures=$((failures + 1))
else
  # No mount here: a file-size limit fails the writes as a full disk would.
  mkdir small
  (trap '' XFSZ; ulimit -f 1024; full_disk_case small; exit $failures) || failures=$((failures + 1))
fi

# --- Special files: an error at once, never a hang. -------------------------------------
mkfifo pipe.html
for input in pipe.html /dev/zero; do
  timeout 10 "$bin" "$input" out.rtf >/dev/null 2>stderr.txt
  status=$?
  [ "$status" -eq 4 ] || fail "$input: status $status, not 4"
  grep -q "not a regular file" stderr.txt || fail "$input: message: $(cat stderr.txt)"
  [ ! -e out.rtf ] || fail "$input: an output was written"
done

mkdir folder && printf '<p>one</p>' > folder/a.html && mkfifo folder/b.html
timeout 20 "$bin" folder out/ >/dev/null 2>&1
status=$?
[ "$status" -eq 0 ] || fail "folder with a FIFO: status $status"
[ -s out/a.rtf ] || fail "folder with a FIFO: a.html was not converted"
[ ! -e out/b.rtf ] || fail "folder with a FIFO: the FIFO was converted"

# --- Links: replaced, never written through. --------------------------------------------
printf '<p>x</p>' > page.html
printf 'keep me' > target.txt
ln -sf target.txt page.rtf
ln -sf target.txt velmorane.log
"$bin" page.html >/dev/null 2>&1 || fail "links: the conversion failed"
[ "$(cat target.txt)" = "keep me" ] || fail "links: written through a link"
[ ! -L page.rtf ] && [ ! -L velmorane.log ] || fail "links: a link is still in place"

printf 'shared' > twin.rtf
ln -f twin.rtf hard.rtf
"$bin" page.html hard.rtf >/dev/null 2>&1 || fail "hard link: the conversion failed"
[ "$(cat twin.rtf)" = "shared" ] || fail "hard link: the other name lost its content"

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "file safety: all checks passed"
