#!/usr/bin/env bash
# The Python package as a user installs it: a fresh virtual environment (seeing the
# system's packages), `pip install --no-build-isolation` of python/ from a folder outside
# the checkout, with the built libvelmorane.so bundled into it; then the package's tests
# (pytest) against the installed copy, which must load its own library. Debian's
# /usr/bin/python3 first, then another python3 on PATH that has setuptools and wheel.
#   python_package_test.sh VELMORANE_BINARY SOURCE_DIR
set -u
build="$(cd "$(dirname "$1")" && pwd)"
program="$build/$(basename "$1")"
source_dir="$(cd "$2" && pwd)"
library="$build/lib/libvelmorane.so"
if grep -q 'fsanitize' "$build/CMakeCache.txt"; then
  echo "sanitizer build: Python cannot load its library; skipped"
  exit 0
fi
[ -f "$library" ] || { echo "FAIL: no $library" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
version="$("$program" --version | awk '{ print $2 }')"

candidates=()
for python in /usr/bin/python3 "$(command -v python3 || true)"; do
  [ -x "$python" ] || continue
  real="$(readlink -f "$python")"
  case " ${candidates[*]-} " in *" $real "*) continue ;; esac
  if ! "$python" -c 'import venv, ensurepip, setuptools, wheel' 2>/dev/null; then
    echo "$python lacks venv, setuptools or wheel (scripts/deps.sh test); not tried"
    continue
  fi
  candidates+=("$real")
done
if [ ${#candidates[@]} -eq 0 ]; then
  echo "no python3 with venv, setuptools and wheel (scripts/deps.sh test); skipped"
  exit 0
fi

tested=0
for python in "${candidates[@]}"; do
  env_dir="$work/venv-$(basename "$python")-$RANDOM"
  cd "$work" || exit 1
  "$python" -m venv --system-site-packages "$env_dir" || { fail "$python: no venv"; continue; }
  if ! VELMORANE_LIBRARY="$library" PIP_NO_INDEX=1 "$env_dir/bin/python" -m pip install \
      --no-build-isolation --quiet "$source_dir/python" >"$work/pip.log" 2>&1; then
    fail "$python: pip install: $(tail -5 "$work/pip.log")"
    continue
  fi
  # The installed package, on the library it carries.
  loaded="$(cd "$work" && env -u VELMORANE_LIBRARY "$env_dir/bin/python" -c \
    'import velmorane; print(velmorane.__file__); print(velmorane.library_path)')"
  case "$loaded" in
    "$env_dir"/*"$env_dir"/*/velmorane/libvelmorane.so) ;;
    *) fail "$python: the package or its library is not the installed copy: $loaded" ;;
  esac
  if "$env_dir/bin/python" -c 'import pytest' 2>/dev/null; then
    (cd "$work" && env -u VELMORANE_LIBRARY VELMORANE_PROGRAM="$program" \
      "$env_dir/bin/python" -m pytest -q -p no:cacheprovider "$source_dir/python/tests") ||
      fail "$python: the package's tests"
    tested=$((tested + 1))
  else
    # Without pytest, what a user tries first.
    (cd "$work" && env -u VELMORANE_LIBRARY "$env_dir/bin/python" - "$version" <<'PY'
import sys, velmorane
assert velmorane.convert("<p>Hi <b>there</b></p>").startswith(b"{\\rtf1")
assert velmorane.convert("<p>Hi <b>there</b></p>", text=True).strip() == b"Hi there"
try:
    velmorane.convert_file("missing.html")
    raise SystemExit("no error for a missing input")
except velmorane.ConversionError as error:
    assert error.code == 4, error.code
assert velmorane.__version__ == sys.argv[1], velmorane.__version__
PY
    ) || fail "$python: the package without pytest"
  fi
done
[ "$tested" -gt 0 ] || echo "note: no python3 with pytest (python3-pytest); only the first checks ran"

[ "$failures" -eq 0 ] || exit 1
echo "Python package: all checks passed (${candidates[*]})"
