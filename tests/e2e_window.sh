#!/usr/bin/env bash
# The real binary in a real window under Xvfb: it shows the error screen
# scaled up, and Esc closes it.
set -u
bin="$1"
if ! command -v xvfb-run > /dev/null || ! command -v xdotool > /dev/null; then
  echo "xvfb-run or xdotool missing: skipped"
  exit 0
fi
# The GL drivers SDL loads keep allocations the leak checker cannot name once
# they are unloaded; our own code is leak-checked by every other test.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "not a chart" > "$work/notes.txt"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$1" --windowed --frames 3000 "$2/notes.txt" & pid=$!
  for i in $(seq 1 50); do
    win=$(xdotool search --name "Tappo Player" 2>/dev/null | head -n 1)
    [ -n "$win" ] && break
    sleep 0.1
  done
  [ -n "$win" ] || { echo "FAILED - no window appeared"; kill $pid; exit 1; }
  sleep 0.5
  geometry=$(xdotool getwindowgeometry "$win" | grep Geometry)
  echo "window $geometry"
  echo "$geometry" | grep -q "960x720" || { echo "FAILED - window not scaled 3x"; kill $pid; exit 1; }
  xdotool key --window "$win" Escape
  for i in $(seq 1 50); do
    kill -0 $pid 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 $pid 2>/dev/null; then echo "FAILED - Esc did not close the window"; kill $pid; exit 1; fi
  wait $pid
  rc=$?
  [ $rc -eq 0 ] || { echo "FAILED - exit code $rc"; exit 1; }
  echo "ok - window opened at 3x and Esc closed it"
' _ "$bin" "$work" || exit 1

# A demo song played live in a window, through the sound device (SDL's dummy
# driver where the machine has no sound card).
demo="$(dirname "$bin")/songs/demo1-morning-steps/morning.bms"
xvfb-run -a -s "-screen 0 1024x768x24" "$bin" --windowed --frames 300 \
  --screenshot "250:$work/live.png" "$demo" 2> "$work/live.err"
rc=$?
if [ $rc -ne 0 ] || [ ! -s "$work/live.png" ]; then
  echo "FAILED - live play of a demo song (exit $rc)"; cat "$work/live.err"; exit 1
fi
echo "ok - a demo song plays live in a window"

