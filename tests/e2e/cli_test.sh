#!/usr/bin/env bash
# Drives the command-line program in a scratch folder: exit statuses, the run log and
# the output files.  Usage: cli_test.sh <velmorane binary> <source folder>
# shellcheck source=tests/e2e/harness.sh
. "$(dirname "$0")/harness.sh" "$@"

# Runs the program with the given arguments; sets $status.
run() {
  "$bin" "$@" >/dev/null 2>stderr.txt
  status=$?
}

# The last line of the run log (velmorane.log, or the one named), without its CR LF.
last_log_line() {
  tail -n 1 "${1:-velmorane.log}" | tr -d '\r'
}

# Counts "{" and "}" outside backslash escapes; prints the difference.
brace_balance() {
  python3 - "$1" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
depth, i = 0, 0
while i < len(data):
    c = data[i:i + 1]
    if c == b'\\':
        i += 2
        continue
    if c == b'{':
        depth += 1
    elif c == b'}':
        depth -= 1
    i += 1
print(depth)
PY
}

# 1. Missing input: status 4, the reason on stderr, and the log ends with the error line.
run "$work/missing.html" "$work"
[ "$status" -eq 4 ] || fail "missing input: status $status, want 4"
grep -qx "velmorane: cannot open input file $work/missing.html: no such file (status 4)" stderr.txt ||
  fail "missing input: $(cat stderr.txt)"
[ "$(last_log_line)" = "Error! Can't open $work/missing.html file." ] ||
  fail "missing input: last log line '$(last_log_line)'"

if [ "$(id -u)" -ne 0 ]; then
  printf '<p>secret</p>' >locked.html && chmod a-r locked.html
  run locked.html -o locked.rtf
  [ "$status" -eq 4 ] && grep -q 'locked.html: permission denied (status 4)' stderr.txt ||
    fail "unreadable input: status $status, $(cat stderr.txt)"
fi

# 2. Empty input: status 5 and no output file; an earlier output is kept.
: >empty.html
mkdir -p out1
run empty.html "$work/out1"
[ "$status" -eq 5 ] || fail "empty input: status $status, want 5"
[ ! -e out1/empty.rtf ] || fail "empty input: out1/empty.rtf written"
printf 'earlier' >out1/empty.rtf
run empty.html "$work/out1"
[ "$status" -eq 5 ] && [ "$(cat out1/empty.rtf)" = earlier ] || fail "empty input: earlier output lost"
[ "$(last_log_line out1/velmorane.log)" = "Error! HTML file is empty" ] ||
  fail "empty input: '$(last_log_line out1/velmorane.log)'"

# 3. A missing output folder is made; one that cannot be made gives status 3.
printf '<p>Hello</p>\n' >page.html
run page.html "$work/new/folder"
[ "$status" -eq 0 ] && [ -f "$work/new/folder/page.rtf" ] || fail "missing output folder: status $status, want 0 and the file"
printf 'not a folder' >blocker
run page.html "$work/blocker/folder"
[ "$status" -eq 3 ] || fail "output folder under a file: status $status, want 3"

# 4. A normal page: status 0, balanced braces, CR LF line ends, the success lines.
mkdir -p out2
cp "$source_dir/examples/sample.html" "$source_dir/examples/sample.png" \
  "$source_dir/examples/sample.gif" .
run sample.html out2 -image yes
[ "$status" -eq 0 ] || fail "sample: status $status, want 0"
if [ -f out2/sample.rtf ]; then
  [ "$(brace_balance out2/sample.rtf)" = "0" ] || fail "sample: braces not balanced"
  python3 -c 'import sys; d = open(sys.argv[1], "rb").read(); sys.exit(d.count(b"\n") != d.count(b"\r\n"))' \
    out2/sample.rtf || fail "sample: a line feed without carriage return"
else
  fail "sample: out2/sample.rtf missing"
fi
tail -n 2 out2/velmorane.log | head -n 1 | grep -q $'^Converted successfully!\r$' ||
  fail "sample: no success line"
last_log_line out2/velmorane.log | grep -Eq '^End of converting in: [0-9]+:[0-9]+:[0-9]+$' ||
  fail "sample: no end line"

