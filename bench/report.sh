#!/usr/bin/env bash
# One command for the benchmark report: builds in Release, runs every
# benchmark (repetitions randomly interleaved) and the side-by-side
# comparisons with the real programs (cat, find, bms-js, fluidsynth, sort),
# and writes bench/REPORT.md.
#   bash bench/report.sh [BUILD_DIR]        (default: build-release)
# bms-js (npm bms@51) goes into a temporary folder, which is removed at the
# end; fluidsynth comes from the Debian package of that name.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${1:-$root/build-release}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAPPO_BENCHMARKS=ON > /dev/null
cmake --build "$build" -j 2 --target tappoplayer tappo_bench program_assets

if ! command -v fluidsynth > /dev/null && [ "$(id -u)" = 0 ]; then
  # Without recommends: they bring another soundfont, which would become the
  # system default-GM.sf2 the player renders with.
  apt-get install -y --no-install-recommends fluidsynth > /dev/null 2>&1 || echo "fluidsynth could not be installed: its comparison is skipped"
fi
bmsjs=-
if command -v npm > /dev/null && command -v node > /dev/null; then
  if npm install --prefix "$work/bmsjs" --no-audit --no-fund --silent bms@51 > /dev/null 2>&1; then
    bmsjs="$work/bmsjs"
  else
    echo "npm could not install bms@51: its comparison is skipped"
  fi
fi

echo "running every benchmark (a few minutes)"
"$build/bench/tappo_bench" --benchmark_repetitions="${TAPPO_REPORT_REPETITIONS:-5}" \
  --benchmark_enable_random_interleaving=true --benchmark_min_time=0.2 \
  --benchmark_out="$work/bench.json" --benchmark_out_format=json > "$work/bench.log" 2>&1 ||
  { cat "$work/bench.log"; exit 1; }
echo "running the side-by-side comparisons"
python3 "$root/bench/report.py" "$build" "$work/bench.json" "$work" "$bmsjs" "$root/bench/REPORT.md"
