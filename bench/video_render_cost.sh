#!/usr/bin/env bash
# The whole --render-video against the ffmpeg tool encoding the same pictures
# and sound given as raw input with the same codec settings (libx264
# veryfast, CRF 18, one encoder thread as the writer opens it, FLAC in
# Matroska; the floor), on the busiest demo chart at the defaults (1280x960,
# 60 frames a second). The pictures are the render's own, decoded and taken
# back to the player's 320x240 RGB 5-6-5; ffmpeg converts them to YUV 4:2:0 at
# that size and scales up with sharp pixels, as the writer does. With a second
# player binary (an older build, say) both are timed in the same run.
# Wall-clock medians of interleaved runs; needs the ffmpeg tool.
#   bench/video_render_cost.sh BUILD_DIR [RUNS] [OTHER_PLAYER]
set -euo pipefail
build="${1:-build}"
runs="${2:-3}"
other="${3:-}"
player="$build/program/tappoplayer"
chart="$build/program/songs/demo2-twin-lanes/twin-hard.bms"
command -v ffmpeg > /dev/null || { echo "video_render_cost.sh: no ffmpeg tool" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
frames=1200 # player frames: the loading, the start gate and about 19 s of song
"$player" --frames "$frames" --render-video "$work/v.mkv" "$chart" 2> /dev/null
pictures=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
  -of csv=p=0 "$work/v.mkv")
ffmpeg -v error -i "$work/v.mkv" -vf scale=320:240:flags=neighbor -pix_fmt rgb565le -f rawvideo \
  "$work/pictures.raw"
ffmpeg -v error -i "$work/v.mkv" -map 0:a -f s16le "$work/sound.raw"
seconds() { /usr/bin/time -f "%e" "$@" 2>&1 >/dev/null | tail -n 1; }
floor() {
  seconds ffmpeg -v error -y -f rawvideo -pix_fmt rgb565le -s 320x240 -framerate 60 \
    -i "$work/pictures.raw" -f s16le -ar 44100 -ac 2 -i "$work/sound.raw" \
    -vf format=yuv420p,scale=1280:960:flags=neighbor -c:v libx264 -preset veryfast -crf 18 \
    -threads 1 -c:a flac "$work/floor.mkv"
}
render() { seconds "$1" --frames "$frames" --render-video "$work/r.mkv" "$chart"; }
median() { printf '%s\n' "$@" | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
f=() r=() o=()
for _ in $(seq "$runs"); do
  f+=("$(floor)")
  r+=("$(render "$player")")
  [ -n "$other" ] && o+=("$(render "$other")")
done
fm=$(median "${f[@]}") rm_=$(median "${r[@]}")
awk -v n="$pictures" -v f="$fm" -v r="$rm_" 'BEGIN {
  printf "%d pictures (%.1f s of video) at 1280x960\n", n, n / 60
  printf "ffmpeg, raw input (floor)  %6.2f s  %5.1f frames/s\n", f, n / f
  printf "--render-video             %6.2f s  %5.1f frames/s  %.2fx the floor, %.2fx real time\n", r, n / r, r / f, n / 60 / r
}'
if [ -n "$other" ]; then
  om=$(median "${o[@]}")
  awk -v n="$pictures" -v o="$om" -v r="$rm_" -v f="$fm" 'BEGIN {
    printf "other player               %6.2f s  %5.1f frames/s  %.2fx the floor (this one %.2fx its time)\n", o, n / o, o / f, r / o }'
fi
