#!/usr/bin/env python3
"""Compares a recording of live play with the offline render of the same chart.

  live_sound_compare.py RECORDING.wav RENDER.wav KEYSOUNDS.wav

RENDER is the whole mix, KEYSOUNDS the render without music (no soundfont);
the music alone is their difference. The recording is aligned with the render
by cross-correlation; then the keysounds and the music are each found in it
near the start and the end of the song, which gives the music-to-keysound
offset at both ends and its drift. Gaps are runs of digital silence (both
channels exactly 0 for 1 ms or more) in the recording where the render sounds.
Prints one line: key=value pairs.
"""
import sys
import wave

import numpy as np

RATE = 44100


def read(path):
    with wave.open(path, "rb") as w:
        if w.getframerate() != RATE or w.getsampwidth() != 2:
            sys.exit(f"{path}: not 16-bit {RATE} Hz")
        data = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2")
        return data.reshape(-1, w.getnchannels()).astype(np.float64)


def lag_of(signal, pattern):
    """Where `pattern` sits in `signal` (samples), by FFT cross-correlation."""
    n = 1
    while n < len(signal) + len(pattern):
        n *= 2
    corr = np.fft.irfft(np.fft.rfft(signal, n) * np.conj(np.fft.rfft(pattern, n)), n)
    return int(np.argmax(corr[: len(signal)]))


def local_lag(rec, stem, start, length, around, search):
    """The lag of stem[start:start+length] in the recording, within +-search of `around`."""
    piece = stem[start : start + length]
    lo = max(start + around - search, 0)
    window = rec[lo : start + around + length + search]
    if len(window) < len(piece) or not piece.any():
        return None
    return lo + lag_of(window, piece) - start


def main():
    rec2, full2, keys2 = (read(p) for p in sys.argv[1:4])
    rec, full, keys = (x.mean(axis=1) for x in (rec2, full2, keys2))
    n = min(len(full), len(keys))
    full, keys, full2 = full[:n], keys[:n], full2[:n]
    music = full - keys
    # Coarse alignment on a decimated envelope, then exact on the samples.
    env = lambda x: np.abs(x[: len(x) // 32 * 32]).reshape(-1, 32).mean(axis=1)
    coarse = lag_of(env(rec), env(full)) * 32
    lag = local_lag(rec, full, 0, min(n, 20 * RATE), coarse, 64 * 32)
    # The stems near the start and the end of what each of them plays.
    span = 8 * RATE

    def active(x):
        loud = np.nonzero(np.abs(x) > 50)[0]
        return (int(loud[0]), int(loud[-1])) if len(loud) else None

    # Gaps: 1 ms or more of exact zeros where the render (aligned) is not silent.
    seg = rec2[lag : lag + n]
    ref = full2[: len(seg)]
    zero = np.all(seg == 0, axis=1)
    gaps, gap_at = [], []
    edges = np.flatnonzero(np.diff(np.concatenate(([0], zero.astype(np.int8), [0]))))
    for a, b in zip(edges[0::2], edges[1::2]):
        if b - a >= RATE // 1000 and np.abs(ref[a:b]).max() > 0:
            gaps.append((b - a) * 1000 / RATE)
            gap_at.append(a)
    # The stems in the first and the last stretch of `span` samples where both
    # play and the recording has no gap (a gap moves what follows it).
    span = 3 * RATE
    out = {}

    def active(x):
        loud = np.nonzero(np.abs(x) > 50)[0]
        return (int(loud[0]), int(loud[-1])) if len(loud) else None

    k, m = active(keys), active(music)
    if m is None:
        out["music"] = "none"
    if k is not None and m is not None:
        lo, hi = max(k[0], m[0]), min(k[1], m[1]) - span
        clear = [a for a in range(lo, max(hi, lo), RATE // 2)
                 if not any(a - RATE // 10 <= g < a + span + RATE // 10 for g in gap_at)]
        # Walk the song in half seconds, following the recording's timeline:
        # each silence the device inserted moves what follows it.
        here = lag
        prev = lo
        found = {}
        for at in range(lo, max(hi, lo), RATE // 2):
            inserted = sum(int(ms * RATE / 1000) for g, ms in zip(gap_at, gaps)
                           if prev - RATE // 10 <= g < at + RATE // 2)
            step = local_lag(rec, full, at, RATE // 2, here, 441 * 2 + inserted)
            prev = at
            if step is None:
                continue
            here = step
            if at in clear:
                found.setdefault("start", (at, here))
                found["end"] = (at, here)
        for end_name, (at, here) in found.items():
            lk = local_lag(rec, keys, at, span, here, 441 * 3)
            lm = local_lag(rec, music, at, span, here, 441 * 3)
            if lk is not None and lm is not None:
                out[f"offset_{end_name}_ms"] = round((lm - lk) * 1000 / RATE, 2)
                out[f"keys_{end_name}_ms"] = round((lk - here) * 1000 / RATE, 2)
                out[f"shift_{end_name}_ms"] = round((here - lag) * 1000 / RATE, 1)
                out[f"{end_name}_s"] = round(at / RATE, 1)
    if "offset_start_ms" in out and "offset_end_ms" in out:
        out["drift_ms"] = round(out["offset_end_ms"] - out["offset_start_ms"], 2)
    out["gaps"] = len(gaps)
    out["gap_ms"] = "+".join(f"{g:.1f}" for g in gaps) or "0"
    loud = np.abs(ref).sum(axis=1) > 0
    rms = lambda x: np.sqrt(np.mean(x[loud] ** 2)) if loud.any() else 0
    if rms(seg) > 0 and rms(ref) > 0:
        out["level_db"] = round(20 * np.log10(rms(seg) / rms(ref)), 3)
    out["start_ms"] = round(lag * 1000 / RATE, 1)
    print(" ".join(f"{key}={value}" for key, value in out.items()))


if __name__ == "__main__":
    main()
