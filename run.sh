#!/usr/bin/env bash
# Installs missing dependencies, builds (Release) into build/ and runs build/velmorane.
# Without arguments it converts examples/sample.html (with its pictures) into out/.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/scripts/deps.sh"
cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$here/build" -j "$(nproc)" --target velmorane >&2
if [ $# -eq 0 ]; then
  mkdir -p "$here/out"
  exec "$here/build/velmorane" "$here/examples/sample.html" "$here/out" -image yes
fi
exec "$here/build/velmorane" "$@"
