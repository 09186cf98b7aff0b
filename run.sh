#!/usr/bin/env bash
# Installs what building the command line needs (scripts/deps.sh build), builds it
# (Release) into build/ with everything `cmake --install build` and cpack take (the
# library, the man page, and the window when Qt is installed), and runs build/velmorane
# with the arguments given. Without
# arguments it converts examples/sample.html (with its pictures) into out/ and prints
# the path of the document it wrote.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/scripts/deps.sh" build
cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$here/build" -j "$(nproc)" --target installables >&2
if [ $# -gt 0 ]; then
  exec "$here/build/velmorane" "$@"
fi
mkdir -p "$here/out"
"$here/build/velmorane" "$here/examples/sample.html" -o "$here/out/sample.rtf" -image yes \
  -log "$here/out/velmorane.log"
echo "Wrote $here/out/sample.rtf (run log: $here/out/velmorane.log)"
