#!/usr/bin/env bash
# --render-video as a user runs it, read back with the ffmpeg and ffprobe tools:
# the picture's size, rate and length, the sound against --render-wav, a frame
# against the headless screenshot of the same frame, and no file left behind
# by a refused or interrupted render. Skipped without the tools.
set -u
bin="$1"
. "$(dirname "$0")/checks.sh"
command -v ffmpeg > /dev/null && command -v ffprobe > /dev/null && command -v python3 > /dev/null ||
  { echo "skipped - ffmpeg, ffprobe or python3 is not installed"; exit 77; }

# A short song: a 50 ms noise burst on notes over three measures of a second.
mkdir -p "$work/song"
{ printf 'RIFF\x24\x11\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x02\x00\x44\xac\x00\x00'
  printf '\x10\xb1\x02\x00\x04\x00\x10\x00data\x00\x11\x00\x00'
  head -c 4352 /dev/urandom; } > "$work/song/burst.wav"
printf '#TITLE burst\n#BPM 240\n#WAV01 burst.wav\n#00111:01010101\n#00113:00010001\n#00211:0101\n#00311:01000001\n' \
  > "$work/song/burst.bms"
chart="$work/song/burst.bms"
probe() { ffprobe -v error -select_streams "$1" -show_entries "$2" -of csv=p=0 "$3"; }

"$bin" --render-wav "$work/w.wav" "$chart" 2> /dev/null &&
  "$bin" --video-scale 2 --video-fps 50 --frame-ms 20 --render-video "$work/v.mkv" "$chart" 2> "$work/err"
