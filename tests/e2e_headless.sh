#!/usr/bin/env bash
# The real binary, headless: exit codes, screenshots and messages a user sees.
set -u
bin="$1"
. "$(dirname "$0")/checks.sh"

echo "just text" > "$work/notes.txt"

"$bin" --help > "$work/help"
check "--help exits 0" $?
grep -q -- "--headless" "$work/help"
check "--help lists --headless" $?

"$bin" --frames nine > /dev/null 2>&1
[ $? -eq 2 ]
check "a wrong option exits 2" $?

env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER timeout 20 "$bin" "$work/notes.txt" 2> "$work/nodisplay"
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
  case "$chart" in */demo4-*) continue ;; esac # written for --standard, below
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

# The master volume: 100 is the mix as it always was, 0 silences keysounds
# and music alike.
"$bin" --volume 100 --render-wav "$work/v100.wav" "$songs/demo1-morning-steps/morning.bms" 2> /dev/null &&
  cmp -s "$work/demo.wav" "$work/v100.wav"
check "--volume 100 renders the same file byte for byte" $?
"$bin" --volume 0 --render-wav "$work/v0.wav" "$songs/demo1-morning-steps/morning.bms" 2> /dev/null &&
  [ "$(stat -c %s "$work/v0.wav")" -eq "$size" ] && [ "$(tail -c +45 "$work/v0.wav" | tr -d '\0' | wc -c)" -eq 0 ]
check "--volume 0 renders silence of the same length" $?

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

# The standard reading, from the user's side.
grep -q -- "--standard" "$work/help" && grep -q -- "--random-seed" "$work/help"
check "--help explains --standard and --random-seed" $?
"$bin" --standard --random-seed -3 --inspect "$demo" > /dev/null 2>&1
[ $? -eq 2 ]
check "a negative --random-seed exits 2" $?
demo4="$songs/demo4-stop-and-go/stop-and-go.bms"
out=$("$bin" --standard --inspect "$demo4")
[ $? -eq 0 ] && echo "$out" | grep -q "^Mode standard" && [ "$(echo "$out" | grep -c '^Stop ')" -eq 2 ] &&
  echo "$out" | grep -q "^Object .* LongStart" && echo "$out" | grep -q "^Tempo 34 17333.333 110.5"
