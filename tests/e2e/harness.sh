# The common start of the command-line tests, sourced with their two arguments (the
# velmorane binary, the source folder): sets bin, source_dir and work, moves into the
# scratch folder (removed on exit) and provides fail, which counts failures.
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
