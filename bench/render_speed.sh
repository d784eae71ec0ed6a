#!/usr/bin/env bash
# Renders each demo chart with the real binary and reports its speed against
# real time and its peak memory. Usage: bench/render_speed.sh BUILD_DIR
set -euo pipefail
build="${1:-build}"
out=$(mktemp --suffix=.wav)
trap 'rm -f "$out"' EXIT
for chart in "$build"/program/songs/*/*.bms; do
  # The fourth demo song is written for the standard reading.
  mode=()
  case "$chart" in */demo4-*) mode=(--standard) ;; esac
  start=$(date +%s.%N)
  mem=$( { /usr/bin/time -f "%M" "$build/program/tappoplayer" "${mode[@]}" --render-wav "$out" "$chart" 2>&1 >/dev/null; } | tail -n 1)
  end=$(date +%s.%N)
  seconds=$(awk -v s="$(stat -c %s "$out")" 'BEGIN { printf "%.1f", (s - 44) / 176400 }')
  awk -v a="$seconds" -v s="$start" -v e="$end" -v m="$mem" -v c="$(basename "$chart")" \
    'BEGIN { printf "%-16s %6.1f s of audio in %5.2f s: %4.0fx real time, peak %d MiB\n", c, a, e - s, a / (e - s), m / 1024 }'
done
