#!/usr/bin/python3
"""Checks a render of the factory bass line against the pattern.

Reads a WAV file (16/24/32-bit PCM or 32-bit float) rendered at a known tempo
from beat 0 and checks, step by step:
  - a note starts on every step that does not glide (onset within a few ms
    of the step's start: the host may round its position),
  - the pitch of every step that does not glide (a quarter of the note
    table frequency): the waveform must repeat more closely at the expected
    period than at periods one to three semitones off,
  - accented steps are louder than plain ones.
Exits 1 with a list of failures, 0 when everything matches.
"""
import argparse
import struct
import sys

import numpy as np

NOTES = [13, 15, 15, 14, 12, 16, 15, 14, 16, 13, 8, 16, 12, 16, 18, 12]
SLIDES = [0, 1, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0]
ACCENTS = [0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 1]


def read_wav(path):
    data = open(path, "rb").read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise SystemExit("%s: not a WAV file" % path)
    pos, fmt, samples = 12, None, None
    while pos + 8 <= len(data):
        cid, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        body = data[pos + 8:pos + 8 + size]
        if cid == b"fmt ":
            tag, channels, rate = struct.unpack("<HHI", body[:8])
            bits = struct.unpack("<H", body[14:16])[0]
            if tag == 0xFFFE:
                tag = struct.unpack("<H", body[24:26])[0]
            fmt = (tag, channels, rate, bits)
        elif cid == b"data":
            samples = body
        pos += 8 + size + (size & 1)
    if fmt is None or samples is None:
        raise SystemExit("%s: no fmt or data chunk" % path)
    tag, channels, rate, bits = fmt
    if tag == 3 and bits == 32:
        x = np.frombuffer(samples, dtype="<f4").astype(float)
    elif tag == 1 and bits == 16:
        x = np.frombuffer(samples, dtype="<i2") / 32768.0
    elif tag == 1 and bits == 24:
        b = np.frombuffer(samples[: len(samples) // 3 * 3], dtype=np.uint8).reshape(-1, 3).astype(np.int32)
        v = b[:, 0] | (b[:, 1] << 8) | (b[:, 2] << 16)
        x = np.where(v >= 1 << 23, v - (1 << 24), v) / float(1 << 23)
    elif tag == 1 and bits == 32:
        x = np.frombuffer(samples, dtype="<i4") / float(1 << 31)
    else:
        raise SystemExit("%s: unsupported format tag %d, %d bits" % (path, tag, bits))
    return rate, x.reshape(-1, channels)[:, 0]


def periodicity(segment, lag):
    """Normalised correlation of the segment with itself `lag` samples later
    (linear interpolation for fractional lags)."""
    lag_int = int(lag)
    frac = lag - lag_int
    n = len(segment) - lag_int - 1
    if n < 64:
        return -1.0
    a = segment[:n]
    b = (1 - frac) * segment[lag_int:lag_int + n] + frac * segment[lag_int + 1:lag_int + 1 + n]
    return float(np.dot(a, b) / np.sqrt(np.dot(a, a) * np.dot(b, b) + 1e-30))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("wav")
    parser.add_argument("--tempo", type=float, default=120.0)
    parser.add_argument("--onset-tolerance-ms", type=float, default=8.0)
    args = parser.parse_args()

    rate, x = read_wav(args.wav)
    step = rate * 60.0 / args.tempo / 4.0
    steps = int(len(x) // step)
    failures = []
    level = {0: [], 1: []}
    envelope = np.abs(x)
    for s in range(steps):
        k = s % 16
        start = int(round(s * step))
        note = NOTES[k]
        glides = SLIDES[(k - 1) % 16] == 1 and s > 0
        if not glides:
            # Onset: the first sample of the step's neighbourhood to rise
            # clearly above the level just before it.
            tol = int(rate * args.onset_tolerance_ms / 1000.0)
            window = envelope[max(0, start - tol):start + tol]
            before = envelope[max(0, start - 4 * tol):max(0, start - tol)]
            floor = before.max() if len(before) else 0.0
            if window.max() < max(0.02, 1.5 * floor):
                failures.append("step %d: no onset within %.0f ms of %.3f s" % (s, args.onset_tolerance_ms, start / rate))
        level[ACCENTS[k]].append(np.sqrt(np.mean(x[start:start + int(step * 0.4)] ** 2)))
        if glides:
            continue  # the pitch moves through the whole step
        # Pitch over the open gate: the period whose self-similarity is
        # highest among the expected one and those one to three semitones off.
        segment = x[start + int(step * 0.04):start + int(step * 0.45)]
        expected = 440.0 * 2 ** ((note - 22) / 12.0) / 4.0
        scores = {d: periodicity(segment, rate / (expected * 2 ** (d / 12.0))) for d in range(-3, 4)}
        best = max(scores, key=scores.get)
        if best != 0:
            failures.append("step %d (note %d): pitch nearer %+d semitones than expected %.1f Hz" % (s, note, best, expected))
    if level[0] and level[1]:
        ratio = np.median(level[1]) / max(np.median(level[0]), 1e-9)
        print("steps checked: %d, accent/plain level ratio %.2f" % (steps, ratio))
        if ratio < 1.3:
            failures.append("accented steps are not louder (ratio %.2f)" % ratio)
    else:
        failures.append("no complete steps in %s" % args.wav)
    for failure in failures:
        print("FAIL:", failure)
    print("bass line %s" % ("matches the pattern" if not failures else "does NOT match the pattern"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
