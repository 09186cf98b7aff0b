#!/usr/bin/env bash
# Builds the fuzz harnesses with clang's libFuzzer (AddressSanitizer and
# UndefinedBehaviorSanitizer on) into build-fuzz/ and runs each for the given number of
# seconds (default 600), one after the other, at low priority. Inputs that crash, hang or
# leak are copied to tests/fixtures/fuzz/<target>/ so that ctest replays them from then on.
#   scripts/fuzz.sh [SECONDS] [TARGET...]      targets: html css gif png inflate bmp cli config
# VELMORANE_FUZZ_NO_BUILD=1 skips the build (for runs side by side on one build);
# VELMORANE_FUZZ_BUILD_DIR builds and runs in another folder than build-fuzz/.
# Logs go to <build>/logs/<target>.log; the grown corpora stay in <build>/corpus/.
# The sanitizers run as in CI: leaks the system libraries keep on purpose are suppressed
# (scripts/lsan.supp), undefined behaviour prints its stack.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-600}"
shift || true
targets=("$@")
build="${VELMORANE_FUZZ_BUILD_DIR:-$here/build-fuzz}"
if [ ${#targets[@]} -eq 0 ]; then
  for f in "$here"/fuzz/*_fuzzer.cc; do targets+=("$(basename "$f" _fuzzer.cc)"); done
fi
if [ "${VELMORANE_FUZZ_NO_BUILD:-}" != "1" ]; then
  "$here/scripts/deps.sh"
  (cd "$here" && cmake --preset fuzz -B "$build" >/dev/null)
  build_targets=()
  for t in "${targets[@]}"; do build_targets+=(--target "${t}_fuzzer"); done
  nice -n 10 cmake --build "$build" -j "$(nproc)" "${build_targets[@]}"
fi
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  findings="$build/findings/$t"
  log="$build/logs/$t.log"
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  if [ -d "$here/fuzz/corpus/$t" ]; then cp -n "$here/fuzz/corpus/$t"/* "$corpus/" 2>/dev/null || true; fi
  dict=()
  if [ -f "$here/fuzz/$t.dict" ]; then dict=(-dict="$here/fuzz/$t.dict"); fi
  echo "== $t for ${seconds}s (log: $log)"
  ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}" \
    LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$here/scripts/lsan.supp:print_suppressions=0}" \
    UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}" \
    nice -n 10 "$build/fuzz/${t}_fuzzer" "$corpus" "${dict[@]}" \
    -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=65536 \
    -artifact_prefix="$findings/" -print_final_stats=1 >"$log" 2>&1 || true
  grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::peak_rss_mb|Done [0-9]+ runs|==[0-9]+==ERROR|SUMMARY|invariant broken)' "$log" || true
  if compgen -G "$findings/*" >/dev/null; then
    mkdir -p "$here/tests/fixtures/fuzz/$t"
    cp "$findings"/* "$here/tests/fixtures/fuzz/$t/"
    echo "findings of $t kept in tests/fixtures/fuzz/$t/"
  fi
done