# 5. The settings dump with -kh yes, byte for byte.
run page.html out2 -kh yes
[ "$status" -eq 0 ] || fail "-kh yes: status $status, want 0"
expected="$(printf '%s\r\n' \
  "---------------------------------------" \
  "INPUT FILE: page.html" \
  "OUT FOLDER: out2" \
  "CONVERT TABLES: 1" \
  "CONVERT IMAGES: 0" \
  "FONT FACE: Arial" \
  "FONT SIZE: 10" \
  "PAGE ALIGNMENT: justify" \
  "KEEP HYPERLINKS: 1" \
  "KEEP FONT FACE AS IN HTML: 1" \
  "KEEP FONT SIZE AS IN HTML: 1" \
  "KEEP FONT COLOR AS IN HTML: 1" \
  "KEEP ALIGNMENT AS IN HTML: 1" \
  "KEEP TABLE WIDTH: 1" \
  "KEEP NESTED TABLES: 1" \
  "RTF LANGUAGE: English" \
  "TABLE BORDER: Invisible" \
  "---------------------------------------")"
actual="$(sed -n '2,19p' out2/velmorane.log)"
[ "$actual" = "$expected" ] || fail "-kh yes: settings dump differs:"$'\n'"$actual"
head -n 1 out2/velmorane.log | grep -Eq $'^Date: [0-9]+/[0-9]+/[0-9]+ Time: [0-9]+:[0-9]+:[0-9]+\r$' ||
  fail "-kh yes: date line"
[ -f out2/page.rtf ] || fail "-kh yes: out2/page.rtf missing"

# 6. Plain text with -txt, a configuration file, and the help text.
run page.html out2 -txt yes
[ "$status" -eq 0 ] && [ -f out2/page.txt ] || fail "-txt: no out2/page.txt (status $status)"
printf 'input file: page.html\nout folder: out3\n' >run.cfg
mkdir -p out3
run run.cfg ignored.html
[ "$status" -eq 0 ] && [ -f out3/page.rtf ] || fail "cfg: no out3/page.rtf (status $status)"
grep -q $'^Reading a CFG-file\r$' out3/velmorane.log || fail "cfg: no reading line"
"$bin" --help | grep -q '^Usage: velmorane' || fail "--help prints no usage"

# 7. An output that is the input itself is refused and the input survives.
printf '<p>keep me</p>\n' >self.rtf
run self.rtf "$work/self.rtf"
[ "$status" -eq 3 ] || fail "output is input: status $status, want 3"
[ "$(cat self.rtf)" = "<p>keep me</p>" ] || fail "output is input: input was changed"

# 8. A folder tree with -flat yes: every HTML file of the tree lands in one output
#    folder, a name met again deeper down gets the folder in its name, and one worker or
#    four give the same files.
mkdir -p site/docs/deep site/.hidden
for i in 1 2 3 4 5 6 7 8 9 10 11 12; do printf '<p>Page %s <b>bold</b></p>\n' "$i" >"site/p$i.htm"; done
printf '<h1>Top</h1>\n' >site/index.html
printf '<h1>Docs</h1>\n' >site/docs/index.html
printf '<p>deep</p>\n' >site/docs/deep/page.shtml
printf '<p>hidden</p>\n' >site/.hidden/secret.htm
printf 'not html\n' >site/notes.txt
run site tree1 -subfolders yes -flat yes -jobs 1
[ "$status" -eq 0 ] || fail "tree: status $status, want 0"
[ "$(ls tree1 | wc -l)" -eq 16 ] || fail "tree: $(ls tree1 | wc -l) files, want 15 outputs and the log"
[ -f "tree1/index(DIR docs).rtf" ] && [ -f tree1/index.rtf ] && [ -f tree1/page.rtf ] ||
  fail "tree: index.rtf, index(DIR docs).rtf or page.rtf missing"
[ ! -e tree1/secret.rtf ] || fail "tree: a hidden folder was converted"
grep -c 'Converted successfully!' tree1/velmorane.log | grep -qx 15 || fail "tree: log lines"
run site tree4 -subfolders yes -flat yes -jobs 4
[ "$status" -eq 0 ] && diff -r -x velmorane.log tree1 tree4 >/dev/null || fail "tree: -jobs 4 differs from -jobs 1"
run site tree4 -subfolders yes -flat yes
[ "$status" -eq 0 ] && [ "$(ls tree4 | wc -l)" -eq 16 ] ||
  fail "tree: a second run into the same folder added files"
