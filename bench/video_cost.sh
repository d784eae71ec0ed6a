#!/usr/bin/env bash
# The CPU time a video background costs the player, against FFmpeg's own
# decoding of the same file (`ffmpeg -i FILE -f null -`, the floor): a 20 s
# 640 x 480 MPEG-1 video at 30 frames a second, played headless (every frame
# decoded, the frames shown converted to the screen's 320 x 240 5-6-5 picture)
# by a standard chart, less the same chart over a still picture. Medians of
# interleaved runs; needs the ffmpeg tool.
#   bench/video_cost.sh BUILD_DIR [RUNS]
set -euo pipefail
build="${1:-build}"
runs="${2:-5}"
player="$build/program/tappoplayer"
command -v ffmpeg > /dev/null || { echo "video_cost.sh: no ffmpeg tool" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ffmpeg -v error -f lavfi -i "testsrc2=s=640x480:r=30:d=20" -pix_fmt yuv420p -c:v mpeg1video \
  -q:v 4 "$work/bg.mpg"
ffmpeg -v error -f lavfi -i "testsrc2=s=640x480:d=1" -frames:v 1 "$work/still.bmp"
for bg in bg.mpg still.bmp; do
  printf '#BPM 120\n#BMP01 %s\n#00004:01\n#01111:01\n' "$bg" > "$work/${bg%.*}.bms"
done
# User + system seconds of one command.
cpu() { /usr/bin/time -f "%U %S" "$@" 2>&1 >/dev/null | tail -n 1 | awk '{ print $1 + $2 }'; }
# 700 frames of 33 ms: the song runs past the video's end.
play() { cpu "$player" --standard --headless --frames 700 --frame-ms 33 "$work/$1.bms"; }
floor=() video=() still=()
for _ in $(seq "$runs"); do
  floor+=("$(cpu ffmpeg -v error -i "$work/bg.mpg" -f null -)")
  video+=("$(play bg)")
  still+=("$(play still)")
done
median() { printf '%s\n' "$@" | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
f=$(median "${floor[@]}") v=$(median "${video[@]}") s=$(median "${still[@]}")
awk -v f="$f" -v v="$v" -v s="$s" 'BEGIN {
  printf "ffmpeg -f null (floor)      %6.3f s CPU\n", f
  printf "player, video background   %6.3f s CPU\n", v
  printf "player, still background   %6.3f s CPU\n", s
  printf "video cost (difference)    %6.3f s CPU: %.2fx the floor\n", v - s, (v - s) / f
}'
