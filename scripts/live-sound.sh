#!/usr/bin/env bash
# Measures live sound as a listener hears it, against the offline render: the
# player plays CHART in a window under Xvfb into a PulseAudio null sink, the
# sink's monitor is recorded, and each recording is aligned with
# `--render-wav` of the same chart (scripts/live_sound_compare.py). One line a
# run: the music-to-keysound offset at the start and the end, its drift and
# its range over the song, the gaps of digital silence where the render
# sounds and how far they moved the recording, the level difference; then
# what PulseAudio held of the stream and the player's own count of gaps. A
# measurement, not a test: timing on a shared machine is noisy.
#
#   bash scripts/live-sound.sh [PROGRAM_DIR] [RUNS] [CHART]
#   BUSY=2      start two busy loops (`yes > /dev/null`) during the runs
#   BUFFER=512  --audio-buffer for the runs (default: the player's own)
#   KEEP=DIR    keep the render and every recording in DIR
#   SELECT=1    start on the select screen (the chart's song folder alone)
#               and start the chart there with Z, as a player would
#
# Needs Xvfb, PulseAudio and its tools, numpy, and xdotool for SELECT:
#   apt-get install xvfb pulseaudio pulseaudio-utils python3-numpy xdotool
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=$(cd "${1:-$root/build/program}" && pwd)
runs=${2:-10}
chart=${3:-$program/songs/demo1-morning-steps/morning.bms}
bin="$program/tappoplayer"
python=python3
/usr/bin/python3 -c 'import numpy' 2> /dev/null && python=/usr/bin/python3
missing=""
for tool in Xvfb pulseaudio pactl parecord; do
  command -v $tool > /dev/null || missing="$missing $tool"
done
$python -c 'import numpy' 2> /dev/null || missing="$missing numpy"
[ -n "${SELECT:-}" ] && ! command -v xdotool > /dev/null && missing="$missing xdotool"
if [ -n "$missing" ]; then
  echo "missing:$missing" >&2
  echo "install with: apt-get install xvfb pulseaudio pulseaudio-utils python3-numpy" >&2
  exit 2
fi
[ -z "${TAPPO_SOUNDFONT:-}" ] && [ -f /usr/share/sounds/sf2/TimGM6mb.sf2 ] &&
  export TAPPO_SOUNDFONT=/usr/share/sounds/sf2/TimGM6mb.sf2

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2> /dev/null || true; done
  wait 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A PulseAudio of our own, with the null sink as its only output.
export XDG_RUNTIME_DIR="$work/run" PULSE_RUNTIME_PATH="$work/run/pulse"
mkdir -p "$PULSE_RUNTIME_PATH" && chmod 700 "$XDG_RUNTIME_DIR"
export PULSE_SERVER="unix:$PULSE_RUNTIME_PATH/native"
pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
  -L "module-native-protocol-unix socket=$PULSE_RUNTIME_PATH/native auth-anonymous=1" \
  -L "module-null-sink sink_name=tappo rate=44100 channels=2" \
  -L "module-always-sink" > "$work/pulse.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do pactl info > /dev/null 2>&1 && break; sleep 0.1; done
# A desktop session's server runs its main thread (which takes the clients'
# streams) at nice -11 ("high-priority" in daemon.conf, granted by rtkit);
# started by hand it keeps nice 0, and under load it then takes the stream
# late. Its sink thread is real-time either way.
renice -n -11 -p "${pids[-1]}" > /dev/null 2>&1 || true
pactl set-default-sink tappo

display=:$((90 + RANDOM % 500))
Xvfb $display -screen 0 1024x768x24 -nolisten tcp > /dev/null 2>&1 &
pids+=($!)
sleep 1

# The offline render, and the same without music (no soundfont) for the
# keysounds alone.
"$bin" --render-wav "$work/render.wav" "$chart" > /dev/null 2>&1
TAPPO_SOUNDFONT=/nonexistent "$bin" --render-wav "$work/keys.wav" "$chart" > /dev/null 2>&1

length=$($python -c "import wave, sys; w = wave.open(sys.argv[1]); print(w.getnframes() // w.getframerate())" "$work/render.wav")
if [ -n "${SELECT:-}" ]; then
  songs="$work/songs"
  mkdir -p "$songs" && ln -s "$(dirname "$chart")" "$songs/"
fi

busy=()
for _ in $(seq "${BUSY:-0}"); do
  yes > /dev/null &
  busy+=($!)
  pids+=($!)
done
args=(--windowed)
[ -n "${BUFFER:-}" ] && args+=(--audio-buffer "$BUFFER")
echo "chart $(basename "$chart")${SELECT:+ from the select screen}, ${BUSY:-0} busy loops, buffer ${BUFFER:-default}, $runs runs"
# Time the host took this machine's processors for other work while a run
# was recorded (steal, from /proc/stat, summed over the processors; 0 on bare
# metal): a virtual machine stopped by its host stops the sound server and
# the player alike.
ticks=$(getconf CLK_TCK)
steal_ms() { awk -v hz="$ticks" '/^cpu / { print int($9 * 1000 / hz) }' /proc/stat; }
for run in $(seq "$runs"); do
  rm -f "$program/ddsd.debug"
  steal_start=$(steal_ms)
  parecord --device=tappo.monitor --rate=44100 --channels=2 --format=s16le \
    --latency-msec=100 --file-format=wav "$work/rec.wav" &
  rec=$!
  sleep 0.5
  if [ -n "${SELECT:-}" ]; then
    # From the select screen: the chart's song folder alone, Z starts its
    # first chart, and once the song is over Esc leaves the select screen.
    DISPLAY=$display SDL_AUDIODRIVER=pulseaudio "$bin" "${args[@]}" --songs "$songs" \
      > "$work/play.log" 2>&1 &
    player=$!
    sleep 3
    DISPLAY=$display xdotool mousemove 10 10 key z
  else
    DISPLAY=$display SDL_AUDIODRIVER=pulseaudio "$bin" "${args[@]}" "$chart" \
      > "$work/play.log" 2>&1 &
    player=$!
  fi
  # What PulseAudio holds of the player's stream (the player's is the only
  # one playing): its buffer and the sink's, during the song.
  sleep 10
  latency=$(pactl list sink-inputs 2> /dev/null | grep -E 'Buffer Latency|Sink Latency' |
    sed 's/^[[:space:]]*//' | tr '\n' ' ')
  if [ -n "${SELECT:-}" ]; then
    sleep $((length + 2))
    DISPLAY=$display xdotool key Escape
    sleep 2
    kill -0 $player 2> /dev/null && DISPLAY=$display xdotool key Escape
  fi
  wait $player || echo "run $run: the player ended with $?"
  sleep 0.5
  kill -INT $rec
  wait $rec 2> /dev/null || true
  steal_end=$(steal_ms)
  echo "run $run: $($python "$root/scripts/live_sound_compare.py" "$work/rec.wav" \
    "$work/render.wav" "$work/keys.wav")"
  [ -n "${KEEP:-}" ] && mkdir -p "$KEEP" && cp "$work/rec.wav" "$KEEP/rec$run.wav" &&
    cp "$work/render.wav" "$work/keys.wav" "$KEEP/"
  echo "  pulse: $latency"
  echo "  host: steal $((steal_end - steal_start)) ms"
  grep -h "サウンドデバイス" "$program/ddsd.debug" 2> /dev/null | sed 's/^/  log: /' || true
done
for p in "${busy[@]}"; do kill "$p"; done
