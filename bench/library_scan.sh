#!/usr/bin/env bash
# Times `tappoplayer --scan` on a made-up library: N charts (default 2000) in
# song folders of five, made from the demo songs with a title of their own each
# (so each has hashes of its own). Reports the first scan, a rescan of the
# unchanged library, a `find` that stats the same files, the scan's peak memory
# and the database's bytes per chart.
# Usage: bench/library_scan.sh BUILD_DIR [N]
set -euo pipefail
build="${1:-build}"
count="${2:-2000}"
bin="$build/program/tappoplayer"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
demos=("$build"/program/songs/*/*.bms)
for ((i = 0; i < count; i++)); do
  folder="$work/songs/song$((i / 5))"
  [ -d "$folder" ] || mkdir -p "$folder"
  chart="${demos[$((i % ${#demos[@]}))]}"
  { echo "#TITLE generated $i"; cat "$chart"; } > "$folder/chart$((i % 5)).bms"
done
find "$work/songs" -exec touch -d '1 hour ago' {} +
sync

timed() { # label, command...
  local label=$1
  shift
  local start end
  start=$(date +%s.%N)
  "$@" > "$work/out" 2> "$work/err"
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }'
}
scan=("$bin" --scan --standard --songs "$work/songs" --library-db "$work/library.db")
first=$(timed first /usr/bin/time -f "%M" "${scan[@]}")
memory=$(tail -n 1 "$work/err")
echo "first scan:  ${first} s  ($(cat "$work/out"); peak $((memory / 1024)) MiB)"
again=$(timed again "${scan[@]}")
echo "rescan:      ${again} s  ($(cat "$work/out"))"
stat=$(timed find find "$work/songs" -name '*.bms' -printf '%s %T@\n')
echo "find + stat: ${stat} s"
bytes=$(sqlite3 "$work/library.db" "PRAGMA wal_checkpoint(TRUNCATE)" > /dev/null;
        sqlite3 "$work/library.db" \
          "SELECT (SELECT page_count FROM pragma_page_count) * (SELECT page_size FROM pragma_page_size) / count(*) FROM chart")
awk -v f="$first" -v a="$again" -v s="$stat" -v b="$bytes" -v n="$count" \
  'BEGIN { printf "%d charts: first scan / rescan = %.1fx; rescan / find = %.1fx; %d bytes a chart\n", n, f / a, a / s, b }'
