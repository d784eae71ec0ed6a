#!/usr/bin/env bash
# The real binary, headless: exit codes, screenshots and messages a user sees.
set -u
bin="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
check() { # description, condition result
    if [ "$2" -eq 0 ]; then echo "ok - $1"; else echo "FAILED - $1"; fail=1; fi
}

echo "just text" > "$work/notes.txt"
"$bin" --headless --frames 120 --screenshot "100:$work/err.png" "$work/notes.txt" 2> "$work/stderr"
check "a text file runs 120 frames and exits 0" $?
[ -s "$work/err.png" ] && [ "$(head -c 4 "$work/err.png" | tail -c 3)" = "PNG" ]
check "the screenshot is a PNG" $?
ls "$work" | grep -q '\.tmp' && r=1 || r=0
check "no temporary file is left behind" $r

"$bin" --help > "$work/help"
check "--help exits 0" $?
grep -q -- "--headless" "$work/help"
check "--help lists --headless" $?

"$bin" --frames nine > /dev/null 2>&1
[ $? -eq 2 ]
check "a wrong option exits 2" $?

env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=x11 "$bin" "$work/notes.txt" 2> "$work/nodisplay"
[ $? -ne 0 ] && grep -q -- "--headless" "$work/nodisplay"
check "without a display the message points to --headless" $?

# A program folder without its sprite archive.
mkdir "$work/prog"
cp "$bin" "$(dirname "$bin")"/{arrow.bmp,select.bmp,diskmask.bmp,diskblank.bmp,step.wav} "$work/prog/"
"$work/prog/tappoplayer" --headless --frames 5 2> "$work/missing"
[ $? -ne 0 ] && grep -q "tappoplay.dxg" "$work/missing"
check "a missing sprite archive is named and ends the program" $?

# The demo songs: every chart compiles, all three player modes are there, and
# one renders to a WAV file of about a minute.
songs="$(dirname "$bin")/songs"
modes=""
for chart in "$songs"/*/*.bms; do
  out=$("$bin" --inspect "$chart") || { echo "FAILED - $chart does not compile"; fail=1; }
  modes="$modes $(echo "$out" | sed -n 's/^PlayerMode //p')"
done
for m in 1 2 3; do echo "$modes" | grep -qw "$m"; check "a demo chart with #PLAYER $m" $?; done
[ "$(ls "$songs"/demo2-twin-lanes/*.bms | wc -l)" -eq 2 ]
check "one demo folder holds two charts" $?
"$bin" --render-wav "$work/demo.wav" "$songs/demo1-morning-steps/morning.bms" 2> /dev/null
check "--render-wav on a demo chart exits 0" $?
size=$(stat -c %s "$work/demo.wav" 2>/dev/null || echo 0)
[ "$size" -gt 8000000 ] && [ "$(head -c 4 "$work/demo.wav")" = "RIFF" ]
check "the rendered demo is a WAV file of about a minute ($size bytes)" $?

# Frames coarser than the 40 fps start gate: the song still starts, headless
# and rendered, and the render has every sample where the 10 ms render has it.
demo="$songs/demo1-morning-steps/morning.bms"
timeout 60 "$bin" --headless --frame-ms 26 --frames 300 "$demo" 2> /dev/null
check "--frame-ms 26 headless ends" $?
timeout 60 "$bin" --frame-ms 26 --render-wav "$work/coarse.wav" "$demo" 2> /dev/null
check "--frame-ms 26 --render-wav ends" $?
timeout 60 "$bin" --frame-ms 100 --render-wav "$work/coarser.wav" "$demo" 2> /dev/null
check "--frame-ms 100 --render-wav ends" $?
for f in coarse coarser; do
  a=$(stat -c %s "$work/demo.wav"); b=$(stat -c %s "$work/$f.wav" 2>/dev/null || echo 0)
  n=$(( (a < b ? a : b) - 44 ))
  [ $n -gt 8000000 ] && cmp -s -n $n <(tail -c +45 "$work/demo.wav") <(tail -c +45 "$work/$f.wav")
  check "the $f render is sample for sample the 10 ms one" $?
done

# An interrupted render leaves no file behind, not even its temporary one.
for sig in INT TERM; do
  "$bin" --frame-ms 1 --render-wav "$work/cut-$sig.wav" "$demo" 2> /dev/null & pid=$!
  for i in $(seq 1 50); do ls "$work" | grep -q "cut-$sig.wav.tmp" && break; sleep 0.05; done
  kill -$sig $pid; wait $pid; rc=$?
  [ $rc -ne 0 ] && ! ls "$work" | grep -q "cut-$sig"
  check "SIG$sig ends a render (exit $rc) and removes its temporary file" $?
done

# Hostile song folders: a FIFO named like a chart, a chart named just ".bms".
mkdir -p "$work/hostile/a" "$work/hostile/b"
mkfifo "$work/hostile/a/x.bms"
printf '#TITLE ok\n' > "$work/hostile/a/y.bms"
timeout 20 "$bin" --headless --frames 30 --songs "$work/hostile" 2> /dev/null
check "a FIFO named x.bms is skipped by the chart search" $?
timeout 20 "$bin" --headless --frames 30 "$work/hostile/a/x.bms" 2> "$work/fifo.err"
[ $? -eq 1 ] && grep -q "x.bms" "$work/fifo.err"
check "a FIFO named on the command line is refused with its name" $?
printf '#TITLE dot\n#BPM 120\n' > "$work/hostile/b/.bms"
timeout 20 "$bin" --headless --frames 30 "$work/hostile/b/.bms" 2> "$work/dot.err"
[ $? -eq 0 ] && [ ! -s "$work/dot.err" ]
check "a chart named .bms plays" $?

if [ $fail -ne 0 ]; then echo "end-to-end: failures"; exit 1; fi
echo "end-to-end: all passed"
