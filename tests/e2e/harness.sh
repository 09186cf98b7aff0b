# The common start of the command-line tests, sourced with their two arguments (the
# velmorane binary, the source folder): sets bin, source_dir and work, moves into the
# scratch folder (removed on exit) and provides fail, which counts failures, and
# wait_for_file.
set -u
bin="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
source_dir="$(cd "${2:-.}" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Waits (up to about 12 s) until a file named like $2 (a find pattern) is in folder $1
# or below; false when none came.
wait_for_file() {
  local _
  for _ in $(seq 1 600); do
    [ -n "$(find "$1" -name "$2" 2>/dev/null | head -1)" ] && return 0
    sleep 0.02
  done
  return 1
}
