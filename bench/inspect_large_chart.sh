#!/usr/bin/env bash
# Times the real binary's --inspect on the large generated chart and reports
# its peak memory. Usage: bench/inspect_large_chart.sh BUILD_DIR
set -euo pipefail
build="${1:-build}"
chart=$(mktemp --suffix=.bms)
trap 'rm -f "$chart"' EXIT
"$build/bench/tappo_bench" --write-chart "$chart"
echo "chart: $(du -h "$chart" | cut -f1)"
/usr/bin/time -f "inspect: %e s wall, peak memory %M KiB" \
  "$build/program/tappoplayer" --inspect "$chart" > /dev/null