# Without -subfolders only the folder itself; a folder without HTML files gives 4.
run site flat
[ "$status" -eq 0 ] && [ "$(ls flat | wc -l)" -eq 14 ] || fail "folder: want 13 outputs and the log"
mkdir -p nohtml/sub && cp site/notes.txt nohtml/ && printf '<p>deeper</p>' >nohtml/sub/a.htm
run nohtml out4
[ "$status" -eq 4 ] && grep -q 'no HTML file in nohtml/ (-subfolders yes also converts its subfolders)' stderr.txt ||
  fail "folder without HTML files: status $status, want 4; $(cat stderr.txt)"
rm -r nohtml/sub
run nohtml out4 -subfolders yes
[ "$status" -eq 4 ] && grep -q 'no HTML file in nohtml/ or its subfolders' stderr.txt ||
  fail "tree without HTML files: status $status, want 4"

# Pictures left out of a folder run with -image off are told once, for the whole run.
mkdir -p pics
for i in 1 2 3; do printf '<p>%s</p><img src="a.png"><img src="b.png">' "$i" >"pics/p$i.htm"; done
run pics picsout -jobs 2
[ "$status" -eq 0 ] && [ "$(grep -c 'left out' stderr.txt)" -eq 1 ] &&
  grep -q 'warning: 6 pictures left out in 3 files: converting pictures is off (-image yes keeps them)' stderr.txt ||
  fail "pictures off in a folder: $(cat stderr.txt)"

# The progress bar of a tree (drawn when stderr is a terminal) never runs backwards, even
# when the folders found later hold most of the files.
if command -v script >/dev/null 2>&1; then
  mkdir -p bartree/x/y
  for f in a x/b x/c x/y/d x/y/e x/y/f; do printf '<p>%s</p>' "$f" >"bartree/$f.htm"; done
  bar="$(script -qec "'$bin' bartree barout -subfolders yes -jobs 1" /dev/null | tr '\r' '\n' |
    sed -n 's/.*\] \([0-9]*\)%.*/\1/p' | tr '\n' ' ')"
  python3 -c 'import sys; p = [int(x) for x in sys.argv[1:]]; sys.exit(not p or p != sorted(p) or p[-1] != 100)' $bar ||
    fail "tree progress runs backwards: $bar"
fi

# 9. Without -flat the output folder mirrors the tree.
run site mirror -subfolders yes -jobs 2
[ "$status" -eq 0 ] && [ -f mirror/index.rtf ] && [ -f mirror/docs/index.rtf ] &&
  [ -f mirror/docs/deep/page.rtf ] && [ ! -e mirror/secret.rtf ] ||
  fail "mirrored tree: status $status, $(cd mirror 2>/dev/null && find . -type f | sort | tr '\n' ' ')"

# 10. Pipes: standard input to standard output, and a file to standard output gives the
#     bytes of the file it would write.
out="$(printf '<p>h\xc3\xa9llo</p>' | "$bin" - -o - 2>stderr.txt)"
[ "${out:0:6}" = '{\rtf1' ] || fail "stdin to stdout: no RTF ('${out:0:20}')"
printf '<p>piped</p>' | "$bin" - >piped.rtf 2>stderr.txt
grep -q piped piped.rtf || fail "stdin without output: nothing on stdout"
"$bin" page.html -o - >stdout.rtf 2>stderr.txt && "$bin" page.html -o file.rtf 2>stderr.txt
cmp -s stdout.rtf file.rtf || fail "-o - differs from the file"
printf '<p>named</p>' | "$bin" - -o named.txt 2>stderr.txt
[ -f named.txt ] && grep -q named named.txt && ! grep -q rtf1 named.txt ||
  fail "stdin to -o named.txt: no plain text"
printf '<p>x</p>' | "$bin" - outfolder >/dev/null 2>stderr.txt
[ $? -eq 1 ] && [ ! -e outfolder ] || fail "stdin into a folder: want status 1"

