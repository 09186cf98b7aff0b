#!/usr/bin/env bash
# Differential check for engine rework: builds an older commit and the current tree, converts
# the same pages with both in every mode and compares the outputs byte for byte.
#
#   bench/differential.sh BASE_REV [CORPUS_DIR...]
#
# Pages: every HTML page under tests/fixtures, examples/sample.html, the golden test's
# generated 200 KB pages, the benchmark pages of bench/data (made by bench/scripts/make_pages.py
# when missing) and every HTML page under each CORPUS_DIR given, each converted on its own;
# the benchmark folder of small pages in one folder run per binary and mode, whose run logs
# (without their clock lines) must agree as well.
# Modes: RTF and plain text, each with pictures off and on (DIFF_MODES overrides the list,
# "name|arguments" entries separated by ';').
# For each page and mode the exit status, the names of the files written and their bytes must
# agree. Prints the counts and the differing cases; ends with 1 on any difference.
# DIFF_SIZES (default "1,10,100") chooses the benchmark page sizes; DIFF_SMALL_PAGES (default
# 1000) the pages of the benchmark folder.
set -euo pipefail
if [ $# -lt 1 ]; then
  echo "usage: $0 BASE_REV [CORPUS_DIR...]" >&2
  exit 2
fi
here="$(cd "$(dirname "$0")/.." && pwd)"
base_rev="$(git -C "$here" rev-parse --verify "$1^{commit}")"
shift
corpus_dirs=()
for dir in "$@"; do
  [ -d "$dir" ] || { echo "not a folder: $dir" >&2; exit 2; }
  corpus_dirs+=("$(cd "$dir" && pwd)")
done
sizes="${DIFF_SIZES:-1,10,100}"
small_pages="${DIFF_SMALL_PAGES:-1000}"
IFS=';' read -r -a modes <<<"${DIFF_MODES:-rtf|-image no;rtf-pictures|-image yes;txt|-txt yes -image no;txt-pictures|-txt yes -image yes}"

export CCACHE_DIR="${CCACHE_DIR:-$(dirname "$here")/.ccache}"
# Paths below this folder hash alike in both trees, so the older build mostly hits the cache.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(dirname "$here")}"
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
jobs="$(nproc)"

# Builds the command-line program of the tree $1 in $1/build.
build_tree() {
  cmake -S "$1" -B "$1/build" -DCMAKE_BUILD_TYPE=Release -DVELMORANE_TESTS=OFF \
    -DVELMORANE_GUI=OFF -DVELMORANE_BENCH=OFF "${launcher[@]}" >"$1/build-config.log" 2>&1 \
    || { cat "$1/build-config.log" >&2; return 1; }
  cmake --build "$1/build" -j "$jobs" --target velmorane >"$1/build.log" 2>&1 \
    || { tail -n 40 "$1/build.log" >&2; return 1; }
}

# The older commit is exported (no worktree is registered in the repository) next to the
# current tree's build folders and kept per commit, so a second run does not rebuild it.
base_tree="$here/build-differential/$base_rev"
if [ ! -x "$base_tree/build/velmorane" ]; then
  rm -rf "$base_tree"
  mkdir -p "$base_tree"
  git -C "$here" archive "$base_rev" | tar -x -C "$base_tree"
  echo "building $base_rev ..."
  build_tree "$base_tree"
fi
base_bin="$base_tree/build/velmorane"
# The current tree is built in a folder of its own: build/ may be configured otherwise.
current_tree="$here/build-differential/current"
mkdir -p "$current_tree"
echo "building the current tree ..."
cmake -S "$here" -B "$current_tree/build" -DCMAKE_BUILD_TYPE=Release -DVELMORANE_TESTS=OFF \
  -DVELMORANE_GUI=OFF -DVELMORANE_BENCH=OFF "${launcher[@]}" >"$current_tree/build-config.log" 2>&1 \
  || { cat "$current_tree/build-config.log" >&2; exit 1; }
cmake --build "$current_tree/build" -j "$jobs" --target velmorane >"$current_tree/build.log" 2>&1 \
  || { tail -n 40 "$current_tree/build.log" >&2; exit 1; }
current_bin="$current_tree/build/velmorane"

work="$(mktemp -d -p "${DIFF_WORK_DIR:-/dev/shm}" 2>/dev/null || mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Benchmark pages, made as bench/run_benchmarks.sh makes them (and kept for it).
data="$here/bench/data"
mkdir -p "$data"
for mb in ${sizes//,/ }; do
  if [ ! -f "$data/page-${mb}mb.html" ] || [ ! -f "$data/page-${mb}mb-1251.html" ]; then
    python3 "$here/bench/scripts/make_pages.py" "$data" --sizes "$mb" --small-pages 0
  fi
done
if [ "$(find "$data/small" -name '*.html' 2>/dev/null | wc -l)" -ne "$small_pages" ]; then
  rm -rf "$data/small"
  python3 "$here/bench/scripts/make_pages.py" "$data" --sizes "" --small-pages "$small_pages"
fi
# The memory pages: all tables, and lists nested 100,000 deep (DIFF_MEMORY_MB sets the size of
# the first, 10 MB unless said otherwise).
memory_mb="${DIFF_MEMORY_MB:-10}"
if [ ! -f "$data/tables-${memory_mb}mb.html" ] || [ ! -f "$data/nested-lists.html" ]; then
  python3 "$here/bench/scripts/make_pages.py" "$data" --sizes "" --small-pages 0 \
    --memory-mb "$memory_mb"
fi
python3 "$here/bench/scripts/make_pages.py" "$work/gen" --sizes "" --small-pages 0 \
  --page-kb 200 --seed 7

pages=()
while IFS= read -r -d '' page; do pages+=("$page"); done < <(
  {
    find "$here/tests/fixtures" -type f \( -iname '*.html' -o -iname '*.htm' \) -print0
    printf '%s\0' "$here/examples/sample.html" "$work/gen/page-200kb.html" \
      "$work/gen/page-200kb-1251.html"
    for mb in ${sizes//,/ }; do
      printf '%s\0' "$data/page-${mb}mb.html" "$data/page-${mb}mb-1251.html"
    done
    printf '%s\0' "$data/tables-${memory_mb}mb.html" "$data/nested-lists.html"
    for dir in "${corpus_dirs[@]}"; do
      find "$dir" -type f \( -iname '*.html' -o -iname '*.htm' \) -print0
    done
  } | sort -zu)

compared=0
identical=0
different=()
# Converts one page with one binary into the empty folder $3; prints the exit status.
run_one() {
  local bin="$1" page="$2" out="$3" args="$4" status=0
  mkdir -p "$out"
  # shellcheck disable=SC2086  # the mode's arguments are meant to split
  (cd "$work" && "$bin" "$page" "$out" $args >/dev/null 2>&1) || status=$?
  echo "$status"
}

# The run log without its clock lines and with the output folder named alike.
clean_log() {
  [ -f "$1/velmorane.log" ] || return 0
  grep -v -e '^Date: ' -e '^Begin converting in: ' -e '^End of converting in: ' \
    "$1/velmorane.log" | sed "s|$1|OUT|g" || true
}
# True when the folders $1 and $2 hold the same files with the same bytes, run logs aside,
# and the same run logs once cleaned.
same_outputs() {
  diff -r -q -x velmorane.log "$1" "$2" >/dev/null 2>&1 || return 1
  cmp -s <(clean_log "$1") <(clean_log "$2")
}

echo "comparing ${#pages[@]} pages one by one and $(find "$data/small" -name '*.html' | wc -l) in folder runs, in ${#modes[@]} modes ..."
for page in "${pages[@]}"; do
  for mode in "${modes[@]}"; do
    name="${mode%%|*}"
    args="${mode#*|}"
    rm -rf "$work/a" "$work/b"
    status_a="$(run_one "$base_bin" "$page" "$work/a" "$args")"
    status_b="$(run_one "$current_bin" "$page" "$work/b" "$args")"
    compared=$((compared + 1))
    if [ "$status_a" = "$status_b" ] && same_outputs "$work/a" "$work/b"; then
      identical=$((identical + 1))
    else
      different+=("${page#"$here/"} [$name] (status $status_a -> $status_b)")
    fi
  done
done

# The benchmark folder in folder runs (one process per binary and mode): its outputs page by
# page, the exit status and the run log without its clock lines.
folder_pages=("$data/small"/*.html)
for mode in "${modes[@]}"; do
  name="${mode%%|*}"
  args="${mode#*|}"
  for side in a b; do
    bin="$base_bin"
    [ "$side" = b ] && bin="$current_bin"
    rm -rf "$work/$side" "$work/log-$side"
    mkdir -p "$work/$side" "$work/log-$side"
    status=0
    # shellcheck disable=SC2086  # the mode's arguments are meant to split
    (cd "$work/log-$side" && "$bin" "$data/small" "$work/$side" $args -jobs 1 -log velmorane.log >/dev/null 2>&1) \
      || status=$?
    eval "status_$side=$status"
    grep -v -e '^Date: ' -e '^Begin converting in: ' -e '^End of converting in: ' \
      "$work/log-$side/velmorane.log" | sed "s|$work/$side|OUT|g" >"$work/log-$side.txt" || true
  done
  # shellcheck disable=SC2154  # set by the eval above
  if [ "$status_a" != "$status_b" ] || ! cmp -s "$work/log-a.txt" "$work/log-b.txt"; then
    different+=("bench/data/small [$name] (status $status_a -> $status_b, or its run log)")
  fi
  for page in "${folder_pages[@]}"; do
    base="$(basename "$page" .html)"
    compared=$((compared + 1))
    same=1
    for file in "$work/a/$base".* "$work/b/$base".*; do
      [ -e "$file" ] || continue
      rel="${file#"$work"/?/}"
      cmp -s "$work/a/$rel" "$work/b/$rel" || same=0
    done
    if [ "$same" -eq 1 ]; then
      identical=$((identical + 1))
    else
      different+=("${page#"$here/"} [$name] (folder run)")
    fi
  done
done

echo "base $base_rev against the current tree"
echo "compared: $compared  identical: $identical  different: ${#different[@]}"
if [ "${#different[@]}" -gt 0 ]; then
  printf '  differs: %s\n' "${different[@]}"
  exit 1
fi
