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

if [ $fail -ne 0 ]; then echo "end-to-end: failures"; exit 1; fi
echo "end-to-end: all passed"
