#!/usr/bin/env bash
# Starts velmorane-gui on a virtual X display and saves a picture of the screen to
# out/screenshot.png. Usage: scripts/screenshot.sh [path/to/velmorane-gui]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
gui="${1:-$root/build/src/frontends/window/velmorane-gui}"
if [[ ! -x "$gui" ]]; then
  echo "velmorane-gui not found at $gui; build it first (./test.sh or cmake --build build)" >&2
  exit 1
fi
for tool in xvfb-run import; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (packages xvfb, imagemagick)" >&2; exit 1; }
done
mkdir -p "$root/out"
shot="$root/out/screenshot.png"
# A scratch folder keeps the user's settings and paths files out of the picture.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"
export QT_QPA_PLATFORM=xcb
cd "$work"
xvfb-run --auto-servernum --server-args="-screen 0 900x640x24" bash -c '
  "$1" & pid=$!
  sleep "${SCREENSHOT_DELAY:-3}"
  import -window root "$2"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
' _ "$gui" "$shot"
echo "saved $shot"