# 11. --version, -o NAME.txt, a short .rtf name, truth values.
"$bin" --version | grep -Eq '^velmorane [0-9]+\.[0-9]+\.[0-9]+$' || fail "--version"
run page.html -o out.txt
[ "$status" -eq 0 ] && [ -f out.txt ] && ! grep -q rtf1 out.txt || fail "-o out.txt: no text"
run page.html f.rtf
[ "$status" -eq 0 ] && [ -f f.rtf ] || fail "f.rtf: not a file"
printf '<p>x</p><img src="pic.png">' >img.html
cp "$source_dir/examples/sample.png" pic.png
run img.html -o img-off.rtf -image off
! grep -q pngblip img-off.rtf || fail "-image off: picture kept"
grep -q 'velmorane: warning: 1 picture left out' stderr.txt || fail "-image off: no summary"
run img.html -o img-on.rtf -image 1
grep -q pngblip img-on.rtf || fail "-image 1: no picture"
# A GIF is written as a PNG picture, a fraction of the metafile's size; -wmf gif keeps
# the metafile.
printf '<p>x</p><img src="sample.gif">' >gif.html
run gif.html -o gif-png.rtf -image yes
run gif.html -o gif-wmf.rtf -image yes -wmf gif
grep -q pngblip gif-png.rtf && ! grep -q wmetafile gif-png.rtf && grep -q wmetafile gif-wmf.rtf &&
  [ $(( $(wc -c <gif-png.rtf) * 5 )) -lt "$(wc -c <gif-wmf.rtf)" ] ||
  fail "GIF as PNG: $(wc -c <gif-png.rtf) bytes against $(wc -c <gif-wmf.rtf) as a metafile"

# 12. Usage errors: one line naming the argument, status 1, nothing written.
rm -f velmorane.log
mkdir -p typo && cd typo
"$bin" ../page.html -imgae yes >/dev/null 2>../stderr.txt
status=$?
cd ..
[ "$status" -eq 1 ] && [ "$(wc -l <stderr.txt)" -eq 1 ] && grep -q -- '-imgae' stderr.txt &&
  [ -z "$(ls typo)" ] || fail "unknown option: status $status, $(cat stderr.txt), $(ls typo)"
run page.html -face
[ "$status" -eq 1 ] && grep -q -- 'option -face needs a value' stderr.txt || fail "missing value"
# A value the option does not take: the option and its values named, nothing written.
mkdir -p badvalue
for bad in "-size abc" "-align zigzag" "-jobs 65" "-psize Foo" "-image maybe"; do
  (cd badvalue && "$bin" ../page.html out $bad >/dev/null 2>../stderr.txt)
  status=$?
  [ "$status" -eq 1 ] && [ "$(wc -l <stderr.txt)" -eq 1 ] &&
    grep -q -- "velmorane: option ${bad%% *} takes .*, not \"${bad#* }\"" stderr.txt &&
    [ -z "$(ls badvalue)" ] || fail "bad value $bad: status $status, $(cat stderr.txt), $(ls badvalue)"
done
# -psize Foo once gave Letter; -strict no reads values as older versions did.
run page.html -o lenient.rtf -psize Foo -strict no
[ "$status" -eq 0 ] && grep -q 'paperw12240' lenient.rtf || fail "-strict no: status $status"
# An output named *.txt is plain text, unless -txt no.
run page.html named.txt
[ "$status" -eq 0 ] && [ -f named.txt ] && ! grep -q rtf1 named.txt || fail "named.txt: RTF"
run page.html named2.txt -txt no
[ "$status" -eq 0 ] && grep -q rtf1 named2.txt || fail "named2.txt -txt no: no RTF"
mkdir -p dir.cfg
run dir.cfg
[ "$status" -ne 0 ] && [ "$status" -lt 128 ] || fail "dir.cfg: status $status"

