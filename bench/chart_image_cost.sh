#!/usr/bin/env bash
# The chart image's cost against the chart's --inspect: a 1,000-measure
# seven-key chart (sixteen notes a measure over the keys and the scratch, long
# notes, a tempo change and a stop every eight measures), in both readings;
# medians of interleaved runs, in CPU seconds (user and system: steady on a
# shared machine) and wall-clock seconds. The goal: the image in under three
# times the listing's time.
#   bench/chart_image_cost.sh BUILD_DIR [RUNS]
set -euo pipefail
build="${1:-build}"
runs="${2:-7}"
player="$build/program/tappoplayer"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The exact reading reads tempo changes from channel 03 and has no stops.
chart() { # extra header line, channel of the extra objects
  printf '#TITLE thousand\n#ARTIST bench\n#BPM 150\n#PLAYLEVEL 12\n#WAV01 a.wav\n%b' "$1"
  for m in $(seq 0 999); do
    printf '#%03d11:0100000001000000\n#%03d12:0001000000010000\n#%03d13:0000010000000100\n' "$m" "$m" "$m"
    printf '#%03d14:0000000100000001\n#%03d15:0100010001000100\n#%03d16:01000000\n' "$m" "$m" "$m"
    printf '#%03d18:0001000100010001\n' "$m"
    if [ $((m % 8)) -eq 0 ]; then printf "$2" "$m" "$m" "$m"; fi
  done
}
chart '' '#%03d03:B4\n#%03d03:96\n#%03d17:01000001\n' > "$work/thousand-exact.bms"
chart '#BPM01 180\n#STOP01 96\n' '#%03d08:01\n#%03d09:0001\n#%03d56:01000001\n' \
  > "$work/thousand-standard.bms"
seconds() { /usr/bin/time -f "%e %U %S" "$@" 2>&1 >/dev/null | tail -n 1 | awk -v w="$wall" '{ print w ? $1 : $2 + $3 }'; }
median() { printf '%s\n' "$@" | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
for reading in --exact --standard; do
 for wall in 0 1; do
  inspect=() image=()
  for _ in $(seq "$runs"); do
    inspect+=("$(seconds "$player" "$reading" --inspect "$work/thousand${reading#-}.bms")")
    image+=("$(seconds "$player" "$reading" --chart-image "$work/out.png" "$work/thousand${reading#-}.bms")")
  done
  i=$(median "${inspect[@]}") g=$(median "${image[@]}")
  awk -v r="$reading" -v i="$i" -v g="$g" -v w="$wall" 'BEGIN {
    printf "%-10s %-4s --inspect %6.3f s   --chart-image %6.3f s   %.2fx (goal: under 3x)\n", r, w ? "wall" : "CPU", i, g, g / i }'
 done
done
ls "$work"/out*.png | while read -r f; do printf '%s %s bytes\n' "${f##*/}" "$(stat -c %s "$f")"; done
