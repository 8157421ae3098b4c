#!/usr/bin/env python3
"""Writes raw frames for the memory-checking runs of skarvel-host: per size,
three frames back to back: noise in every field, a checkerboard of the two
int16 extremes, and 32767 everywhere.
usage: hostile_frames.py DIR WIDTHxHEIGHT[:PITCH]..."""
import os
import random
import struct
import sys


def frames(width, height, pitch):
    rng = random.Random(width * 7919 + height)
    noise = [(rng.randint(-2048, 2047), rng.randint(-2048, 2047), rng.randint(-2048, 2047))
             for _ in range(pitch * height)]
    checker = [((32767, -32768, 32767) if (i % pitch + i // pitch) & 1 else (-32768, 32767, -32768))
               for i in range(pitch * height)]
    flat = [(32767, 32767, 32767)] * (pitch * height)
    return b"".join(struct.pack("<hhh", *p) for frame in (noise, checker, flat) for p in frame)


def main():
    directory = sys.argv[1]
    for spec in sys.argv[2:]:
        size, _, pitch = spec.partition(":")
        width, height = (int(v) for v in size.split("x"))
        with open(os.path.join(directory, f"{spec}.raw"), "wb") as f:
            f.write(frames(width, height, int(pitch or width)))


if __name__ == "__main__":
    main()