# 13. Names as the shell passed them: quotes, backslashes, blanks and more than 260
#     characters, for one file and for a folder.
odd='odd "quoted" back\slash name'
mkdir -p "$odd"
printf '<p>odd</p>' >"$odd/page one.html"
run "$odd/page one.html" "$odd/out"
[ "$status" -eq 0 ] && [ -f "$odd/out/page one.rtf" ] || fail "odd file name: status $status"
run "$odd" "$odd/all"
[ "$status" -eq 0 ] && [ -f "$odd/all/page one.rtf" ] || fail "odd folder name: status $status"
long="$(printf 'n%.0s' $(seq 1 200))"
mkdir -p "$long/$long"
run page.html "$long/$long/out.rtf" -kh yes
[ "$status" -eq 0 ] && [ -f "$long/$long/out.rtf" ] || fail "long output name: status $status"
grep -q 'KEEP HYPERLINKS: 1' "$long/$long/velmorane.log" ||
  fail "long output name: option past 260 characters lost"

# 14. The run log: -log FILE, -log none, a log that cannot be made or written.
run page.html -o log1.rtf -log my.log
[ "$status" -eq 0 ] && grep -q 'Converted successfully' my.log || fail "-log my.log"
rm -f velmorane.log
run page.html -o log2.rtf -log none
[ "$status" -eq 0 ] && [ ! -e velmorane.log ] && [ -f log2.rtf ] || fail "-log none"
run page.html -o log3.rtf -log "$work/no/such/folder/x.log"
[ "$status" -eq 0 ] && [ -f log3.rtf ] && grep -q 'cannot create the run log' stderr.txt ||
  fail "log that cannot be created: status $status"
# Without -log the run log lands beside the outputs, never in the current folder;
# -log velmorane.log writes it there as older versions did.
mkdir -p elsewhere && rm -f velmorane.log
(cd elsewhere && "$bin" ../page.html ../beside >/dev/null 2>&1 &&
  "$bin" ../site ../beside-site >/dev/null 2>&1 && "$bin" ../page.html -o - >/dev/null 2>&1)
[ -z "$(ls elsewhere)" ] && [ -f beside/velmorane.log ] && [ -f beside-site/velmorane.log ] &&
  grep -q 'Converted successfully' beside/velmorane.log || fail "run log beside the outputs"
(cd elsewhere && "$bin" ../page.html ../beside -log velmorane.log >/dev/null 2>&1)
grep -q 'Converted successfully' elsewhere/velmorane.log || fail "-log velmorane.log: not in the current folder"
if [ -w /dev/full ]; then
  # A device is written to or refused, never replaced by a file of ours.
  run page.html -o log4.rtf -log /dev/full
  [ "$status" -eq 0 ] && [ -f log4.rtf ] && grep -q 'run log' stderr.txt &&
    [ -c /dev/full ] || fail "log on a device: status $status, $(cat stderr.txt)"
fi
if [ "$(id -u)" -ne 0 ]; then
  mkdir -p readonly && chmod a-w readonly
  (cd readonly && "$bin" ../page.html -o ../log5.rtf >/dev/null 2>../stderr.txt)
  [ $? -eq 0 ] && [ -f log5.rtf ] || fail "read-only current folder: nothing converted"
  chmod u+w readonly
fi

# 15. Warnings: one per skipped picture, -q silences them, the GIF decoder's words go to
#     the run log only.
cp "$source_dir/tests/fixtures/gif/animated.gif" anim.gif
printf '<p>x</p><img src="missing.png"><img src="http://example.invalid/a.png"><img src="anim.gif">' >warn.html
run warn.html -o warn.rtf -image yes
grep -q 'warning: picture skipped, not found: .*missing.png' stderr.txt &&
  grep -q 'warning: picture skipped, remote and downloads are off: http://example.invalid/a.png' stderr.txt ||
  fail "picture warnings: $(cat stderr.txt)"
grep -q "Warning: picture skipped, not found" velmorane.log || fail "picture warning not in the log"
! grep -q 'extension' stderr.txt || fail "GIF diagnostics on stderr"
grep -q "GIF .*anim.gif: got a 'Application Extension' extension" velmorane.log ||
  fail "GIF diagnostics not in the run log"
run warn.html -o warn.rtf -image yes -q
[ ! -s stderr.txt ] || fail "-q: $(cat stderr.txt)"
run warn.html -o warn.rtf -v
grep -q 'velmorane: 4. Detect encoding.' stderr.txt || fail "-v: no stages"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all command-line checks passed"