check "a chart renders to .mkv and to .wav" $?
[ "$(probe v:0 stream=codec_name,width,height,r_frame_rate "$work/v.mkv")" = "h264,640,480,50/1" ]
check "the video is H.264, 640x480 at 50 frames a second" $?
[ "$(probe a:0 stream=codec_name,sample_rate,channels "$work/v.mkv")" = "flac,44100,2" ]
check "its sound is FLAC, 44.1 kHz stereo" $?
wavBytes=$(( $(stat -c %s "$work/w.wav") - 44 ))
frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$work/v.mkv")
ffmpeg -v error -i "$work/v.mkv" -map 0:a -f s16le - > "$work/v.pcm"
pcmBytes=$(stat -c %s "$work/v.pcm")
# The video starts with the loading screen, its sound with as much silence
# before the song: the bytes of that silence, where the --render-wav mix
# (its own silence in front included) is found in the video's sound.
lead=$(python3 -c 'import sys
w = open(sys.argv[1], "rb").read()[44:]; v = open(sys.argv[2], "rb").read()
z = len(w) - len(w.lstrip(b"\0"))
at = v.find(w[z:z + 4096]) - z
print(at if at >= 0 and v[:at].strip(b"\0") == b"" and v[at:at + len(w)] == w else -1)' "$work/w.wav" "$work/v.pcm")
[ "$lead" -gt 0 ]
check "its sound is silence ($lead bytes), then the --render-wav mix sample for sample" $?
# The end is seen on a frame: the picture of that frame, then the held second.
want=$(( ((lead + wavBytes) / 4 + 44100) * 50 / 44100 + 1 ))
[ $(( frames - want )) -ge -1 ] && [ $(( frames - want )) -le 1 ]
check "its $frames frames last the loading, the song and a second ($want)" $?
[ "$(tail -c +$(( lead + wavBytes + 1 )) "$work/v.pcm" | tr -d '\0' | wc -c)" -eq 0 ] &&
  [ $(( pcmBytes / 4 * 50 / 44100 )) -eq "$frames" ]
check "then silence, as long as the pictures ($pcmBytes bytes)" $?
grep -q "wrote .* frames" "$work/err" && grep -q "Rendering: 100%" "$work/err"
check "progress by tenths and a summary on stderr" $?

# A render cut short by --frames ends on the picture the headless run draws at
# that frame: at 50 frames a second and 20 ms frames both runs step alike.
"$bin" --headless --frame-ms 20 --frames 150 --screenshot "140:$work/s140.png" \
  --screenshot "141:$work/s141.png" "$chart" 2> /dev/null &&
  "$bin" --video-fps 50 --frame-ms 20 --frames 150 --render-video "$work/f.mkv" "$chart" 2> /dev/null
check "a headless run takes screenshots and a render stops after its frames" $?
[ "$(probe v:0 stream=width,height,r_frame_rate "$work/f.mkv")" = "1280,960,50/1" ]
check "the default scale is 4: 1280x960" $?
held=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$work/f.mkv")
psnr() { # video frame, screenshot[, video]
  ffmpeg -v error -i "${3:-$work/f.mkv}" -vf "select=eq(n\,$1),scale=320:240:flags=neighbor" -frames:v 1 \
    -y "$work/frame.png" &&
    ffmpeg -i "$work/frame.png" -i "$2" -lavfi psnr -f null - 2>&1 |
    sed -n 's/.*average:\([0-9.inf]*\).*/\1/p'
}
at=$(( held - 50 - 1 - 10 )) # the picture of frame 140, before the held second
same=$(psnr $at "$work/s140.png"); next=$(psnr $at "$work/s141.png")
awk -v s="$same" -v n="$next" 'BEGIN { exit !(s == "inf" || (s >= 35 && (n == "inf" ? 0 : s > n))) }'
check "a frame is the screenshot of its song time, scaled ($same dB; the next frame's $next dB)" $?
# The first picture is the loading screen, which no frame draws.
loading=$(psnr 0 "$work/s141.png")
awk -v s="$loading" 'BEGIN { exit !(s != "inf" && s < 35) }'
check "the video starts with the loading screen ($loading dB against a play frame)" $?
# An odd scale converts the colours of the scaled picture, an even one before scaling.
"$bin" --video-scale 3 --video-fps 50 --frame-ms 20 --frames 150 --render-video "$work/odd.mkv" "$chart" 2> /dev/null
odd=$(psnr $at "$work/s140.png" "$work/odd.mkv")
awk -v s="$odd" 'BEGIN { exit !(s == "inf" || s >= 35) }'
check "at scale 3 too ($odd dB)" $?

# Refused before any work: a file type it cannot write, no chart.
"$bin" --render-video "$work/out.avi" "$chart" > /dev/null 2> "$work/err"
[ $? -eq 2 ] && grep -q "out.avi: unknown video file type" "$work/err" && ! ls "$work" | grep -q "out\.avi"
check "an unknown extension is refused with no file" $?
"$bin" --video-preset quick --render-video "$work/out.mkv" "$chart" > /dev/null 2> "$work/err"
[ $? -eq 2 ] && grep -q "video-preset needs ultrafast" "$work/err" && ! ls "$work" | grep -q "out\.mkv"
check "an unknown preset is refused, naming the presets" $?
# A preset reaches the encoder: the fastest makes a larger file than the slowest.
for p in ultrafast veryslow; do
  "$bin" --video-scale 1 --video-preset $p --render-video "$work/$p.webm" "$chart" 2> /dev/null &&
    "$bin" --video-scale 1 --video-preset $p --render-video "$work/$p.mp4" "$chart" 2> /dev/null
done
[ "$(stat -c %s "$work/ultrafast.mp4")" -gt "$(stat -c %s "$work/veryslow.mp4")" ] &&
  [ "$(stat -c %s "$work/ultrafast.webm")" -gt "$(stat -c %s "$work/veryslow.webm")" ]
check "--video-preset sets the H.264 and VP9 encoders' speed" $?
"$bin" --render-video "$work/out.mkv" > /dev/null 2>&1
[ $? -eq 2 ] && ! ls "$work" | grep -q "out\.mkv"
check "a render without a chart is refused" $?

"$bin" --frames 5 --render-video "$work/early.mkv" "$chart" > /dev/null 2> "$work/err"
[ $? -eq 1 ] && grep -q "before the song started" "$work/err" && ! ls "$work" | grep -q "early"
check "a render that ends before the song starts is refused with no file" $?

# Stopped with Ctrl-C (SIGINT) halfway: exit 130 and no file, not even the temporary one.
mkdir "$work/stop"
"$bin" --render-video "$work/stop/out.mp4" "$chart" 2> /dev/null &
pid=$!
for _ in $(seq 200); do ls "$work/stop" | grep -q tmp && break; sleep 0.05; done
sleep 0.3
kill -INT $pid
wait $pid
rc=$?
[ $rc -eq 130 ] && [ -z "$(ls "$work/stop")" ]
check "an interrupted render ends with 130 and leaves no file (exit $rc)" $?

# MP4: H.264 and AAC.
"$bin" --video-scale 1 --video-fps 30 --render-video "$work/v.mp4" "$chart" 2> /dev/null &&
  [ "$(probe v:0 stream=codec_name,width,height "$work/v.mp4")" = "h264,320,240" ] &&
  [ "$(probe a:0 stream=codec_name "$work/v.mp4")" = "aac" ]
check ".mp4 holds H.264 and AAC" $?
"$bin" --video-scale 1 --video-fps 30 --render-video "$work/v.webm" "$chart" 2> /dev/null &&
  [ "$(probe v:0 stream=codec_name "$work/v.webm")" = "vp9" ] &&
  [ "$(probe a:0 stream=codec_name,sample_rate "$work/v.webm")" = "opus,48000" ]
check ".webm holds VP9 and Opus at 48 kHz" $?
# The 48 kHz sound lasts as long as the .mkv's, within one of its 30 frames a second.
opus=$(ffmpeg -v error -i "$work/v.webm" -map 0:a -ar 44100 -f s16le - | wc -c)
[ $(( (opus - pcmBytes) / 4 )) -ge -1470 ] && [ $(( (opus - pcmBytes) / 4 )) -le 1470 ]
check "its sound lasts as long as the .mkv's ($opus bytes against $pcmBytes)" $?
# From a start point, and round a loop, the pictures keep in step with the sound.
for from in "--start-measure 2" "--loop 1-3 --loop-count 2"; do
  # shellcheck disable=SC2086
  "$bin" --video-scale 1 --video-fps 50 --frame-ms 20 $from --render-video "$work/part.mkv" \
    "$chart" 2> /dev/null
  partFrames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries \
    stream=nb_read_frames -of csv=p=0 "$work/part.mkv")
  partBytes=$(ffmpeg -v error -i "$work/part.mkv" -map 0:a -f s16le - | wc -c)
  [ $(( partBytes / 4 * 50 / 44100 - partFrames )) -ge -1 ] &&
    [ $(( partBytes / 4 * 50 / 44100 - partFrames )) -le 1 ]
  check "with $from the $partFrames pictures last as long as the sound ($partBytes bytes)" $?
