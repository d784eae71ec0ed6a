#!/usr/bin/env bash
# The real binary in real windows under Xvfb: the error screen scaled up and
# closed with Esc, a demo song played live, and the select screen's answer to a
# quick tap of Space and to being uncovered.
#
# A loaded machine (the sanitizer build beside other tests and other work) is
# slow at everything, so no step counts on a pause being long enough: each one
# waits for what it needs (the window, its size, a drawn picture, a changed
# picture, the program's exit) for up to $wait seconds, and fails only then.
set -u
bin="$1"
wait=${TAPPO_WINDOW_WAIT:-90}
for tool in Xvfb xdotool import convert compare; do
  if ! command -v $tool > /dev/null; then
    echo "$tool missing: skipped"
    exit 0
  fi
done
# The GL drivers SDL loads keep allocations the leak checker cannot name once
# they are unloaded; our own code is leak-checked by every other test.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0"
work=$(mktemp -d)
pid=""
xpid=""
cleanup() {
  [ -n "$pid" ] && kill $pid 2> /dev/null
  [ -n "$xpid" ] && kill $xpid 2> /dev/null
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAILED - $*"
  if [ -n "$xpid" ]; then
    echo "windows: $(xdotool search --name "Tappo Player" 2> /dev/null | tr '\n' ' ')" \
      "(ours: ${win:-none}), focus: $(xdotool getwindowfocus 2> /dev/null)"
  fi
  for f in "$work"/*.err; do [ -s "$f" ] && { echo "--- $(basename "$f")"; tail -n 20 "$f"; }; done
  exit 1
}

# An X server of our own. It picks a free display number itself, so servers
# started at the same moment by other tests never fight over one. It does not
# reset when its last client leaves: SDL looks at the server, disconnects and
# connects again, and a server in the middle of a reset turns it away.
start_x() {
  rm -f "$work/display"
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp -noreset 3> "$work/display" 2> "$work/xvfb.err" &
  xpid=$!
  local end=$((SECONDS + wait))
  until [ -s "$work/display" ]; do
    kill -0 $xpid 2> /dev/null || fail "Xvfb did not start"
    [ $SECONDS -lt $end ] || fail "Xvfb did not start within $wait s"
    sleep 0.1
  done
  export DISPLAY=":$(head -n 1 "$work/display")"
}
stop_x() {
  kill $xpid 2> /dev/null
  wait $xpid 2> /dev/null
  xpid=""
}

# Runs the player in the background with the given arguments.
launch() {
  "$bin" "$@" 2>> "$work/player.err" &
  pid=$!
}
stop_player() {
  kill $pid 2> /dev/null
  wait $pid 2> /dev/null
  pid=""
}

# wait_for WHAT COMMAND...: runs COMMAND until it succeeds; fails the test as
# "WHAT" when the player ends first or $wait seconds pass.
wait_for() {
  local what=$1 end=$((SECONDS + wait))
  shift
  until "$@"; do
    kill -0 $pid 2> /dev/null || fail "$what (the player ended)"
    [ $SECONDS -lt $end ] || fail "$what (waited $wait s)"
    sleep 0.1
  done
}
# until_true COMMAND...: the same without failing; false after $wait seconds.
until_true() {
  local end=$((SECONDS + wait))
  until "$@"; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.1
  done
}

# The player's window (in $win), once it is mapped. Looked for by the
# player's process: a window of the player before may not be gone yet.
window_shown() {
  win=$(xdotool search --onlyvisible --pid $pid --name "Tappo Player" 2> /dev/null | head -n 1)
  [ -n "$win" ]
}
# Its size and place (in $WIDTH, $HEIGHT, $X, $Y).
window_size_is() {
  eval "$(xdotool getwindowgeometry --shell "$win" 2> /dev/null)"
  [ "${WIDTH:-0}x${HEIGHT:-0}" = "$1" ]
}
has_focus() {
  [ "$(xdotool getwindowfocus 2> /dev/null)" = "$win" ]
}
# Without a window manager nothing gives a window the keyboard but its own
# request, which a loaded X server can see before the window is mapped and
# refuse: the test then hands it over itself, as a click would.
given_focus() {
  has_focus && return 0
  xdotool windowfocus "$win" 2> /dev/null
  false
}
# Whether the screen's area GEOMETRY (WxH+X+Y) holds anything but black; the
# picture is left in $work/NAME.png.
drawn() {
  import -window root -crop "$1" "$work/$2.png" 2> /dev/null &&
    [ "$(convert "$work/$2.png" -format "%[fx:mean]" info: 2> /dev/null)" != "0" ]
}
# Whether the screen's area GEOMETRY now differs from picture BEFORE.
changed() {
  import -window root -crop "$1" "$work/now.png" 2> /dev/null || return 1
  local diff
  diff=$(compare -metric AE "$work/$2.png" "$work/now.png" null: 2>&1)
  [ -n "$diff" ] && [ "${diff%% *}" != "0" ]
}
# Whether the screen's area GEOMETRY is drawn and the same as when last looked
# at; the picture is left in $work/NAME.png.
settled() {
  drawn "$1" "$2" || return 1
  local diff
  diff=$(compare -metric AE "$work/$2.png" "$work/$2.last.png" null: 2>&1)
  cp "$work/$2.png" "$work/$2.last.png"
  [ "${diff%% *}" = "0" ]
}
player_ended() { ! kill -0 $pid 2> /dev/null; }

echo "not a chart" > "$work/notes.txt"
songs="$(dirname "$bin")/songs"

# The error screen in a window three times the picture's size; Esc closes it.
start_x 1024x768
launch --windowed "$work/notes.txt"
wait_for "no window appeared" window_shown
wait_for "window not scaled 3x" window_size_is 960x720
wait_for "nothing drawn in the window" drawn "${WIDTH}x${HEIGHT}+${X}+${Y}" error
echo "window ${WIDTH}x${HEIGHT}"
xdotool key --window "$win" Escape
until_true player_ended || fail "Esc did not close the window"
wait $pid
rc=$?
pid=""
[ $rc -eq 0 ] || fail "exit code $rc after Esc"
echo "ok - window opened at 3x, showed the error screen, and Esc closed it"

# A demo song played live in a window, through the sound device (SDL's dummy
# driver where the machine has no sound card).
launch --windowed --frames 300 --screenshot "250:$work/live.png" \
  "$songs/demo1-morning-steps/morning.bms"
until_true player_ended || fail "live play did not end after 300 frames"
wait $pid
rc=$?
pid=""
if [ $rc -ne 0 ] || [ ! -s "$work/live.png" ]; then
  fail "live play of a demo song (exit $rc)"
fi
echo "ok - a demo song plays live in a window"
stop_x

# On the select screen: a quick tap of Space starts the song every time (the
# press is latched between two polls), and a window uncovered while frames are
# suspended shows its picture again. At scale 1 the window lies in the middle
# of the screen; the warp moves behind most of the select screen, but not
# behind its title bar, which the loading screen replaces.
start_x 640x480
crop="320x240+160+120"
bar="320x18+160+132"
# The select screen, drawn and with the keyboard.
start_select() {
  rm -f "$work/bar.last.png"
  launch --windowed --scale 1 --songs "$songs"
  wait_for "no window appeared" window_shown
  wait_for "the window never got the keyboard" given_focus
  wait_for "the select screen was never drawn" settled $bar bar
}
started=0
for try in 1 2 3; do
  start_select
  xdotool key --delay 0 space
  until_true changed $bar bar && started=$((started + 1))
  stop_player
done
[ $started -eq 3 ] || fail "a tap of Space started the song $started of 3 times"
echo "ok - a tap of Space on the select screen started the song 3 of 3 times"

start_select
xdotool windowunmap --sync "$win"
# Give the player a moment to see its window go and suspend its frames; if it
# has not yet, the window must show its picture again all the same.
sleep 1
xdotool windowmap --sync "$win"
until_true drawn $crop exposed || fail "the window stayed black after it was uncovered"
stop_player
echo "ok - an uncovered window shows its picture again"
stop_x
