#!/usr/bin/env python3
"""Compares a recording of live play with the offline render of the same chart.

  live_sound_compare.py RECORDING.wav RENDER.wav KEYSOUNDS.wav [--windows] [--stretches]

RENDER is the whole mix, KEYSOUNDS the render without music (no soundfont);
the music alone is their difference.

A gap of silence in the recording may have moved everything after it (the
sound server played silence and then the rest of the stream, late) or not
(the player itself played silence in place of frames it then dropped). So
the recording is cut at every run of digital silence (both channels exactly 0
for 1 ms or more), each stretch between two runs into windows of up to 3 s,
and each window is placed against the render on its own: the first near the
song's start, found by the envelope, every next one within the silence
before it (plus 5 ms either way) of the one before, so a periodic song never
matches at the wrong beat. In every window of 1 s or more where both play,
the keysounds are found near the window's place, then the music in what is
left once those keysounds are taken out: their difference is the
music-to-keysound offset (music minus keysounds, ms; positive: the music is
late). Reported: the offset in the first and the last window and its drift,
the least and most of all windows, the gaps (runs of silence where the render
sounds; the silence after the player closed is "cut", not a gap), how far
the gaps moved the recording ("shift"), windows placed of all, and the level
against the render. Prints one line of key=value pairs (--windows and
--stretches first print every window's offset and place).
"""
import sys
import wave

import numpy as np

RATE = 44100
MS = RATE // 1000
SLACK = 5 * MS  # a stretch's place may differ from the expected one by this much
STEM_SEARCH = 100 * MS  # the stems are looked for this far from their stretch's place
WINDOW = 3 * RATE  # windows placed one by one
MIN_WINDOW = RATE // 2  # shorter stretches are not placed (their silence carries over)


def read(path):
    with wave.open(path, "rb") as w:
        if w.getframerate() != RATE or w.getsampwidth() != 2:
            sys.exit(f"{path}: not 16-bit {RATE} Hz")
        data = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2")
        return data.reshape(-1, w.getnchannels()).astype(np.float64)


def correlate(signal, pattern):
    """The correlation of `pattern` at every start in `signal` where it fits whole."""
    n = 1
    while n < len(signal) + len(pattern):
        n *= 2
    corr = np.fft.irfft(np.fft.rfft(signal, n) * np.conj(np.fft.rfft(pattern, n)), n)
    return corr[: len(signal) - len(pattern) + 1]


def place(rec, ref, a, b, lo, hi, piece=None):
    """The lag (recording index minus render index) in [lo, hi] at which
    rec[a:b] (or `piece`, standing in for it) best matches the render, and
    the normalised match (0..1)."""
    if piece is None:
        piece = rec[a:b]
    index = np.arange(a - hi, b - lo)  # render indices the piece may cover
    inside = (index >= 0) & (index < len(ref))
    window = np.zeros(len(index))
    window[inside] = ref[index[inside]]
    if len(window) < len(piece) or not piece.any():
        return None, 0.0
    corr = correlate(window, piece)
    i = int(np.argmax(corr))
    matched = window[i : i + len(piece)]
    norm = np.sqrt(np.dot(piece, piece) * np.dot(matched, matched))
    return hi - i, (corr[i] / norm if norm > 0 else 0.0)


def zero_runs(x2):
    """Runs of 1 ms or more where every channel is exactly 0: (start, end)."""
    zero = np.all(x2 == 0, axis=1).astype(np.int8)
    edges = np.flatnonzero(np.diff(np.concatenate(([0], zero, [0]))))
    return [(int(a), int(b)) for a, b in zip(edges[0::2], edges[1::2]) if b - a >= MS]


