#!/usr/bin/env bash
# Installs missing dependencies, builds into build/ and runs every test with ctest.
# In CI (CI=true) warnings are errors, and the suite runs a second time in an
# AddressSanitizer + UndefinedBehaviorSanitizer build (build-asan/, without the desktop
# window); VELMORANE_SANITIZE=1 asks for that second run outside CI too.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
flags=(-DCMAKE_BUILD_TYPE=Release)
if [ "${CI:-}" = "true" ]; then flags+=(-DVELMORANE_WERROR=ON); fi
cmake -S . -B build "${flags[@]}" >/dev/null
cmake --build build -j "$(nproc)"
ctest --test-dir build --output-on-failure -j "$(nproc)" "$@"

if [ "${CI:-}" = "true" ] || [ "${VELMORANE_SANITIZE:-}" = "1" ]; then
  sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORANE_GUI=OFF \
    -DVELMORANE_BENCH=OFF "-DCMAKE_CXX_FLAGS=$sanitize" \
    "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined" >/dev/null
  cmake --build build-asan -j "$(nproc)"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j "$(nproc)" "$@"
fi
