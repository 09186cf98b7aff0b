#!/usr/bin/env bash
# The Debian packages the converter needs, in three groups:
#   build   what building the command line and the library takes (./run.sh)
#   test    the test suite, its reference readers and oracles, fuzzing and benchmarks
#   window  the desktop window and its screenshots
# Usage: scripts/deps.sh [build] [test] [window] [all]   (no group: all of them)
# Installs only what is missing; uses sudo when not run as root.
set -euo pipefail

BUILD=(
  build-essential cmake pkg-config
  libjpeg-dev libcurl4-openssl-dev
  librsvg2-dev libwebp-dev libtiff-dev
  dpkg-dev file  # cpack's Debian packages (dpkg-shlibdeps finds their dependencies)
)
TEST=(
  git ccache
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libpng-dev
  clang libclang-rt-14-dev
  python3 time
  python3-setuptools python3-venv python3-wheel python3-pip python3-pytest  # the Python package
  parallel  # the batch recipes of the README
  libreoffice-writer-nogui fonts-dejavu-core pandoc poppler-utils imagemagick
  abiword  # a second real reader of the RTF in the tests
  chromium  # the browser the formatting of converted pages is measured against
)
WINDOW=(
  qt6-base-dev libgl-dev
  xvfb xauth
)

groups=("$@")
[ ${#groups[@]} -eq 0 ] && groups=(all)
PACKAGES=()
for group in "${groups[@]}"; do
  case "$group" in
    build) PACKAGES+=("${BUILD[@]}") ;;
    test) PACKAGES+=("${BUILD[@]}" "${TEST[@]}") ;;
    window) PACKAGES+=("${BUILD[@]}" "${WINDOW[@]}") ;;
    all) PACKAGES+=("${BUILD[@]}" "${TEST[@]}" "${WINDOW[@]}") ;;
    *)
      echo "deps.sh: unknown group '$group' (build, test, window or all)" >&2
      exit 1
      ;;
  esac
done

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    case " ${missing[*]-} " in *" $p "*) ;; *) missing+=("$p") ;; esac
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}" >&2
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
