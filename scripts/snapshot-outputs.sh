#!/usr/bin/env bash
# Records what the player makes of the demo songs and the test charts: the
# --inspect listing of every chart, a --render-wav of every demo chart and
# headless screenshots at fixed frames (play and select screens). Run it before
# and after a change that must not alter behaviour, then `diff -r` the folders.
#   bash scripts/snapshot-outputs.sh build/program OUTDIR
set -euo pipefail
program=$(cd "$1" && pwd)
out="$2"
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$program/tappoplayer"
# The renders depend on the soundfont: use the one every machine with the
# dependencies has, unless one is asked for.
[ -z "${TAPPO_SOUNDFONT:-}" ] && [ -f /usr/share/sounds/sf2/TimGM6mb.sf2 ] &&
  export TAPPO_SOUNDFONT=/usr/share/sounds/sf2/TimGM6mb.sf2
mkdir -p "$out"
charts=$(cd "$program/songs" && find . -name '*.bms' | sort)
for c in $charts; do
  name=$(echo "$c" | sed 's|^\./||; s|/|_|g')
  "$bin" --inspect "$program/songs/$c" > "$out/$name.inspect" 2>&1 || true
  "$bin" --render-wav "$out/$name.wav" "$program/songs/$c" > /dev/null 2>&1 || true
  "$bin" --headless --frames 1500 --screenshot "60:$out/$name.f60.png" \
    --screenshot "700:$out/$name.f700.png" --screenshot "1500:$out/$name.f1500.png" \
    "$program/songs/$c" > /dev/null 2>&1 || true
done
for c in $charts; do
  name=std_$(echo "$c" | sed 's|^\./||; s|/|_|g')
  "$bin" --standard --inspect "$program/songs/$c" > "$out/$name.inspect" 2>&1 || true
  "$bin" --standard --render-wav "$out/$name.wav" "$program/songs/$c" > /dev/null 2>&1 || true
  "$bin" --standard --headless --frames 700 --screenshot "60:$out/$name.f60.png" \
    --screenshot "700:$out/$name.f700.png" "$program/songs/$c" > /dev/null 2>&1 || true
done
# Every chart of the test data, in both readings.
find "$root/tests/data" -type f \( -name '*.bms' -o -name '*.bme' -o -name '*.bml' -o -name '*.pms' \
  -o -name '*.bmson' \) | sort | while read -r c; do
  name=data_$(echo "${c#"$root/tests/data/"}" | sed 's|/|_|g')
  "$bin" --inspect "$c" > "$out/$name.inspect" 2>&1 || true
  "$bin" --standard --inspect "$c" > "$out/$name.std.inspect" 2>&1 || true
done
"$bin" --standard --headless --frames 400 --songs "$program/songs" --screenshot "5:$out/std_select.f5.png" \
  --screenshot "400:$out/std_select.f400.png" > /dev/null 2>&1 || true
"$bin" --headless --frames 400 --songs "$program/songs" --screenshot "5:$out/select.f5.png" \
  --screenshot "400:$out/select.f400.png" > /dev/null 2>&1 || true
# PNG files carry no time stamps here, so they compare byte for byte.
ls "$out" | wc -l | xargs echo "files written to $out:"
