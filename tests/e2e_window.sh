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
  # A loaded machine (the sanitizer build beside other tests) is slow to
  # open the window and to give it its final size: wait for both.
  for i in $(seq 1 200); do
    win=$(xdotool search --name "Tappo Player" 2>/dev/null | head -n 1)
    [ -n "$win" ] && break
    sleep 0.1
  done
  [ -n "$win" ] || { echo "FAILED - no window appeared"; kill $pid; exit 1; }
  for i in $(seq 1 50); do
    geometry=$(xdotool getwindowgeometry "$win" 2>/dev/null | grep Geometry)
    echo "$geometry" | grep -q "960x720" && break
    sleep 0.1
  done
  sleep 0.5
  echo "window $geometry"
  echo "$geometry" | grep -q "960x720" || { echo "FAILED - window not scaled 3x"; kill $pid; exit 1; }
  xdotool key --window "$win" Escape
  for i in $(seq 1 100); do
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


# On the select screen: a quick tap of Space starts the song every time (the
# press is latched between two polls), and a window uncovered while frames are
# suspended shows its picture again.
songs="$(dirname "$bin")/songs"
xvfb-run -a -s "-screen 0 640x480x24" bash -c '
  bin="$1"; songs="$2"; work="$3"; crop="320x240+160+120"; header="320x28+160+120"
  start() {
    "$bin" --windowed --scale 1 --songs "$songs" 2>> "$work/select.err" & pid=$!
    win=""
    for i in $(seq 1 200); do
      win=$(xdotool search --name "Tappo Player" 2>/dev/null | head -n 1)
      [ -n "$win" ] && break
      sleep 0.1
    done
    [ -n "$win" ] || { echo "FAILED - no window appeared"; kill $pid; exit 1; }
    # The select screen is up once its header is drawn.
    for i in $(seq 1 50); do
      import -window root -crop $header "$work/h0.png"
      [ "$(convert "$work/h0.png" -format "%[fx:mean]" info:)" != "0" ] && break
      sleep 0.1
    done
    sleep 0.3
  }
  started=0
  for try in 1 2 3; do
    start
    import -window root -crop $header "$work/h0.png"
    xdotool key --delay 0 space
    # A loaded machine (the sanitizer build, other jobs) is slow to load a
    # chart: look for the change for up to ten seconds.
    for i in $(seq 1 20); do
      sleep 0.5
      import -window root -crop $header "$work/h1.png"
      diff=$(compare -metric AE "$work/h0.png" "$work/h1.png" null: 2>&1)
      [ "${diff%% *}" != "0" ] && { started=$((started + 1)); break; }
    done
    kill $pid; wait $pid 2>/dev/null
  done
  [ $started -eq 3 ] || { echo "FAILED - a tap of Space started the song $started of 3 times"; exit 1; }
  echo "ok - a tap of Space on the select screen started the song 3 of 3 times"

  start
  xdotool windowunmap --sync "$win"; sleep 0.5
  xdotool windowmap --sync "$win"; sleep 0.8
  import -window root -crop $crop "$work/exposed.png"
  kill $pid; wait $pid 2>/dev/null
  mean=$(convert "$work/exposed.png" -format "%[fx:mean]" info:)
  [ "$mean" != "0" ] || { echo "FAILED - the window stayed black after it was uncovered"; exit 1; }
  echo "ok - an uncovered window shows its picture again"
' _ "$bin" "$songs" "$work" || exit 1
