#!/usr/bin/env bash
# Installs missing dependencies, builds into build/ and runs every test with ctest.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
preset_flags=(-DCMAKE_BUILD_TYPE=Release)
if [ "${CI:-}" = "true" ]; then preset_flags+=(-DVELMORANE_WERROR=ON); fi
cmake -S . -B build "${preset_flags[@]}" >/dev/null
cmake --build build -j "$(nproc)"
ctest --test-dir build --output-on-failure -j "$(nproc)" "$@"