done
# The first keysound is heard on the frame that shows its note on the
# receptors: the note's chart against one with the same sound and no note, the
# note's picture is the difference, smallest where it lies on its receptor.
printf '#BPM 240\n#WAV01 burst.wav\n#00211:01\n' > "$work/song/note.bms"
printf '#BPM 240\n#WAV01 burst.wav\n#00201:01\n' > "$work/song/bgm.bms"
for c in note bgm; do
  "$bin" --video-scale 1 --video-fps 50 --frame-ms 20 --video-crf 0 --render-video "$work/$c.mkv" \
    "$work/song/$c.bms" 2> /dev/null &&
    ffmpeg -v error -i "$work/$c.mkv" -map 0:v -f rawvideo -pix_fmt gray -y "$work/$c.gray"
done
ffmpeg -v error -i "$work/note.mkv" -map 0:a -f s16le -y "$work/note.pcm"
frames=$(python3 -c 'import sys, struct
a, b, p = (open(f, "rb").read() for f in sys.argv[1:4])
size = 320 * 240
def rows(f): # the rows where the pictures differ
    return [i // 320 - f * 240 for i in range(f * size, (f + 1) * size) if abs(a[i] - b[i]) > 40]
# Frames with the note whole near the receptors, not cut by the screen edge.
counts = [(len(r), f) for f in range(len(a) // size) for r in [rows(f)] if r and 8 <= min(r) and max(r) < 96]
shown = min(counts)[1]
heard = next(i for i in range(0, len(p), 4) if abs(struct.unpack("<h", p[i:i + 2])[0]) > 200) // 4
print(shown, heard * 50 // 44100)' "$work/note.gray" "$work/bgm.gray" "$work/note.pcm")
[ -n "$frames" ] && [ "${frames% *}" = "${frames#* }" ]
check "the first keysound is heard on the frame its note reaches the receptors ($frames)" $?
ls "$work" | grep -q '\.tmp' && r=1 || r=0
check "no temporary file is left behind" $r
exit $fail
