#!/usr/bin/env bash
# Whole-process benchmark: times build/velmorane on generated 1, 10 and 100 MB pages and
# on a folder of 1,000 small pages (with 1 and 2 workers), beside pandoc when installed,
# and prints MB/s, peak memory and the ratios the targets are stated in.
#
#   bench/run_benchmarks.sh [--sizes 1,10,100] [--small-pages 1000] [--repeat 3]
#                           [--memory-mb 100]
#
# It also reports the peak memory against the input on a page of nothing but tables
# (--memory-mb MB, 100 unless said otherwise; 0 leaves it out) and on 100,000 nested lists.
#
# Each measurement is repeated (3 times unless --repeat says otherwise) and the fastest
# run is reported: on a shared or virtual machine the slower runs measure the neighbours.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
sizes="1,10,100"
small_pages=1000
repeat=3
memory_mb=100
while [ $# -gt 0 ]; do
  case "$1" in
    --sizes) sizes="$2"; shift 2 ;;
    --small-pages) small_pages="$2"; shift 2 ;;
    --repeat) repeat="$2"; shift 2 ;;
    --memory-mb) memory_mb="$2"; shift 2 ;;
    *) echo "usage: $0 [--sizes 1,10,100] [--small-pages N] [--repeat N] [--memory-mb MB]" >&2; exit 2 ;;
  esac
done

# VELMORANE_BIN=/path/to/velmorane times another build (an older commit, for instance).
bin="${VELMORANE_BIN:-$here/build/velmorane}"
if [ ! -x "$bin" ]; then
  cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$here/build" -j "$(nproc)" --target velmorane >/dev/null
fi
# Pages are made once and kept: each size on its own (the same size always gives the same
# bytes), the folder again whenever it holds another number of pages.
data="$here/bench/data"
mkdir -p "$data"
for mb in ${sizes//,/ }; do
  if [ ! -f "$data/page-${mb}mb.html" ] || [ ! -f "$data/page-${mb}mb-1251.html" ]; then
    python3 "$here/bench/scripts/make_pages.py" "$data" --sizes "$mb" --small-pages 0
  fi
done
if [ "$memory_mb" -gt 0 ] && { [ ! -f "$data/tables-${memory_mb}mb.html" ] || [ ! -f "$data/nested-lists.html" ]; }; then
  python3 "$here/bench/scripts/make_pages.py" "$data" --sizes "" --small-pages 0 --memory-mb "$memory_mb"
fi
if [ "$(find "$data/small" -name '*.html' 2>/dev/null | wc -l)" -ne "$small_pages" ]; then
  rm -rf "$data/small"
  python3 "$here/bench/scripts/make_pages.py" "$data" --sizes "" --small-pages "$small_pages"
fi
# Outputs go to memory (/dev/shm) where there is one, so the figures are the converter's
# and not the disk's: on ext4, creating a thousand files where a thousand were just
# deleted spends most of the folder run in the kernel's inode search.
# BENCH_WORK_DIR=/some/folder chooses another parent folder.
work="$(mktemp -d -p "${BENCH_WORK_DIR:-/dev/shm}" 2>/dev/null || mktemp -d)"
cd "$work"  # scratch files land here (the run log goes beside each run's outputs)
trap 'rm -rf "$work"' EXIT

# Runs a command under /usr/bin/time; sets SECONDS_TAKEN (wall), CPU_SECONDS (user +
# system), PEAK_KB and STATUS. A run that fails is reported, never timed as a success.
measure() {
  local log="$work/time.log"
  STATUS=0
  # Wall time to the microsecond (time -v rounds to 10 ms, too coarse for small pages).
  local start=$EPOCHREALTIME
  /usr/bin/time -v "$@" >/dev/null 2>"$log" || STATUS=$?
  local end=$EPOCHREALTIME
  SECONDS_TAKEN=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }')
  CPU_SECONDS=$(awk -F': ' '/User time|System time/ {s += $2} END {printf "%.2f", s}' "$log")
  PEAK_KB=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$log")
  if [ "$STATUS" -ne 0 ]; then echo "FAILED with status $STATUS: $*" >&2; fi
}

# The outputs are compared with the SHA-256 sums recorded in bench/outputs.sha256 (made
# by the engine before its optimisations): a faster engine must write the same bytes.
checked=0
changed=()
check_output() {
  local name="$1" file="$2" want got
  want=$(awk -v n="$name" '$2 == n { print $1 }' "$here/bench/outputs.sha256")
  [ -n "$want" ] || return 0
  got=$(sha256sum <"$file" | cut -d' ' -f1)
  checked=$((checked + 1))
  if [ "$got" != "$want" ]; then changed+=("$name"); fi
}

