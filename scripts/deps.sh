#!/usr/bin/env bash
# The one list of Debian packages needed to build, test and benchmark the converter.
# Installs only what is missing; uses sudo when not run as root.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  libjpeg-dev libcurl4-openssl-dev zlib1g-dev libpng-dev
  librsvg2-dev libwebp-dev libtiff-dev
  qt6-base-dev libgl-dev
  clang libclang-rt-14-dev
  python3 time
  libreoffice-writer-nogui fonts-dejavu-core pandoc poppler-utils imagemagick
  xvfb xauth
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}" >&2
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
