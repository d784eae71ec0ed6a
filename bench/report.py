#!/usr/bin/env python3
"""Runs the side-by-side comparisons and writes bench/REPORT.md.

Called by bench/report.sh after the Release build and the benchmark run:
    report.py BUILD_DIR BENCH_JSON WORK_DIR BMS_JS_DIR OUT_MD

Every comparison runs in rounds; each round runs every contender once in a
shuffled order, and the figures are the medians over the rounds.
"""
import json
import os
import platform
import random
import re
import shutil
import statistics
import subprocess
import sys
import time

ROUNDS = int(os.environ.get("TAPPO_REPORT_ROUNDS", "5"))


def wall_ms(argv, stdout=subprocess.DEVNULL):
    start = time.perf_counter()
    subprocess.run(argv, stdout=stdout, stderr=subprocess.DEVNULL, check=True)
    return (time.perf_counter() - start) * 1000.0


def printed_ms(argv):
    out = subprocess.run(argv, capture_output=True, text=True, check=True).stdout
    return float(out.strip().splitlines()[-1])


def interleaved(contenders):
    """contenders: {name: callable returning ms}. Medians over shuffled rounds."""
    samples = {name: [] for name in contenders}
    names = list(contenders)
    for _ in range(ROUNDS):
        random.shuffle(names)
        for name in names:
            samples[name].append(contenders[name]())
    return {name: statistics.median(values) for name, values in samples.items()}


def machine():
    model, cores = platform.processor() or "unknown", os.cpu_count()
    try:
        for line in subprocess.run(["lscpu"], capture_output=True, text=True).stdout.splitlines():
            if line.startswith("Model name:"):
                model = line.split(":", 1)[1].strip()
    except OSError:
        pass
    return f"{model}, {cores} cores, {platform.system()} {platform.release()}"


def bench_medians(path):
    with open(path) as f:
        data = json.load(f)
    medians = {}
    for b in data["benchmarks"]:
        if b.get("aggregate_name") == "median":
            scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[b["time_unit"]]
            medians[b["run_name"]] = b["cpu_time"] * scale  # microseconds
    return medians


def fmt_us(us):
    if us >= 1000:
        return f"{us / 1000:.1f} ms"
    return f"{us:.1f} us"


