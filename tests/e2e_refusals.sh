#!/usr/bin/env bash
# What the player refuses ends a run nobody watches at once: a message naming
# the file or folder, exit code 1, and no file left behind. ctest's timeout
# catches a run that does not end.
set -u
bin="$1"
. "$(dirname "$0")/checks.sh"

printf '#TITLE x\n#00111:01\n' > "$work/song.bme"
echo "just text" > "$work/notes.txt"
for reading in "" --standard; do
  for file in song.bme notes.txt; do
    [ -n "$reading" ] && [ "$file" = song.bme ] && continue # played below
    for mode in "--headless --frames 300 --screenshot 5:$work/shot.png" "--render-wav $work/out.wav"; do
      # shellcheck disable=SC2086
      "$bin" $reading $mode "$work/$file" > /dev/null 2> "$work/err"
      rc=$?
      [ $rc -eq 1 ] && grep -q "$work/$file: BMS ファイルではありません" "$work/err" &&
        [ -z "$(ls "$work" | grep -v -e '^song.bme$' -e '^notes.txt$' -e '^err$')" ]
      check "$reading ${mode%% *} $file: refused with its name (exit $rc), no file left" $?
    done
  done
done
"$bin" --headless --frames 30 "$work/song.bme" > /dev/null 2> "$work/err"
grep -q "song.bme: BMS ファイルではありません (this chart is read with --standard)" "$work/err"
check "a .bme chart in the exact reading says that --standard reads it" $?

# The standard reading plays every chart extension, in any letter case.
for file in song.bme song.BML song.pms song.bms; do
  printf '#TITLE x\n#WAV01 none.wav\n#00111:01\n' > "$work/$file"
  "$bin" --standard --render-wav "$work/out.wav" "$work/$file" > /dev/null 2> "$work/err"
  rc=$?
  [ $rc -eq 0 ] && [ -s "$work/out.wav" ]
  check "--standard --render-wav $file plays (exit $rc)" $?
  rm -f "$work/out.wav"
done

"$bin" --headless --frames 30 --songs "$work/nowhere" > /dev/null 2> "$work/err"
[ $? -eq 1 ] && grep -q "$work/nowhere" "$work/err"
check "a --songs folder that does not exist is named, exit 1" $?

if [ $fail -ne 0 ]; then echo "refusals: failures"; exit 1; fi
echo "refusals: all passed"
