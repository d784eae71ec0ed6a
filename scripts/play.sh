#!/usr/bin/env bash
# Installs the dependencies, builds the player and its program folder, and
# starts it. Without a display it runs headless and saves screenshots instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF > /dev/null
cmake --build "$root/build" -j "$(nproc)"
program="$root/build/program"
echo "Program folder: $program"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$program/tappoplayer" "$@"
fi
out="$root/out"
mkdir -p "$out"
echo "No display found: running headless."
"$program/tappoplayer" --headless --frames 300 \
  --screenshot "5:$out/start.png" --screenshot "150:$out/frame150.png" \
  --screenshot "300:$out/frame300.png" "$@"
echo "Screenshots written to $out:"
ls -1 "$out"