def main():
    build, bench_json, work, bms_js, out_md = sys.argv[1:6]
    bench = os.path.join(build, "bench", "tappo_bench")
    player = os.path.join(build, "program", "tappoplayer")
    rows = []  # (what, ours, peer name, peer, ratio, note)

    m = bench_medians(bench_json)
    floor = m["BM_FrameCopy"]
    for name, what in [("BM_PlayFrameNoMusic", "play frame, chart without music"),
                       ("BM_SelectFrame", "select-screen frame"),
                       ("BM_UpdateWarp", "warp update"),
                       ("BM_DrawWarp", "warp picture onto the back surface"),
                       ("BM_KeyedBlit", "colour-keyed 320 x 240 blit"),
                       ("BM_ErrorScreenFrame", "error-screen frame")]:
        if name in m:
            rows.append((what, fmt_us(m[name]), "320 x 240 frame copy", fmt_us(floor), m[name] / floor, "in-process, CPU time"))

    # A play frame over a video against the same chart over a still picture:
    # the frame thread only copies a picture the decoder has ready.
    video, still = m.get("BM_PlayFrameVideoBackground/1"), m.get("BM_PlayFrameVideoBackground/0")
    if video and still:
        rows.append(("play frame over a 640 x 480 MPEG-1 video", fmt_us(video),
                     "the same chart over a still picture", fmt_us(still), video / still,
                     "in-process, CPU time of the frame thread"))

    # Media loads against reading the same bytes with cat: a chart of many
    # files, and a real song's media (the load most players meet).
    for chart_flag, extensions, what in [
            ("--media-chart", (".wav", ".bmp", ".jpg"), "media load ({} files: WAV 22.05/44.1 kHz, BMP and JPEG 640 x 480)"),
            ("--song-chart", (".wav", ".bmp"),
             "media load of a real song ({} files: WAV 22.05 kHz mono, 8-, 4-bit RLE and 24-bit BMP)")]:
        chart = subprocess.run([bench, chart_flag], capture_output=True, text=True, check=True).stdout.strip()
        folder = os.path.dirname(chart)
        media = sorted(os.path.join(folder, n) for n in os.listdir(folder) if n.lower().endswith(extensions))
        r = interleaved({"ours": lambda: printed_ms([bench, "--time", "load-media", chart]),
                         "cat": lambda: wall_ms(["cat"] + media)})
        rows.append((what.format(len(media)), f"{r['ours']:.1f} ms", "`cat` of the same files",
                     f"{r['cat']:.1f} ms", r["ours"] / r["cat"], "cat: whole process, warm cache"))

    # A video background's CPU time against FFmpeg's own decoding of the file.
    if shutil.which("ffmpeg"):
        out = subprocess.run(["bash", os.path.join(os.path.dirname(os.path.abspath(__file__)), "video_cost.sh"),
                              build, str(ROUNDS)], capture_output=True, text=True, check=True).stdout
        cpu = {k: float(v) for k, v in re.findall(r"^(\S+).*?(\d+\.\d+) s CPU", out, re.M)}
        rows.append(("a 20 s 640 x 480 MPEG-1 video background at 30 fps, decoded and converted",
                     f"{cpu['video']:.2f} s CPU", "`ffmpeg -i FILE -f null -`", f"{cpu['ffmpeg']:.2f} s CPU",
                     cpu["video"] / cpu["ffmpeg"], "both whole processes (ours: a headless play less the same "
                     "chart over a still picture), medians of interleaved runs"))
    else:
        rows.append(("video background", "-", "ffmpeg", "not run", None, "the ffmpeg tool is missing"))

    # Chart search against find.
    tree = subprocess.run([bench, "--song-tree"], capture_output=True, text=True, check=True).stdout.strip()
    r = interleaved({"ours": lambda: printed_ms([bench, "--time", "search", tree]),
                     "find": lambda: wall_ms(["find", tree, "-iname", "*.bms"])})
    rows.append(("chart search, 2,000 folders x 5 charts", f"{r['ours']:.1f} ms",
                 "`find -iname '*.bms'`", f"{r['find']:.1f} ms", r["ours"] / r["find"],
                 "find: whole process, warm cache"))

    # Compile against bms-js.
    node_script = os.path.join(work, "bmsjs-compile.js")
    with open(node_script, "w") as f:
        f.write("const BMS = require('bms');\n"
                "const text = require('fs').readFileSync(process.argv[2], 'latin1');\n"
                "BMS.Compiler.compile(text);\n"
                "const start = process.hrtime.bigint();\n"
                "BMS.Compiler.compile(text);\n"
                "console.log(Number(process.hrtime.bigint() - start) / 1e6);\n")
    env_node = dict(os.environ, NODE_PATH=os.path.join(bms_js, "node_modules"))
    have_node = bms_js != "-" and shutil.which("node") is not None
    for measures in (80, 240, 400):
        objects = measures * 8 * 16
        path = os.path.join(work, f"chart{objects}.bms")
        subprocess.run([bench, "--write-chart", path, str(measures), "8", "16"], check=True)
        contenders = {"ours": lambda p=path: printed_ms([bench, "--time", "compile", p])}
        if have_node:
            contenders["bms-js"] = lambda p=path: float(subprocess.run(
                ["node", node_script, p], capture_output=True, text=True, check=True, env=env_node).stdout.strip())
        r = interleaved(contenders)
        if have_node:
            rows.append((f"compile, {objects:,} objects", f"{r['ours']:.2f} ms", "bms-js (npm bms@51) compile",
                         f"{r['bms-js']:.1f} ms", r["ours"] / r["bms-js"], "both in-process, after one warm-up"))
        else:
            rows.append((f"compile, {objects:,} objects", f"{r['ours']:.2f} ms", "bms-js", "not run", None, "npm unavailable"))

    # Render with MIDI music against FluidSynth's own renderer on the same file.
    song = os.path.join(build, "program", "songs", "demo1-morning-steps")
    midi_chart_dir = os.path.join(work, "midi")
    os.makedirs(midi_chart_dir, exist_ok=True)
    shutil.copy(os.path.join(song, "music.mid"), midi_chart_dir)
    with open(os.path.join(midi_chart_dir, "music.bms"), "w") as f:
        f.write("#BPM 120\r\n#MIDIFILE music.mid\r\n")
    font = next((p for p in ("/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/TimGM6mb.sf2",
                             "/usr/share/sounds/sf2/FluidR3_GM.sf2") if os.path.exists(p)), None)
    if font and shutil.which("fluidsynth"):
        ours_wav, peer_wav = os.path.join(work, "ours.wav"), os.path.join(work, "fluidsynth.wav")
        r = interleaved({
            "ours": lambda: wall_ms([player, "--render-wav", ours_wav, os.path.join(midi_chart_dir, "music.bms")]),
            "fluidsynth": lambda: wall_ms(["fluidsynth", "-ni", "-q", "-r", "44100", "-F", peer_wav, font,
                                           os.path.join(midi_chart_dir, "music.mid")])})
        rows.append(("render of a chart with MIDI music (demo 1)", f"{r['ours']:.0f} ms",
                     "`fluidsynth -F` on the same MIDI and soundfont", f"{r['fluidsynth']:.0f} ms",
                     r["ours"] / r["fluidsynth"], "both whole processes"))
    else:
        rows.append(("render with MIDI music", "-", "fluidsynth", "not run", None, "fluidsynth or soundfont missing"))

    # --inspect of the large chart against sorting its own listing.
    big, listing = os.path.join(work, "large.bms"), os.path.join(work, "large.txt")
    subprocess.run([bench, "--write-chart", big], check=True)
    with open(listing, "w") as f:
        subprocess.run([player, "--inspect", big], stdout=f, check=True)
    r = interleaved({"ours": lambda: wall_ms([player, "--inspect", big]),
                     "sort": lambda: wall_ms(["sort", listing])})
    rows.append(("`--inspect` of a 1.3-million-object chart", f"{r['ours']:.0f} ms", "`sort` of its own listing",
                 f"{r['sort']:.0f} ms", r["ours"] / r["sort"], "both whole processes"))

    with open(out_md + ".tmp", "w") as f:
        f.write("# Benchmark report\n\n")
        f.write("Written by `bash bench/report.sh` (Release build). Each figure stands next to its peer or floor; ")
        f.write(f"ratio = ours / peer (below 1: ours is faster). External comparisons are medians of {ROUNDS} ")
        f.write("interleaved rounds (each round runs every contender once, in shuffled order); in-process ")
        f.write("benchmarks are medians of randomly interleaved Google Benchmark repetitions (CPU time).\n\n")
        load = ", ".join(f"{x:.1f}" for x in os.getloadavg())
        f.write(f"Machine: {machine()}. Run: {time.strftime('%Y-%m-%d %H:%M UTC', time.gmtime())}, ")
        f.write(f"load average at the end {load} (other work on the machine slows wall times; ")
        f.write("the ratios come from interleaved runs and suffer less).\n\n")
        f.write("| what | ours | peer or floor | peer | ratio | how |\n|---|---|---|---|---|---|\n")
        for what, ours, peer_name, peer, ratio, note in rows:
            if ratio is None:
                ratio_text = "-"
            elif ratio < 0.1:
                ratio_text = f"{ratio:.4f}x (1/{1 / ratio:.0f})"
            else:
                ratio_text = f"{ratio:.2f}x"
            f.write(f"| {what} | {ours} | {peer_name} | {peer} | {ratio_text} | {note} |\n")
        f.write("\n## Every benchmark (median CPU time)\n\nBM_FindCommand runs find through std::system: ")
        f.write("its CPU time leaves out the child processes. The media loads (\"process_time\") work on two ")
        f.write("threads: their CPU time is that of the whole process.\n\n| benchmark | median |\n|---|---|\n")
        for name, us in sorted(m.items()):
            f.write(f"| {name} | {fmt_us(us)} |\n")
    os.replace(out_md + ".tmp", out_md)
    print(open(out_md).read())


if __name__ == "__main__":
    main()