check "the fourth demo chart reads in standard mode: two stops, long notes, tempo 110.5" $?
for c in "$songs"/demo[123]-*/*.bms; do
  "$bin" --standard --inspect "$c" | grep -q "^Mode standard" || { echo "FAILED - $c in standard mode"; fail=1; }
done
"$bin" --inspect "$demo4" > /dev/null 2> "$work/exact4.err"
[ $? -eq 1 ] && [ -s "$work/exact4.err" ]
check "the exact reading refuses the fourth demo chart with a message" $?
timeout 60 "$bin" --headless --frames 200 "$demo4" 2> /dev/null
[ $? -eq 1 ]
check "the exact reading does not crash playing it (exit 1)" $?
timeout 60 "$bin" --headless --standard --frames 400 --screenshot "400:$work/d4.png" "$demo4" 2> /dev/null
[ $? -eq 0 ] && [ "$(head -c 4 "$work/d4.png" | tail -c 3)" = "PNG" ]
check "the fourth demo plays headless in standard mode; its screenshot is a PNG" $?
ls "$work" | grep -q '\.tmp' && r=1 || r=0
check "no temporary file is left behind" $r
timeout 120 "$bin" --standard --render-wav "$work/d4-10.wav" "$demo4" 2> /dev/null &&
  timeout 120 "$bin" --standard --frame-ms 100 --render-wav "$work/d4-100.wav" "$demo4" 2> /dev/null
check "--standard --render-wav of the fourth demo exits 0" $?
a=$(stat -c %s "$work/d4-10.wav" 2>/dev/null || echo 0); b=$(stat -c %s "$work/d4-100.wav" 2>/dev/null || echo 0)
n=$(( (a < b ? a : b) - 44 ))
[ $n -gt 7000000 ] && cmp -s -n $n <(tail -c +45 "$work/d4-10.wav") <(tail -c +45 "$work/d4-100.wav")
check "its 100 ms render is sample for sample the 10 ms one" $?

# Sample-exact in standard mode: a one-sample click at four times across a
# tempo change and a stop lands on the mix frame of each listed time.
mkdir -p "$work/click"
{ printf 'RIFF\x2e\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x02\x00\x44\xac\x00\x00'
  printf '\x10\xb1\x02\x00\x04\x00\x10\x00data\x0a\x00\x00\x00\x00\x40\x00\x40'
  printf '\x00\x00\x00\x00\x00\x00'; } > "$work/click/click.wav"
printf '#BPM 120\n#WAVZZ click.wav\n#BPM0A 97.3\n#STOP0B 50\n#00001:ZZ00ZZ00\n#00008:000A\n#00109:0B\n#00101:ZZ00ZZ00\n' \
  > "$work/click/click.bms"
"$bin" --standard --render-wav "$work/click.wav" "$work/click/click.bms" 2> /dev/null
want=$("$bin" --standard --inspect "$work/click/click.bms" | awk '$1 == "Object" && $7 == "ZZ" {
  t = $2 + 0; printf "%d\n", int(t * 441 / 10) }' | tr '\n' ' ')
got=$(tail -c +45 "$work/click.wav" | od -An -v -td2 -w4 | awk '$1 != 0 { printf "%d ", NR - 1 }')
[ -n "$want" ] && [ "$want" = "$got" ]
check "clicks land on their frames across a tempo change and a stop ($got)" $?

# #RANDOM: 1 unless seeded; a seed gives the same chart every time.
printf '#WAV01 a.wav\n#RANDOM 2\n#IF 1\n#00101:01\n#ENDIF\n#IF 2\n#00201:01\n#ENDIF\n' > "$work/random.bms"
"$bin" --standard --inspect "$work/random.bms" | grep -q "^Object .* 1 01 01 Background"
check "without --random-seed #RANDOM takes 1" $?
seen=""
for seed in 1 2 3 4 5 6 7 8; do
  m=$("$bin" --standard --random-seed $seed --inspect "$work/random.bms" | awk '$1 == "Object" { print $5 }')
  again=$("$bin" --standard --random-seed $seed --inspect "$work/random.bms" | awk '$1 == "Object" { print $5 }')
  [ "$m" = "$again" ] || { echo "FAILED - seed $seed gives two charts"; fail=1; }
  seen="$seen$m"
done
echo "$seen" | grep -q 1 && echo "$seen" | grep -q 2
check "seeds draw both branches, each seed the same one ($seen)" $?

# Hostile charts in standard mode: garbage bytes, one enormous line.
head -c 200000 /dev/urandom > "$work/garbage.bms"
timeout 20 "$bin" --standard --inspect "$work/garbage.bms" > /dev/null 2>&1
check "random bytes read as a (warned about) chart" $?
{ printf '#00111:'; head -c 4000000 /dev/zero | tr '\0' '1'; printf '\n'; } > "$work/long.bms"
timeout 20 "$bin" --standard --headless --frames 50 "$work/long.bms" 2> /dev/null
check "a 4 MB channel line plays in standard mode" $?

# Tempos at the ends of a double's range, and stops of weeks.
printf '#BPM 1e308\n#BPM01 1e-308\n#00108:01\n#00111:01\n#00211:01\n#99911:01\n' > "$work/extreme.bms"
timeout 20 "$bin" --standard --headless --frames 400 "$work/extreme.bms" 2> /dev/null
check "a tempo of 1e308 falling to 1e-308 plays in standard mode" $?
printf '#BPM 120\n#STOP01 99999999999999\n#00109:01\n#00111:01\n#00311:01\n' > "$work/weeks.bms"
timeout 20 "$bin" --standard --render-wav "$work/weeks.wav" "$work/weeks.bms" 2> "$work/weeks.err"
[ $? -eq 1 ] && grep -q "longer than a WAV file" "$work/weeks.err" && ! ls "$work" | grep -q "weeks.wav"
check "a render of a song longer than a WAV file holds is refused at once" $?
timeout 20 "$bin" --standard --frames 200 --render-wav "$work/weeks.wav" "$work/weeks.bms" 2> /dev/null &&
  [ -s "$work/weeks.wav" ]
check "its first 200 frames render" $?

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
