#!/usr/bin/env bash
# Draws the desktop window, each of its dialogs, the message boxes of a run and the log
# view into docs/screenshots/ (or the folder given), through Qt's offscreen platform: no
# display is needed. Usage: scripts/screenshot.sh [FOLDER]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dest="$(realpath -m "${1:-$root/docs/screenshots}")"
build="${BUILD_DIR:-$root/build}"
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target velmorane-screenshots -j2 >/dev/null
tool="$build/src/frontends/window/velmorane-screenshots"
# A scratch folder keeps the user's settings out of the pictures and holds the pages
# the pictured runs convert.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=offscreen
mkdir -p "$dest"
(cd "$work" && "$tool" "$dest")
echo "saved in $dest"