# measure, `repeat` times; keeps the figures of the fastest run. A failed run is kept
# (STATUS non-zero) and ends the repetitions. `before` is run ahead of each repetition.
measure_best() {
  local before="$1"
  shift
  local best_seconds="" best_cpu="" best_peak="" i
  for ((i = 0; i < repeat; ++i)); do
    eval "$before"
    measure "$@"
    if [ "$STATUS" -ne 0 ]; then return; fi
    if [ -z "$best_seconds" ] || awk -v a="$SECONDS_TAKEN" -v b="$best_seconds" 'BEGIN { exit !(a < b) }'; then
      best_seconds=$SECONDS_TAKEN
      best_cpu=$CPU_SECONDS
      best_peak=$PEAK_KB
    fi
  done
  SECONDS_TAKEN=$best_seconds
  CPU_SECONDS=$best_cpu
  PEAK_KB=$best_peak
}

echo "machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "output folder: $work ($(stat -f -c %T "$work"))"
echo "date: $(date -u '+%Y-%m-%d %H:%M UTC'), load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "each figure: the fastest of $repeat runs"
mkdir -p "$work/out"
printf '%-30s %8s %9s %9s %9s %11s\n' page MB seconds MB/s "cpu s" "peak/input"
declare -A velmorane_seconds velmorane_cpu
for mb in ${sizes//,/ }; do
  for variant in "" "-1251"; do
    page="$data/page-${mb}mb${variant}.html"
    bytes=$(stat -c %s "$page")
    measure_best 'rm -f "$work/out/"*' "$bin" "$page" "$work/out" -table yes
    check_output "page-${mb}mb${variant}" "$work/out/page-${mb}mb${variant}.rtf"
    rate=$(awk -v b="$bytes" -v s="$SECONDS_TAKEN" 'BEGIN { printf "%.1f", (s > 0 ? b / 1048576 / s : 0) }')
    ratio=$(awk -v k="$PEAK_KB" -v b="$bytes" 'BEGIN { printf "%.2f", k * 1024 / b }')
    printf '%-30s %8.1f %9.3f %9s %9s %11s\n' "velmorane $(basename "$page")" \
      "$(awk -v b="$bytes" 'BEGIN { print b / 1048576 }')" "$SECONDS_TAKEN" "$rate" \
      "$CPU_SECONDS" "$ratio"
    if [ -z "$variant" ]; then
      velmorane_seconds[$mb]=$SECONDS_TAKEN
      velmorane_cpu[$mb]=$CPU_SECONDS
    fi
  done
done

# Peak memory against the input on the pages that need the most: tables write about five
# times their input, and a list nested 100,000 deep more than that.
if [ "$memory_mb" -gt 0 ]; then
  for page in "$data/tables-${memory_mb}mb.html:6" "$data/nested-lists.html:8"; do
    target=${page##*:}
    page=${page%:*}
    bytes=$(stat -c %s "$page")
    measure_best 'rm -f "$work/out/"*' "$bin" "$page" "$work/out"
    out_bytes=$(stat -c %s "$work/out/$(basename "${page%.html}").rtf" 2>/dev/null || echo 0)
    awk -v k="$PEAK_KB" -v b="$bytes" -v o="$out_bytes" -v t="$target" -v s="$SECONDS_TAKEN" -v n="$(basename "$page")" \
      'BEGIN { printf "memory %s: %.1f MB in %.2f s, peak %.0f MB = %.2f times the input (target <= %d); output %.2f times the input\n", n, b / 1048576, s, k / 1024, k * 1024 / b, t, o / b }'
  done
fi

# The distance to a plain byte transform of the same page: tr reading and writing it.
largest=""
for mb in ${sizes//,/ }; do largest=$mb; done
if [ -n "$largest" ] && [ -n "${velmorane_seconds[$largest]:-}" ]; then
  page="$data/page-${largest}mb.html"
  measure_best 'rm -f "$work/tr.out"' sh -c 'tr a-z A-Z <"$1" >"$2"' tr "$page" "$work/tr.out"
  printf '%-30s %8s %9.3f\n' "tr a-z A-Z $(basename "$page")" "$largest" "$SECONDS_TAKEN"
  awk -v v="${velmorane_seconds[$largest]}" -v t="$SECONDS_TAKEN" -v mb="$largest" \
    'BEGIN { printf "tr ratio: velmorane takes %.2f times tr on the %s MB page (target <= 2)\n", (t > 0 ? v / t : 0), mb }'
fi

if [ -n "${velmorane_seconds[10]:-}" ] && [ -n "${velmorane_seconds[100]:-}" ]; then
  awk -v a="${velmorane_seconds[10]}" -v b="${velmorane_seconds[100]}" \
    'BEGIN { printf "growth: 100 MB page takes %.1f times the 10 MB page (target <= 11)\n", (a > 0 ? b / a : 0) }'
  awk -v a="${velmorane_cpu[10]}" -v b="${velmorane_cpu[100]}" \
    'BEGIN { printf "growth in CPU time (steadier on a shared machine): %.1f times\n", (a > 0 ? b / a : 0) }'
fi

if command -v pandoc >/dev/null 2>&1 && [ -n "${velmorane_seconds[1]:-}" ]; then
  page="$data/page-1mb.html"
  measure_best 'rm -f "$work/pandoc.rtf"' timeout 600 pandoc -f html -t rtf -s -o "$work/pandoc.rtf" "$page"
  printf '%-30s %8s %9.3f %9s %9s %11s\n' "pandoc page-1mb.html" 1.0 "$SECONDS_TAKEN" \
    "$(awk -v s="$SECONDS_TAKEN" 'BEGIN { printf "%.2f", (s > 0 ? 1 / s : 0) }')" \
    "$CPU_SECONDS" "$(awk -v k="$PEAK_KB" 'BEGIN { printf "%.2f", k / 1024 }')"
  awk -v v="${velmorane_seconds[1]}" -v p="$SECONDS_TAKEN" \
    'BEGIN { printf "ratio: velmorane is %.0f times pandoc'"'"'s throughput on the 1 MB page (target >= 500)\n", (v > 0 ? p / v : 0) }'
  awk -v v="${velmorane_cpu[1]}" -v p="$CPU_SECONDS" \
    'BEGIN { printf "ratio in CPU time: %.0f times\n", (v > 0 ? p / v : 0) }'
else
  echo "pandoc: not installed, no ratio"
fi

# The folder of small pages, converted by one process with 1 and with 2 workers. The two
# settings take turns (at least five rounds), so a slow spell of the machine falls on both
# alike; each keeps its fastest run.
folder="$data/small"
rounds=$((repeat > 5 ? repeat : 5))
declare -A folder_seconds folder_cpu folder_outputs folder_all
for ((round = 0; round < rounds; ++round)); do
  for jobs in 1 2; do
    rm -rf "$work/small-out"
    mkdir -p "$work/small-out"
    measure "$bin" "$folder" "$work/small-out" -jobs "$jobs"
    if [ "$STATUS" -ne 0 ]; then break 2; fi
    folder_all[$jobs]="${folder_all[$jobs]:-} $SECONDS_TAKEN"
    if [ -z "${folder_seconds[$jobs]:-}" ] ||
      awk -v a="$SECONDS_TAKEN" -v b="${folder_seconds[$jobs]}" 'BEGIN { exit !(a < b) }'; then
      folder_seconds[$jobs]=$SECONDS_TAKEN
      folder_cpu[$jobs]=$CPU_SECONDS
    fi
    folder_outputs[$jobs]=$(ls "$work/small-out" | grep -c '\.rtf$' || true)
    if [ "$round" -eq 0 ]; then
      # One sum over the sums of all the folder's outputs, in name order.
      (cd "$work/small-out" && sha256sum -- *.rtf | sha256sum) >"$work/folder.sum"
      want=$(awk -v n="small-$small_pages" '$2 == n { print $1 }' "$here/bench/outputs.sha256")
      if [ -n "$want" ]; then
        checked=$((checked + 1))
        [ "$(cut -d' ' -f1 "$work/folder.sum")" = "$want" ] || changed+=("folder, $jobs worker(s)")
      fi
    fi
  done
  # What the machine itself allows: two independent one-worker processes at once.
  rm -rf "$work/pair-a" "$work/pair-b"
  mkdir -p "$work/pair-a" "$work/pair-b"
  start=$EPOCHREALTIME
  "$bin" "$folder" "$work/pair-a" -jobs 1 >/dev/null 2>&1 &
  "$bin" "$folder" "$work/pair-b" -jobs 1 >/dev/null 2>&1
  wait
  pair=$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.4f", b - a }')
  if [ -z "${pair_seconds:-}" ] || awk -v a="$pair" -v b="$pair_seconds" 'BEGIN { exit !(a < b) }'; then
    pair_seconds=$pair
  fi
done
if [ -n "${folder_seconds[2]:-}" ]; then
  for jobs in 1 2; do
    echo "folder of $(ls "$folder" | wc -l) pages, $jobs worker(s): ${folder_seconds[$jobs]} s" \
      "(cpu ${folder_cpu[$jobs]} s, ${folder_outputs[$jobs]} outputs, fastest of $rounds)"
  done
  awk -v a="${folder_seconds[1]}" -v b="${folder_seconds[2]}" \
    'BEGIN { printf "speed-up with 2 workers: %.2f fastest to fastest\n", (b > 0 ? a / b : 0) }'
  median() { tr ' ' '\n' <<<"$1" | grep . | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
  awk -v a="$(median "${folder_all[1]}")" -v b="$(median "${folder_all[2]}")" -v n="$rounds" \
    'BEGIN { printf "speed-up with 2 workers: %.2f median to median of %d alternating runs (target >= 1.8)\n", (b > 0 ? a / b : 0), n }'
  awk -v a="${folder_seconds[1]}" -v p="$pair_seconds" \
    'BEGIN { printf "the machine'"'"'s own limit: two independent one-worker runs at once take %.4f s, %.2f times the work of one run per unit of time\n", p, (p > 0 ? 2 * a / p : 0) }'
fi

if [ "${#changed[@]}" -eq 0 ]; then
  echo "outputs: all $checked compared match bench/outputs.sha256"
else
  echo "outputs: CHANGED against bench/outputs.sha256: ${changed[*]}"
  exit 1
fi
