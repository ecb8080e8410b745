#!/usr/bin/python3
"""Writes the station's five state sounds as 16-bit PCM mono .wav files.

Run from anywhere: /usr/bin/python3 data/sounds/make_sounds.py
The output is deterministic, so the committed files match a fresh run.
Each sound has its own shape, so an operator knows the state without looking:
  alarm          a fast two-tone siren, the loudest and longest
  battery_fault  three low, slow pulses
  disconnect     a falling glide that fades out
  arm            three rising notes
  disarm         three falling notes
"""

import math
import os
import struct
import wave

RATE = 22050
PEAK = 32767


def envelope(i, count, attack=0.006, release=0.02):
    """Soft edges so that no note starts or stops with a click."""
    t = i / RATE
    rest = (count - i) / RATE
    return min(1.0, t / attack, rest / release)


def tone(freq, seconds, level=0.6, harmonics=((1, 1.0),)):
    count = int(seconds * RATE)
    out = []
    for i in range(count):
        t = i / RATE
        v = sum(a * math.sin(2 * math.pi * freq * k * t) for k, a in harmonics)
        out.append(level * envelope(i, count) * v / sum(a for _, a in harmonics))
    return out


def silence(seconds):
    return [0.0] * int(seconds * RATE)


def glide(f0, f1, seconds, level=0.55):
    count = int(seconds * RATE)
    out = []
    phase = 0.0
    for i in range(count):
        f = f0 + (f1 - f0) * i / count
        phase += 2 * math.pi * f / RATE
        fade = 1.0 - 0.7 * i / count
        out.append(level * fade * envelope(i, count) * math.sin(phase))
    return out


# Odd harmonics give the siren a harsh, square-like edge that cuts through
# a quiet room; the quiet states use plain sine notes.
HARSH = ((1, 1.0), (3, 0.35), (5, 0.15))


def alarm():
    out = []
    for n in range(12):  # 12 x 0.125 s = 1.5 s
        out += tone(960 if n % 2 == 0 else 720, 0.125, level=0.9, harmonics=HARSH)
    return out


def battery_fault():
    out = []
    for _ in range(3):
        out += tone(440, 0.16, level=0.7, harmonics=((1, 1.0), (2, 0.3))) + silence(0.14)
    return out


def disconnect():
    return glide(880, 300, 0.7)


def arm():
    out = []
    for f in (523.25, 659.25, 783.99):  # C5 E5 G5
        out += tone(f, 0.11) + silence(0.03)
    return out


def disarm():
    out = []
    for f in (783.99, 659.25, 523.25):  # G5 E5 C5
        out += tone(f, 0.11) + silence(0.03)
    return out


def write(path, samples):
    frames = b"".join(struct.pack("<h", max(-PEAK, min(PEAK, round(s * PEAK)))) for s in samples)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(frames)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, make in (("alarm", alarm), ("battery_fault", battery_fault), ("disconnect", disconnect),
                       ("arm", arm), ("disarm", disarm)):
        write(os.path.join(here, name + ".wav"), make())


if __name__ == "__main__":
    main()
