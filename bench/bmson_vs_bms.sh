#!/usr/bin/env bash
# Times the million-note bmson chart against the same notes written as BMS,
# each benchmark in a process of its own (in one process the second one runs
# slower), in interleaved rounds of three runs, and prints the medians and the
# ratio. Usage: bench/bmson_vs_bms.sh [BUILD_DIR] [ROUNDS] [OTHER_BENCH_BINARY]
# With a third argument (another build's tappo_bench) both builds are timed,
# round by round, for a comparison made in one session.
set -euo pipefail
build="${1:-build}"
rounds="${2:-10}"
binaries=("$build/bench/tappo_bench")
[ -n "${3:-}" ] && binaries+=("$3")
times=$(mktemp)
trap 'rm -f "$times"' EXIT
for ((r = 1; r <= rounds; r++)); do
  for b in "${binaries[@]}"; do
    for filter in 'BM_BmsonMillionNotes$' 'BM_BmsonMillionNotesAsBms$'; do
      "$b" --benchmark_filter="$filter" --benchmark_repetitions=3 --benchmark_format=csv 2>/dev/null |
        awk -F, -v b="$b" '$1 ~ /^"BM_/ && $1 !~ /_(mean|median|stddev|cv)"$/ { gsub(/"/, "", $1); print b, $1, $3 }' >>"$times"
    done
  done
done
python3 - "$times" <<'PY'
import collections, statistics, sys
runs = collections.defaultdict(list)
for line in open(sys.argv[1]):
    binary, name, ms = line.split()
    runs[(binary, name)].append(float(ms))
for binary in dict.fromkeys(b for b, _ in runs):
    bmson = statistics.median(runs[(binary, "BM_BmsonMillionNotes")])
    bms = statistics.median(runs[(binary, "BM_BmsonMillionNotesAsBms")])
    print(f"{binary}: bmson {bmson:.1f} ms, BMS {bms:.1f} ms, ratio {bmson / bms:.3f} "
          f"({len(runs[(binary, 'BM_BmsonMillionNotes')])} runs each)")
PY
