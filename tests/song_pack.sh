#!/usr/bin/env bash
# Renders the plain song and the same song as a Windows pack, and compares.
set -u
bin="$1"; maker="$2"
. "$(dirname "$0")/checks.sh"

"$maker" "$work"
check "the song folders are written" $?
"$bin" --render-wav "$work/plain.wav" "$work/plain/song.bms" > /dev/null 2>&1
check "the plain song renders" $?
for chart in song-utf8 song-sjis; do
  "$bin" --render-wav "$work/$chart.wav" "$work/pack/$chart.bms" > /dev/null 2>&1
  check "$chart renders" $?
  "$maker" --compare "$work/plain.wav" "$work/$chart.wav"
  check "$chart: every sound at its time, energy within 5%" $?
done
# The pictures: frame 400 is in the second measure, after both images are up.
"$bin" --headless --frames 400 --screenshot "400:$work/plain.png" "$work/plain/song.bms" > /dev/null 2>&1
"$bin" --headless --frames 400 --screenshot "400:$work/pack.png" "$work/pack/song-utf8.bms" > /dev/null 2>&1
cmp -s "$work/plain.png" "$work/pack.png"
check "PNG pictures (with their holes) draw as the BMP ones do" $?
# The title, Shift-JIS in one chart and UTF-8 in the other, reads the same.
for chart in plain/song pack/song-utf8 pack/song-sjis; do
  "$bin" --inspect "$work/$chart.bms" | grep '^Title' > "$work/title-$(basename "$chart")"
done
grep -qx "Title パック" "$work/title-song" && cmp -s "$work/title-song" "$work/title-song-utf8" &&
  cmp -s "$work/title-song" "$work/title-song-sjis"
check "a UTF-8 title reads as the same Shift-JIS one" $?
"$bin" --headless --frames 200 --screenshot "200:$work/sjis-info.png" "$work/pack/info-sjis.bms" > /dev/null 2>&1
"$bin" --headless --frames 200 --screenshot "200:$work/utf8-info.png" "$work/pack/info-utf8.bms" > /dev/null 2>&1
cmp -s "$work/sjis-info.png" "$work/utf8-info.png"
check "the information screen shows the UTF-8 title as the Shift-JIS one" $?
[ -n "${TAPPO_KEEP_SONGPACK:-}" ] && cp -r "$work" "$TAPPO_KEEP_SONGPACK"
exit $fail
