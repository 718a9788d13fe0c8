#!/usr/bin/env python3
"""Writes the three prompt sounds into data/wave/ (run from the checkout).

success: a bright rising three-note chime; warning: two soft mid beeps;
wrong: a low falling two-tone. Mono, 16-bit, 22050 Hz, under a second each,
so they stay short enough not to cover the spoken prompt half a second later.
"""
import math
import struct
import sys
import wave
from pathlib import Path

RATE = 22050


def note(freq, seconds, harmonics=((1, 1.0),), decay=6.0, attack=0.008):
    n = int(seconds * RATE)
    out = []
    for i in range(n):
        t = i / RATE
        env = min(1.0, t / attack) * math.exp(-decay * t)
        v = sum(a * math.sin(2 * math.pi * freq * k * t) for k, a in harmonics)
        out.append(v * env)
    return out


def silence(seconds):
    return [0.0] * int(seconds * RATE)


def mix_at(base, part, start):
    begin = int(start * RATE)
    need = begin + len(part)
    if len(base) < need:
        base.extend([0.0] * (need - len(base)))
    for i, v in enumerate(part):
        base[begin + i] += v
    return base


def write(path, samples, peak=0.6):
    top = max(abs(v) for v in samples) or 1.0
    fade = int(0.01 * RATE)  # no click at the end
    frames = bytearray()
    for i, v in enumerate(samples):
        g = min(1.0, (len(samples) - i) / fade)
        frames += struct.pack("<h", int(v / top * peak * 32767 * g))
    with wave.open(str(path), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(bytes(frames))


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path("data/wave")
    out.mkdir(parents=True, exist_ok=True)
    bell = ((1, 1.0), (2, 0.35), (3, 0.12), (4.2, 0.05))
    success = []
    for k, f in enumerate((784.0, 987.8, 1318.5)):  # G5 B5 E6
        mix_at(success, note(f, 0.45, bell, decay=7.0), 0.09 * k)
    write(out / "success.wav", success)

    soft = ((1, 1.0), (3, 0.08))
    warning = note(659.3, 0.16, soft, decay=9.0) + silence(0.07) + note(659.3, 0.22, soft, decay=8.0)
    write(out / "warning.wav", warning, peak=0.55)

    buzz = ((1, 1.0), (3, 0.33), (5, 0.2), (7, 0.14))
    wrong = note(311.1, 0.2, buzz, decay=3.0) + note(233.1, 0.38, buzz, decay=4.5)
    write(out / "wrong.wav", wrong, peak=0.55)


if __name__ == "__main__":
    main()
