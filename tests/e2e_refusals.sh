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
  [ $rc -eq 0 ] && [ -s "$work/out.wav" ] && grep -q "lines this run wrote to the problem log .*ddsd.debug: 1$" "$work/err"
  check "--standard --render-wav $file plays (exit $rc), stderr names the problem log" $?
  rm -f "$work/out.wav"
done

# The texts by locale: exactly today's under C and Japanese, English under
# any other (German too); a chart that does not compile names FILE:LINE.
printf '#00011:01\n#0a111:01\n' > "$work/bad.bms"
for locale in C ja_JP.UTF-8 de_DE.UTF-8 en_US.UTF-8; do
  case $locale in C | ja*) refused="BMS ファイルではありません" bad="'0a1' は整数ではありません" ;;
  *) refused="Not a BMS file" bad="'0a1' is not an integer" ;; esac
  env -u LANGUAGE -u LC_ALL -u LC_MESSAGES LANG=$locale "$bin" --headless --frames 30 \
    "$work/notes.txt" > /dev/null 2> "$work/err"
  env -u LANGUAGE -u LC_ALL -u LC_MESSAGES LANG=$locale "$bin" --headless --frames 30 \
    "$work/bad.bms" > /dev/null 2>> "$work/err"
  grep -qx "tappoplayer: $work/notes.txt: $refused" "$work/err" &&
    grep -qx "tappoplayer: $work/bad.bms:2: $bad" "$work/err"
  check "LANG=$locale: the texts in its language, FILE:LINE before a compile error" $?
done
env LC_ALL=C "$bin" --inspect "$work/bad.bms" 2>&1 | grep -qx "$work/bad.bms:2: '0a1' は整数ではありません"
check "--inspect names FILE:LINE too" $?
rm -f "$work/bad.bms" "$work/err"

"$bin" --headless --frames 30 --songs "$work/nowhere" > /dev/null 2> "$work/err"
[ $? -eq 1 ] && grep -q "$work/nowhere" "$work/err"
check "a --songs folder that does not exist is named, exit 1" $?
mkdir -p "$work/lib/s" && cp "$work/song.bme" "$work/lib/s/"
"$bin" --headless --frames 30 --songs "$work/lib" --songs "$work/gone" > /dev/null 2> "$work/err"
[ $? -eq 1 ] && grep -q "$work/gone: フォルダがありません" "$work/err"
check "each --songs folder is checked: the missing second one is named, exit 1" $?

# The settings file: --save-settings writes what the command line sets, a run
# reads it back (a damaged line named with its line number, the rest used).
export XDG_CONFIG_HOME="$work/config"
"$bin" --standard --songs "$work/lib" --save-settings --headless --frames 5 > /dev/null 2> "$work/err"
rc=$?
settings="$work/config/tappoplayer/settings"
[ $rc -eq 0 ] && grep -qx "songs = $work/lib" "$settings" && grep -qx "reading = standard" "$settings"
check "--save-settings writes the folder and the reading (exit $rc)" $?
echo "nonsense" >> "$settings"
echo "songs = $work/gone" >> "$settings"
"$bin" --headless --frames 5 > /dev/null 2> "$work/err"
rc=$?
[ $rc -eq 1 ] && grep -q "$settings:4: not a \"key = value\" line" "$work/err" &&
  grep -q "$work/gone: フォルダがありません" "$work/err"
check "a damaged settings line is named and a missing saved folder refused (exit $rc)" $?
rm -f "$settings"
"$bin" --auto-reading --render-wav "$work/out.wav" "$work/song.bme" > /dev/null 2> "$work/err"
rc=$?
[ $rc -eq 0 ] && [ -s "$work/out.wav" ]
check "--auto-reading plays a .bme in the standard reading (exit $rc)" $?
rm -f "$work/out.wav"
printf '#TITLE x\n#PLAYLEVEL high\n#00111:01\n' > "$work/odd.bms"
"$bin" --auto-reading --render-wav "$work/out.wav" "$work/odd.bms" > /dev/null 2> "$work/err"
rc=$?
[ $rc -eq 0 ] && [ -s "$work/out.wav" ]
check "--auto-reading plays a .bms the exact reading refuses in the standard one (exit $rc)" $?
rm -f "$work/out.wav" "$work/odd.bms"
unset XDG_CONFIG_HOME

if [ $fail -ne 0 ]; then echo "refusals: failures"; exit 1; fi
echo "refusals: all passed"
