#!/usr/bin/env bash
# Installs what building and playing need (not the test tools), builds the
# player and its program folder (no tests, fuzz targets or benchmarks), and
# plays a demo song. Without a display it renders the song to a WAV file and
# saves screenshots instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh" --play
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTAPPO_BENCHMARKS=OFF \
  -DTAPPO_FUZZ=OFF -DTAPPO_WERROR=OFF > /dev/null
cmake --build "$root/build" -j "$(nproc)"
program="$root/build/program"
demo="$program/songs/demo1-morning-steps/morning.bms"
echo "Program folder: $program"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$program/tappoplayer" "$@" "$demo"
fi
out="$root/out"
mkdir -p "$out"
echo "No display found: rendering the demo song headless."
"$program/tappoplayer" --render-wav "$out/morning-steps.wav" "$demo"
"$program/tappoplayer" --headless --frames 3000 \
  --screenshot "50:$out/start.png" --screenshot "1500:$out/play-15s.png" \
  --screenshot "3000:$out/play-30s.png" "$demo"
echo "Written to $out:"
ls -1 "$out"
