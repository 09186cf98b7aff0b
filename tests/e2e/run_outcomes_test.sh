#!/usr/bin/env bash
# What a run tells: the status and the words of each failure are the true ones, and a run
# stopped or failing leaves nothing of its own behind.
# Usage: run_outcomes_test.sh <velmorane binary> <source folder>
set -u
bin="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
source_dir="$(cd "$2" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

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

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "run outcomes: all checks passed"
