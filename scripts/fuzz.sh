#!/usr/bin/env bash
# Builds the fuzz harnesses with clang's libFuzzer and runs each for the given number of
# seconds (default 600). Inputs that crash are copied to tests/fixtures/fuzz/<target>/
# so that ctest replays them from then on.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-600}"
shift || true
"$here/scripts/deps.sh"
cmake --preset fuzz -S "$here" >/dev/null
cmake --build "$here/build-fuzz" -j "$(nproc)"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in "$here"/fuzz/*_fuzzer.cc; do targets+=("$(basename "$f" _fuzzer.cc)"); done
fi
for t in "${targets[@]}"; do
  corpus="$here/build-fuzz/corpus/$t"
  findings="$here/build-fuzz/findings/$t"
  mkdir -p "$corpus" "$findings"
  [ -d "$here/fuzz/corpus/$t" ] && cp -n "$here/fuzz/corpus/$t"/* "$corpus/" 2>/dev/null || true
  dict=()
  [ -f "$here/fuzz/$t.dict" ] && dict=(-dict="$here/fuzz/$t.dict")
  echo "== $t for ${seconds}s"
  "$here/build-fuzz/fuzz/${t}_fuzzer" "$corpus" "${dict[@]}" -max_total_time="$seconds" \
    -artifact_prefix="$findings/" -print_final_stats=1 2>&1 | tail -n 20 || true
  if compgen -G "$findings/*" >/dev/null; then
    mkdir -p "$here/tests/fixtures/fuzz/$t"
    cp "$findings"/* "$here/tests/fixtures/fuzz/$t/"
    echo "findings of $t kept in tests/fixtures/fuzz/$t/"
  fi
done
