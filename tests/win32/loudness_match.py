#!/usr/bin/env python3
"""Compares the loudness envelope of a recording with a reference rendering of the same music.

Usage: loudness_match.py RECORDED.raw REFERENCE.wav
RECORDED.raw is 44100 Hz 16-bit stereo without a header (a sound server's monitor); the
reference a WAV of the same format. The recording starts at an unknown moment before the music:
the envelopes (RMS per 50 ms) are aligned at the best lag within the reference's first seconds
and their correlation over the common stretch is printed. Exit 0 when it is at least 0.9 over
at least 4 seconds, 1 otherwise."""
import array
import math
import sys

RATE = 44100
WINDOW = RATE // 20  # 50 ms of frames


def envelope(samples):
    out = []
    for start in range(0, len(samples) // 2 - WINDOW + 1, WINDOW):
        chunk = samples[2 * start:2 * (start + WINDOW)]
        out.append(math.sqrt(sum(s * s for s in chunk) / len(chunk)))
    return out


def correlation(a, b):
    n = len(a)
    ma, mb = sum(a) / n, sum(b) / n
    va = sum((x - ma) ** 2 for x in a)
    vb = sum((y - mb) ** 2 for y in b)
    if va == 0 or vb == 0:
        return 0.0
    return sum((x - ma) * (y - mb) for x, y in zip(a, b)) / math.sqrt(va * vb)


def main():
    recorded = array.array("h", open(sys.argv[1], "rb").read())
    wav = open(sys.argv[2], "rb").read()
    data = wav.find(b"data")
    reference = array.array("h", wav[data + 8:])
    rec, ref = envelope(recorded), envelope(reference)
    loud = max(rec) if rec else 0
    if loud < 100:
        print("the recording is silent")
        return 1
    # The music starts where the recording first gets loud and stops where it last is (the
    # show ended); try lags around the start.
    onset = next(i for i, v in enumerate(rec) if v > loud * 0.05)
    end = max(i for i, v in enumerate(rec) if v > loud * 0.05) + 1
    rec = rec[:end]
    best, best_lag, best_len = -1.0, 0, 0
    for shift in range(-10, 11):
        start = onset + shift
        if start < 0:
            continue
        length = min(len(rec) - start, len(ref))
        if length < 80:
            continue
        c = correlation(rec[start:start + length], ref[:length])
        if c > best:
            best, best_lag, best_len = c, start, length
    seconds = best_len * WINDOW / RATE
    print(f"correlation {best:.3f} over {seconds:.1f} s, music from {best_lag * WINDOW / RATE:.2f} s")
    return 0 if best >= 0.9 and seconds >= 4 else 1


if __name__ == "__main__":
    sys.exit(main())
