#!/usr/bin/env bash
# The batch recipes of the README's "Millions of pages", run as written on this machine:
# GNU parallel with lists of files (once as on one machine, once through --sshlogin with
# ":" for this machine), the Kubernetes Job's command for every index and the Slurm
# script for every array task. Each union of outputs must equal one folder run byte for
# byte, with every file converted once. Shares of a tree with pages of one output name
# (flat and mirrored) must keep the names one run gives.
#   batch_recipes_test.sh VELMORANE_BINARY SOURCE_DIR
set -u
binary="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
source_dir="$(cd "$2" && pwd)"
if ! command -v parallel >/dev/null; then
  echo "GNU parallel is not installed (scripts/deps.sh test); skipped"
  exit 0
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
# The recipes call the program by its name.
mkdir -p "$work/bin"
ln -s "$binary" "$work/bin/velmorane"
export PATH="$work/bin:$PATH"

# The fenced block after "<!-- recipe: NAME -->" in the README.
recipe() {
  awk -v marker="<!-- recipe: $1 -->" '
    $0 == marker { found = 1; next }
    found && /^```/ { if (inside) exit; inside = 1; next }
    inside { print }' "$source_dir/README.md"
}

# A tree of 1100 pages in nested folders (three lists of 500), some with tables and
# pictures, a page beside a non-HTML file, no two with one output name.
make_site() {
  local site="$1"
  mkdir -p "$site"
  cp "$source_dir/examples/sample.html" "$source_dir/examples/sample.png" "$site/"
  for i in $(seq 1 1100); do
    local folder="$site/part$((i % 7))/sub$((i % 3))"
    mkdir -p "$folder"
    if [ $((i % 50)) -eq 0 ]; then
      printf '<h1>Table %d</h1><table border=1><tr><td>%d</td><td>cell</td></tr></table>' \
        "$i" "$i" > "$folder/page$i.html"
    else
      printf '<h2>Page %d</h2><p>Some <b>text</b> of page %d.</p>' "$i" "$i" > "$folder/page$i.htm"
    fi
  done
  echo "not a page" > "$site/part1/notes.txt"
}

# Every input converted once: the outcome lines of the logs name each file once, as many
# as the one run converted.
check_once() {
  local name="$1" expected="$2"
  shift 2
  local lines
  lines="$(cat "$@" | grep -c 'Converted successfully' || true)"
  [ "$lines" -eq "$expected" ] || fail "$name: $lines conversions, not $expected"
  local twice
  twice="$(cat "$@" | grep 'Converted successfully' | sed 's/ -> .*//' | sed 's|.*/site/||' |
    sort | uniq -d)"
  [ -z "$twice" ] || fail "$name: converted twice: $twice"
}

same_tree() {
  diff -r "$1" "$2" >"$work/diff.txt" 2>&1 || fail "$3: outputs differ from one run: $(head -5 "$work/diff.txt")"
}

# The reference: one folder run.
mkdir -p "$work/data"
make_site "$work/data/site"
velmorane "$work/data/site" "$work/reference" -subfolders yes -q -log none ||
  fail "the folder run ended with status $?"
pages="$(find "$work/reference" -type f | wc -l)"
[ "$pages" -eq 1101 ] || fail "the folder run wrote $pages files, not 1101"

# GNU parallel, on one machine and through --sshlogin (here only this machine).
for name in parallel sshlogin; do
  text="$(recipe "$name")"
  [ -n "$text" ] || { fail "no recipe $name in README.md"; continue; }
  text="${text//cd \/data/cd \"$work/data\"}"
  text="${text//--sshlogin 8\/node1,8\/node2,:/--sshlogin 2/:}"
  rm -rf "$work/data/out" "$work/data/logs"
  (bash -euo pipefail -c "$text") || fail "recipe $name ended with status $?"
  same_tree "$work/reference" "$work/data/out" "recipe $name"
  check_once "recipe $name" 1101 "$work/data/logs/"*.log
  jobs="$(ls "$work/data/logs" | wc -l)"
  [ "$jobs" -eq 3 ] || fail "recipe $name ran $jobs jobs, not 3"
done

# The Kubernetes Job's command for each of its indexes, then the Slurm script per task.
manifest="$source_dir/examples/velmorane-job.yaml"
command="$(sed -n 's/^ *- \(mkdir .*velmorane .*\)$/\1/p' "$manifest")"
[ -n "$command" ] || fail "no command in $manifest"
completions="$(sed -n 's/^ *completions: \([0-9]*\)$/\1/p' "$manifest")"
grep -q "completionMode: Indexed" "$manifest" || fail "the Job is not indexed"
case "$command" in *"--shard \"\$JOB_COMPLETION_INDEX/$completions\""*) ;;
  *) fail "the Job's shares do not match its $completions completions" ;; esac
rm -rf "$work/data/out" "$work/data/logs"
for index in $(seq 0 $((completions - 1))); do
  JOB_COMPLETION_INDEX="$index" sh -c "${command//\/data/$work/data}" ||
    fail "Job index $index ended with status $?"
done
same_tree "$work/reference" "$work/data/out" "the Job"
check_once "the Job" 1101 "$work/data/logs/"*.log

slurm="$(recipe slurm)"
[ -n "$slurm" ] || fail "no recipe slurm in README.md"
rm -rf "$work/data/out" "$work/data/logs"
for task in 0 1 2 3 4 5 6 7; do
  SLURM_ARRAY_TASK_ID="$task" SLURM_ARRAY_TASK_COUNT=8 sh -c "${slurm//\/data/$work/data}" ||
    fail "Slurm task $task ended with status $?"
done
same_tree "$work/reference" "$work/data/out" "the Slurm array"
check_once "the Slurm array" 1101 "$work/data/logs/"*.log

# Pages of one output name: shares keep them together, so the names match one run.
mixed="$work/mixed/site"
mkdir -p "$mixed/docs/deep" "$mixed/api"
for page in index.htm a.htm a.html docs/index.htm docs/a.htm docs/a.html docs/b.htm \
            api/index.html api/a.htm docs/deep/index.htm docs/deep/a.htm; do
  printf '<p>%s</p>' "$page" > "$mixed/$page"
done
for flat in no yes; do
  velmorane "$mixed" "$work/mixed/one-$flat" -subfolders yes -flat "$flat" -q -log none ||
    fail "mixed folder run (flat $flat) ended with status $?"
  for count in 2 3 5; do
    out="$work/mixed/shares-$flat-$count"
    for index in $(seq 0 $((count - 1))); do
      velmorane "$mixed" "$out" -subfolders yes -flat "$flat" --shard "$index/$count" -q \
        -log "$work/mixed/log-$flat-$count-$index" || fail "share $index/$count ended with $?"
    done
    same_tree "$work/mixed/one-$flat" "$out" "mixed shares (flat $flat, $count shares)"
    check_once "mixed shares (flat $flat, $count shares)" 11 "$work/mixed/log-$flat-$count-"*
  done
done

[ "$failures" -eq 0 ] || exit 1
echo "batch recipes: all checks passed"
