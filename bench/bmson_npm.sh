#!/usr/bin/env bash
# The bmson chart of a million notes that BM_BmsonMillionNotes reads, read by
# the npm "bmson" reader (bmson@45, with bms@51, installed into a temporary
# folder that is removed at the end) beside ours:
#   - npm: JSON.parse and musicalScoreForBmson (every note timed, keysound
#     slices included), CPU time in one node process, file already read;
#   - ours: BM_BmsonMillionNotes and BM_BmsonMillionNotesAsBms (read and
#     converted into the compiled chart, in process), and the real binary
#     running --standard --inspect on the file (read, convert, list).
# Medians of RUNS runs (default 5), interleaved.
#   bash bench/bmson_npm.sh [BUILD_DIR] [RUNS]     (default: build-test)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build-test}" && pwd)
runs=${2:-5}
for tool in node npm python3; do
  command -v $tool > /dev/null || { echo "$tool is not installed"; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/tappo-bmson-npm-XXXXXX")
trap 'rm -rf "$work"' EXIT
npm install --prefix "$work" --no-audit --no-fund --no-save --loglevel=error bms@51 bmson@45 \
  > "$work/npm.log" 2>&1 || { tail -3 "$work/npm.log"; echo "npm could not install bmson@45"; exit 1; }

# The chart, as bench/BmsonBench.cpp writes it: 1000 measures x 16 lanes x 64
# notes, sound channel i playing slot i + 1.
cat > "$work/make.js" << 'EOF'
const fs = require('fs');
const Measures = 1000, Lanes = 16, PerMeasure = 64, Slots = 36 * 36;
const notes = Array.from({ length: Slots - 1 }, () => []);
for (let m = 0; m < Measures; m++)
  for (let lane = 0; lane < Lanes; lane++)
    for (let k = 0; k < PerMeasure; k++) {
      const slot = 1 + ((m * Lanes * PerMeasure + lane * PerMeasure + k) % (Slots - 1));
      notes[slot - 1].push(`{"x":${lane},"y":${(m * PerMeasure + k) * 15},"l":0,"c":false}`);
    }
let text = '{"version":"1.0.0","info":{"title":"Generated","init_bpm":150,"resolution":240},"sound_channels":[';
text += notes.map((n, i) => `{"name":"sound${i + 1}.wav","notes":[${n.join(',')}]}`).join(',');
fs.writeFileSync(process.argv[2], text + ']}');
EOF
cat > "$work/time.js" << 'EOF'
const fs = require('fs');
const bmson = require('bmson');
const text = fs.readFileSync(process.argv[2], 'utf8');
const cpu = process.cpuUsage();
const score = bmson.musicalScoreForBmson(JSON.parse(text));
let last = 0;
for (const note of score.notes.all()) last = Math.max(last, score.timing.beatToSeconds(note.beat));
const used = process.cpuUsage(cpu);
console.log(((used.user + used.system) / 1000).toFixed(1), score.notes.all().length, last.toFixed(3));
EOF
chart="$work/million.bmson"
node "$work/make.js" "$chart"
echo "chart: $(stat -c %s "$chart") bytes"

npm_ms=() inspect_ms=()
for ((i = 0; i < runs; i++)); do
  read -r ms count last < <(NODE_PATH="$work/node_modules" node --max-old-space-size=8192 "$work/time.js" "$chart")
  npm_ms+=("$ms")
  start=$(date +%s%N)
  "$build/program/tappoplayer" --standard --inspect "$chart" > /dev/null
  inspect_ms+=("$(( ($(date +%s%N) - start) / 1000000 ))")
done
"$build/bench/tappo_bench" --benchmark_filter='BM_BmsonMillionNotes' \
  --benchmark_repetitions="$runs" --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true --benchmark_format=json > "$work/ours.json" 2> /dev/null
python3 - "$count" "$last" "${npm_ms[*]}" "${inspect_ms[*]}" "$work/ours.json" << 'EOF'
import json, statistics, sys
count, last, npm, inspect = sys.argv[1], sys.argv[2], sys.argv[3].split(), sys.argv[4].split()
with open(sys.argv[5]) as f:
    bench = {b["run_name"]: b for b in json.load(f)["benchmarks"] if b.get("aggregate_name") == "median"}
npm_ms = statistics.median(float(x) for x in npm)
print(f"npm bmson@45 reader: {count} notes timed (last at {last} s)")
print(f"  {'what':58} {'median ms':>10}")
for name, label in (("BM_BmsonMillionNotes", "ours: bmson read and converted (CPU)"),
                    ("BM_BmsonMillionNotesAsBms", "ours: the same notes as BMS, read and converted (CPU)")):
    if name in bench:
        print(f"  {label:58} {bench[name]['cpu_time']:10.0f}")
print(f"  {'ours: tappoplayer --standard --inspect (whole run, wall)':58} {statistics.median(float(x) for x in inspect):10.0f}")
print(f"  {'npm bmson@45: JSON.parse + musicalScoreForBmson (CPU)':58} {npm_ms:10.0f}")
if "BM_BmsonMillionNotes" in bench:
    print(f"  npm reader / ours: {npm_ms / bench['BM_BmsonMillionNotes']['cpu_time']:.1f}x")
EOF
