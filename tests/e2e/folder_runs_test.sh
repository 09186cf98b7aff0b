#!/usr/bin/env bash
# Folder runs and the output tree: folders made as mkdir -p makes them, also by two runs
# at once; none left empty by a failure; links in the tree never written through; a
# folder removed or a path too long is said.
# Usage: folder_runs_test.sh <velmorane binary> <source folder>
# shellcheck source=tests/e2e/harness.sh
. "$(dirname "$0")/harness.sh" "$@"

mkdir -p site/docs
for name in a b c; do printf '<p>page %s</p>' "$name" > "site/$name.html"; done
printf '<p>docs</p>' > site/docs/index.htm

# --- Two runs at once into an output folder that does not exist yet, nested. ----------
for round in 1 2 3; do
  rm -rf both
  "$bin" site "both/x/y" -log none -q >/dev/null 2>err1.txt &
  first=$!
  "$bin" site "both/x/y" -log none -q >/dev/null 2>err2.txt &
  second=$!
  wait "$first"; status1=$?
  wait "$second"; status2=$?
  [ "$status1" -eq 0 ] && [ "$status2" -eq 0 ] ||
    fail "two runs, round $round: statuses $status1 and $status2 ($(cat err1.txt err2.txt))"
  [ -s both/x/y/a.rtf ] && [ -s both/x/y/c.rtf ] || fail "two runs, round $round: outputs missing"
done
"$bin" site nested/one/two -subfolders yes >/dev/null 2>stderr.txt ||
  fail "nested output folder with its run log: $(cat stderr.txt)"
[ -s nested/one/two/docs/index.rtf ] && [ -s nested/one/two/velmorane.log ] ||
  fail "nested output folder: outputs or log missing"

# --- A failed run leaves no empty folder it made. ---------------------------------------
"$bin" missing.html made1/made2/x.rtf -log none >/dev/null 2>&1
[ "$?" -eq 4 ] || fail "missing input: not status 4"
[ ! -e made1 ] || fail "missing input: left $(find made1)"
mkdir nohtml && printf 'text' > nohtml/notes.txt
"$bin" nohtml made3/made4 -log none >/dev/null 2>&1
[ "$?" -eq 4 ] || fail "folder without pages: not status 4"
[ ! -e made3 ] || fail "folder without pages: left $(find made3)"
mkdir -p part/sub && printf '<p>x</p>' > part/a.html && : > part/sub/empty.html
"$bin" part partout -subfolders yes -log none >/dev/null 2>&1
[ "$?" -eq 5 ] || fail "tree with an empty page: not status 5"
[ -s partout/a.rtf ] || fail "tree with an empty page: a.rtf missing"
[ ! -e partout/sub ] || fail "tree with an empty page: the empty output folder sub/ was left"

# --- A link to a folder inside the mirrored output tree is not followed. ---------------
mkdir -p linked elsewhere
ln -s ../elsewhere linked/docs
"$bin" site linked -subfolders yes -log none >/dev/null 2>stderr.txt
status=$?
[ -z "$(ls -A elsewhere)" ] || fail "link: written through it: $(ls -A elsewhere)"
[ "$status" -eq 3 ] || fail "link: status $status, not 3"
grep -q "linked/docs is a symbolic link to a folder, not followed" stderr.txt ||
  fail "link: message: $(cat stderr.txt)"
[ -s linked/a.rtf ] || fail "link: the other pages were not converted"

# --- The output folder removed while the run goes on: said, and the run stops. ---------
mkdir many
python3 - <<'PY'
row = "<tr><td>cell <b>bold</b></td><td>second &amp; cell</td></tr>\n"
page = "<table>" + row * 2000 + "</table>"
for i in range(300):
    with open("many/p%03d.html" % i, "w") as f:
        f.write(page)
PY
"$bin" many gone -jobs 1 -log none >/dev/null 2>stderr.txt &
pid=$!
wait_for_file gone '*.rtf'
if kill -0 "$pid" 2>/dev/null; then
  # Away in one step (rm -rf could lose a race with a file being written).
  mv gone gone-away
  wait "$pid"
  status=$?
  [ "$status" -eq 3 ] || fail "removed output folder: status $status, not 3"
  grep -q "The directory gone/ was removed during the conversion" stderr.txt ||
    fail "removed output folder: message: $(head -c 2000 stderr.txt)"
  grep -q "Probably it is already used\|is the disk full" stderr.txt &&
    fail "removed output folder: told as a file in use or a full disk"
  [ ! -e gone ] || fail "removed output folder: made again"
else
  wait "$pid"
  echo "note: the run ended before its output folder could be removed; not checked"
fi

# --- A folder whose path is too long is left out with a warning. ------------------------
mkdir deep && printf '<p>top</p>' > deep/top.html
python3 - <<'PY'
import os
os.chdir("deep")
for _ in range(24):  # 24 levels of 200 characters: past the system's path limit
    os.mkdir("d" * 200)
    os.chdir("d" * 200)
with open("lost.html", "w") as f:
    f.write("<p>lost</p>")
PY
"$bin" deep deepout -subfolders yes -log none >/dev/null 2>stderr.txt
status=$?
[ "$status" -eq 0 ] || fail "too long a path: status $status"
[ -s deepout/top.rtf ] || fail "too long a path: top.html was not converted"
grep -q "warning: folder .* left out: its path is too long" stderr.txt ||
  fail "too long a path: no warning: $(head -c 500 stderr.txt)"

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "folder runs: all checks passed"