def main():
    rec2, full2, keys2 = (read(p) for p in sys.argv[1:4])
    rec, full, keys = (x.mean(axis=1) for x in (rec2, full2, keys2))
    n = min(len(full), len(keys))
    full, keys = full[:n], keys[:n]
    music = full - keys
    out = {}
    if not np.any(np.abs(music) > 50):
        out["music"] = "none"
    loud = np.flatnonzero(np.abs(rec) > 0)
    if len(loud) == 0:
        print("recording=silent")
        return
    last_sound = int(loud[-1]) + 1

    # The song's start: the envelope of its first 10 s (less its mean, so
    # loudness alone does not pull) in the recording's, at 32-sample steps.
    def env(x):
        e = np.abs(x[: len(x) // 32 * 32]).reshape(-1, 32).mean(axis=1)
        return e - e.mean()

    head = env(full[: 10 * RATE])
    coarse = int(np.argmax(correlate(np.concatenate((env(rec), np.zeros(len(head)))), head))) * 32

    # The recording cut at every run of silence, and each stretch between two
    # runs into windows of up to 3 s (a shorter rest joins the window before
    # it), placed one after the other: a window may also have moved a little
    # against the one before without a silence between them (the sound
    # server's clock against the recorder's).
    runs = zero_runs(rec2)
    bounds = [0] + [x for r in runs for x in r] + [len(rec)]
    windows = []
    for a, b in zip(bounds[0::2], bounds[1::2]):
        cuts = list(range(a, b - MIN_WINDOW, WINDOW)) + [b]
        windows += [(x, y) for x, y in zip(cuts, cuts[1:]) if y - x >= MIN_WINDOW]
    lag, placed = None, []
    for a, b in windows:
        if lag is None:
            # The first needs a clear match: every other one is placed from it.
            if b <= coarse:
                continue
            got, match = place(rec, full, a, b, coarse - 100 * MS, coarse + 100 * MS)
            if got is None or match < 0.7:
                continue
        else:
            # The silence since the window placed last may have moved this one.
            pending = sum(e - s for s, e in runs if placed[-1][1] <= s < a)
            got, match = place(rec, full, a, b, lag - SLACK, lag + pending + SLACK)
            if got is None or match < 0.3:
                # Moved further without a silence (frames the recorder or the
                # server dropped or added): taken on a clear match only.
                got, match = place(rec, full, a, b, lag - 50 * MS, lag + pending + 50 * MS)
                if got is None or match < 0.8:
                    continue
        lag = got
        placed.append((a, b, lag))
    if "--stretches" in sys.argv:
        print(" ".join(f"{a / RATE:.2f}:{l}" for a, b, l in placed))
    if not placed:
        print("placed=none gaps=?")
        return

    # Gaps: runs of silence inside the song, where the render (placed with the
    # window before them) sounds.
    gaps, gaps_at, cut = [], [], 0
    for a, b in runs:
        before = [p for p in placed if p[0] < a]
        if not before:
            continue
        shift = before[-1][2]
        ra, rb = max(a - shift, 0), min(b - shift, n)
        if rb <= ra or not np.abs(full2[ra:rb]).max() > 0:
            continue
        if a >= last_sound:
            cut = (b - a) * 1000 / RATE
            continue
        gaps.append((b - a) * 1000 / RATE)
        gaps_at.append(ra / RATE)

    # The stems in every placed window where both play: the keysounds first,
    # then the music in what is left of the recording once the keysounds, as
    # found, are taken out of it.
    def spread(x):
        loud = np.flatnonzero(np.abs(x) > 50)
        return (int(loud[0]), int(loud[-1])) if len(loud) else (0, 0)

    (k0, k1), (m0, m1) = spread(keys), spread(music)
    both = (max(k0, m0), min(k1, m1))
    offsets, level = [], [0.0, 0.0]
    for a, b, l in placed:
        if a - l < 0 or b - l > n:
            continue
        level[0] += np.dot(rec[a:b], rec[a:b])
        level[1] += np.dot(full[a - l : b - l], full[a - l : b - l])
        w, we = max(a, both[0] + l), min(b, both[1] + l)
        if we - w < RATE:
            continue
        # A window that frames were dropped from or added to without a
        # silence has two places: its stems would be measured across the seam.
        mid = (w + we) // 2
        halves = [place(rec, full, x, y, l - SLACK, l + SLACK)[0] for x, y in ((w, mid), (mid, we))]
        if None in halves or abs(halves[0] - halves[1]) > MS // 2:
            continue
        lk, mk = place(rec, keys, w, we, l - STEM_SEARCH, l + STEM_SEARCH)
        if lk is None or mk < 0.3:
            continue
        rest = rec[w:we] - keys[w - lk : we - lk]
        lm, mm = place(rec, music, w, we, l - STEM_SEARCH, l + STEM_SEARCH, rest)
        if lm is None or mm < 0.3:
            continue
        offsets.append((w - l, (lm - lk) * 1000 / RATE))
    if "--windows" in sys.argv:
        print(" ".join(f"{ra / RATE:.1f}:{o:.2f}" for ra, o in offsets))
    if offsets:
        out["offset_start_ms"] = round(offsets[0][1], 2)
        out["offset_end_ms"] = round(offsets[-1][1], 2)
        out["drift_ms"] = round(offsets[-1][1] - offsets[0][1], 2)
        out["offset_min_ms"] = round(min(o for _, o in offsets), 2)
        out["offset_max_ms"] = round(max(o for _, o in offsets), 2)
        out["windows"] = len(offsets)
        out["start_s"] = round(offsets[0][0] / RATE, 1)
        out["end_s"] = round(offsets[-1][0] / RATE, 1)
    out["gaps"] = len(gaps)
    out["gap_total_ms"] = round(sum(gaps), 1)
    out["gap_max_ms"] = round(max(gaps), 1) if gaps else 0
    out["gap_ms"] = "+".join(f"{g:.1f}" for g in gaps) or "0"
    out["gap_at_s"] = "+".join(f"{t:.2f}" for t in gaps_at) or "-"
    out["shift_ms"] = round((placed[-1][2] - placed[0][2]) * 1000 / RATE, 1)
    out["placed"] = f"{len(placed)}/{len(windows)}"
    if cut:
        out["cut_ms"] = round(cut, 1)
    if level[0] > 0 and level[1] > 0:
        out["level_db"] = round(10 * np.log10(level[0] / level[1]), 3)
    out["song_at_s"] = round(placed[0][2] / RATE, 2)
    print(" ".join(f"{key}={value}" for key, value in out.items()))


if __name__ == "__main__":
    main()
