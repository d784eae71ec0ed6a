#!/usr/bin/env bash
# --chart-image as a user runs it: a hostile chart (a tempo past any song,
# 999 measures, measures of no length) split into numbered pictures of bounded
# size in both readings, and a refusal that leaves no file behind.
set -u
bin="$1"
. "$(dirname "$0")/checks.sh"
command -v python3 > /dev/null || { echo "skipped - python3 is not installed"; exit 77; }

# The width and height of a PNG file, from its header.
size() { python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); assert d[:8]==b"\x89PNG\r\n\x1a\n"; print(*struct.unpack(">II", d[16:24]))' "$1"; }

chart="$work/hostile.bms"
{ printf '#TITLE hostile\n#BPM 1e300\n#WAV01 a.wav\n#STOP01 1e300\n#00502:0\n#00602:0\n#00603:FF\n'
  for m in $(seq 0 20 999); do printf '#%03d11:0101010101010101\n#%03d09:01\n' "$m" "$m"; done
  printf '#99911:01\n#99951:0101\n'; } > "$chart"

for reading in --exact --standard; do
  rm -f "$work"/out*
  "$bin" $reading --chart-image-measures 1 --chart-image "$work/out.png" "$chart" > /dev/null 2>&1
  check "$reading: a hostile chart of 999 measures is drawn" $?
  files=$(ls "$work"/out-*.png 2> /dev/null | wc -l)
  [ "$files" -ge 2 ] && [ ! -e "$work/out.png" ]
  check "$reading: its 1000 columns go on into numbered files ($files)" $?
  ok=0
  for f in "$work"/out-*.png; do
    read -r w h < <(size "$f") || ok=1
    [ "$w" -le 16000 ] && [ $((w * h)) -le $((32 * 1024 * 1024)) ] || ok=1
  done
  check "$reading: every picture is at most 16000 pixels wide and 32 M pixels" $ok
  [ -z "$(ls -A "$work" | grep -v -e '^out-[0-9]*\.png$' -e '^hostile\.bms$')" ]
  check "$reading: no temporary file is left" $?
done

"$bin" --chart-image "$work/none/out.png" "$chart" > /dev/null 2> "$work/err"
[ $? -eq 1 ] && grep -q "none/out.png" "$work/err" && [ ! -e "$work/none" ]
check "a folder that is not there is named in one message, exit 1" $?
"$bin" --chart-image "$work/x.png" "$work/missing.bms" > /dev/null 2>&1
[ $? -eq 1 ] && [ ! -e "$work/x.png" ]
check "a chart that is not there: exit 1, no picture" $?
"$bin" --chart-image "$work/x.png" > /dev/null 2>&1
[ $? -eq 2 ]
check "--chart-image without a chart is refused" $?
exit $fail
