#!/usr/bin/env bash
# Runs every shell command of the README's walk-through, as written, in a fresh clone of
# the source folder (its committed state): ./run.sh, the install, the Debian package,
# the conversions and the C and Python examples. `sudo` is dropped when running as root.
# The commands install into the system (/usr/local, and the package into /usr), so the
# test runs only when VELMORANE_WALKTHROUGH=1 asks for it (a throwaway machine or
# container; it takes minutes) and removes what it installed afterwards.
#   walkthrough_test.sh <velmorane binary (unused)> <source folder>
set -u
source_dir="$(cd "$2" && pwd)"
if [ "${VELMORANE_WALKTHROUGH:-}" != "1" ]; then
  echo "walk-through test skipped (VELMORANE_WALKTHROUGH=1 runs it)"
  exit 77
fi
work="$(mktemp -d)"
clone="$work/clone"
packages=()
cleanup() {
  # What the install and the package put into the system goes again.
  if [ -f "$work/manifest.txt" ]; then
    xargs -d '\n' ${SUDO} rm -f <"$work/manifest.txt"
  fi
  if [ ${#packages[@]} -gt 0 ]; then
    ${SUDO} apt-get purge -y -qq "${packages[@]}" >/dev/null 2>&1
  fi
  ${SUDO} ldconfig 2>/dev/null
  rm -rf "$work"
}
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
trap cleanup EXIT

git clone --quiet "$source_dir" "$clone" || { echo "FAIL: git clone" >&2; exit 1; }
# Only the speed of the first build changes with ccache; the commands stay as written.
if command -v ccache >/dev/null 2>&1; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
  export CCACHE_BASEDIR="$work"
fi

# The packages the walk-through installs that were not installed before: removed after.
installed() {  # the packages installed now (not those only remembered as removed)
  dpkg-query -W -f='${Package} ${Status}\n' 2>/dev/null | awk '$4 == "installed" { print $1 }' | sort
}
installed_before="$(installed)"

# The commands: every line of the ```sh blocks between "## A walk through" and the next
# "## " heading, in order.
mapfile -t commands < <(python3 - "$clone/README.md" <<'PY'
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
start = text.index("## A walk through")
end = text.index("\n## ", start + 1)
for block in re.findall(r"```sh\n(.*?)```", text[start:end], re.S):
    for line in block.splitlines():
        if line.strip() and not line.lstrip().startswith("#"):
            print(line)
PY
)
[ ${#commands[@]} -ge 10 ] || { echo "FAIL: only ${#commands[@]} commands found" >&2; exit 1; }

failures=0
cd "$clone" || exit 1
for command in "${commands[@]}"; do
  run="$command"
  [ -z "$SUDO" ] && run="${run//sudo /}"
  echo "+ $command" >&2
  if ! bash -o pipefail -c "$run" >"$work/out.txt" 2>"$work/err.txt"; then
    echo "FAIL: $command" >&2
    tail -n 15 "$work/err.txt" >&2
    failures=$((failures + 1))
  fi
  # What cmake --install put into the system (cpack's own install writes the manifest
  # again, for its staging folder).
  if grep -qs '^/usr/local/' build/install_manifest.txt; then
    cp build/install_manifest.txt "$work/manifest.txt"
  fi
  # Packages the command installed are removed at the end.
  mapfile -t packages < <(comm -13 <(echo "$installed_before") \
    <(installed) | grep velmorane)
done

# What the commands should have left.
for file in sample.rtf sample.txt sample.rtf.gz sample-c.rtf sample-py.rtf out/sample.rtf \
            out/velmorane.log convert_stdin; do
  [ -s "$file" ] || { echo "FAIL: the walk-through left no $file" >&2; failures=$((failures + 1)); }
done
grep -q pngblip sample.rtf || { echo "FAIL: sample.rtf holds no picture" >&2; failures=$((failures + 1)); }
[ "$failures" -eq 0 ] && echo "walk-through: all ${#commands[@]} commands ran"
[ "$failures" -eq 0 ]
