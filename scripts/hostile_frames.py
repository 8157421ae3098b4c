#!/usr/bin/env python3
"""Writes raw frames for the memory-checking runs of skarvel-host: per size,
three frames back to back: noise in every field, a checkerboard of the two
int16 extremes, and 32767 everywhere. A shape "WxH:C:N.y4m" writes instead a
Y4M clip of N frames in colour space C for the video tool: noise, the
container's extremes alternating, and a chroma step.
usage: hostile_frames.py DIR WIDTHxHEIGHT[:PITCH]... WxH:C:N.y4m..."""
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


def clip(width, height, colour, count):
    bits = int(colour[4:]) if colour[3:4] == "p" else 8
    cw = width if colour.startswith("444") else (width + 1) // 2
    ch = (height + 1) // 2 if colour.startswith("420") else height
    top, word = (1 << bits) - 1, 2 if bits > 8 else 1
    rng = random.Random(width + 131 * height + bits)
    out = f"YUV4MPEG2 W{width} H{height} F25:1 Ip A1:1 C{colour}\n".encode()
    for n in range(count):
        out += b"FRAME\n"
        for plane, (w, h) in enumerate(((width, height), (cw, ch), (cw, ch))):
            for i in range(w * h):
                x, y = i % w, i // w
                v = (rng.randint(0, top), top if (x + y) & 1 else 0,
                     top if x < w // 2 else 0)[(n + plane) % 3]
                out += v.to_bytes(word, "little")
    return out


def main():
    directory = sys.argv[1]
    for shape in sys.argv[2:]:
        if shape.endswith(".y4m"):
            size, colour, count = shape[:-4].split(":")
            width, height = (int(v) for v in size.split("x"))
            with open(os.path.join(directory, shape), "wb") as f:
                f.write(clip(width, height, colour, int(count)))
            continue
        size, _, pitch = shape.partition(":")
        width, height = (int(v) for v in size.split("x"))
        with open(os.path.join(directory, f"{shape}.raw"), "wb") as f:
            f.write(frames(width, height, int(pitch or width)))


if __name__ == "__main__":
    main()
