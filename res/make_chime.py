#!/usr/bin/env python3
"""Writes chime.wav, Tallyhawk's default notification sound.

A two-note bell ("ding-dong": E6 then C6), each note a decaying sine with a
soft overtone, 22050 Hz, 16-bit mono PCM. Run from this folder to rebuild it.
"""
import math
import struct
import wave

RATE = 22050
NOTES = [(1318.51, 0.0), (1046.50, 0.30)]  # frequency in Hz, start in seconds
LENGTH = 0.95  # seconds


def sample(t):
    value = 0.0
    for frequency, start in NOTES:
        dt = t - start
        if dt < 0:
            continue
        attack = min(1.0, dt / 0.004)
        envelope = attack * math.exp(-dt * 5.5)
        value += envelope * (math.sin(2 * math.pi * frequency * dt)
                             + 0.25 * math.sin(2 * math.pi * 2.76 * frequency * dt))
    fade = min(1.0, (LENGTH - t) / 0.05)
    return 0.32 * value * fade


def main():
    frames = bytearray()
    for i in range(int(RATE * LENGTH)):
        v = max(-1.0, min(1.0, sample(i / RATE)))
        frames += struct.pack('<h', int(v * 32767))
    with wave.open('chime.wav', 'wb') as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(bytes(frames))


if __name__ == '__main__':
    main()
