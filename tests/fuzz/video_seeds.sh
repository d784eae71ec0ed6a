#!/usr/bin/env bash
# Writes the video reader's fuzz seeds: a second of a small moving pattern in
# each container and codec the player plays, with sound in one of them, made
# by the ffmpeg tool (Debian's `ffmpeg`). Run by hand when the seed set changes.
#   bash tests/fuzz/video_seeds.sh tests/fuzz/corpus
set -euo pipefail
out="$1/video"
mkdir -p "$out"
src="testsrc2=s=32x24:r=25:d=0.4"
make() { # NAME CODEC [OPTIONS...]
  local name=$1 codec=$2
  shift 2
  ffmpeg -v error -y -f lavfi -i "$src" -pix_fmt yuv420p -c:v "$codec" "$@" "$out/$name"
}
make mpeg1.mpg mpeg1video -f mpeg
make mpeg2.ts mpeg2video
make mpeg4.avi mpeg4
make wmv2.wmv wmv2
make h264.mp4 libx264 -preset ultrafast
make vp8.webm libvpx
make theora.ogv libtheora
make flv1.flv flv
ffmpeg -v error -y -f lavfi -i "$src" -f lavfi -i "sine=d=0.4" -pix_fmt yuv420p -c:v mpeg1video \
  -c:a mp2 -f mpeg "$out/with-sound.mpg"
ls -l "$out"
