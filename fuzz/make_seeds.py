#!/usr/bin/env python3
"""Writes the seed corpora: fuzz/corpus/frame for fuzz_frame and
fuzz/corpus/y4m for fuzz_y4m, one small file per situation worth starting
from. The frame seeds follow the reader in fuzz_frame.cpp: tracks, checks,
kernel set, messages, flags, frame shape, three field patterns."""
import os
import struct
import sys

SPECIAL = [-2**31, 2**31 - 1, -2**31 + 1, 2**31 - 2, 0, -1, 65535, 65536, 32767, 32768,
           -32768, 1 << 30, 1024, 2048, 255, -2]
EDGES = [-32768, 32767, -32767, 32766, 0, -1, 2047, -2048]
DEFAULTS = [2, 75, 75, 75, 75, 75, 75, 50, 50, 50, 50, 50, 50, 200, 100, 0]
MAXIMA = [3, 150, 150, 150, 150, 150, 150, 100, 100, 100, 100, 100, 100, 200, 200, 4]


def i32(v):
    return struct.pack("<i", v)


def track(index, v):
    if v == DEFAULTS[index]:
        return b"\x00"
    if -1 <= v <= MAXIMA[index] + 1 and 0x40 + v + 1 < 0xC0:
        return bytes([0x40 + v + 1])
    if v in SPECIAL:
        return bytes([0xC0 + SPECIAL.index(v)])
    return b"\xF0" + i32(v)


def check(v):
    if v == 0:
        return b"\x00"
    if v == 1:
        return b"\x40"
    if v in SPECIAL:
        return bytes([0xA0 + SPECIAL.index(v)])
    return b"\xF0" + i32(v)


def message(number, lparam):
    sel = bytes([number - 2020]) if 2020 <= number < 2036 else b"\xF0" + struct.pack("<I", number)
    lp = bytes([SPECIAL.index(lparam)]) if lparam in SPECIAL else b"\x40" + i32(lparam)
    return sel + lp


def sample(v):
    return bytes([EDGES.index(v)]) if v in EDGES else b"\x80" + struct.pack("<h", v)


def pattern(kind, a=0, b=0, seed=1, amplitude=100, impulse=0):
    return (bytes([kind]) + sample(a) + sample(b) + struct.pack("<I", seed) +
            struct.pack("<H", amplitude - 1) + struct.pack("<H", impulse))


NOISE = pattern(6, 0, 0, seed=7, amplitude=300)


def shape(width, height, extra=0, cls=None):
    """Small frames in class 0, rows in 12, columns in 13, any in 14."""
    if extra == 0:
        pitch = b"\x00"
    elif extra > 0:
        pitch = bytes([0x80 + (extra - 1)])
    else:
        pitch = bytes([0xE0 + (-extra - 1)])
    if cls is None:
        cls = 0 if width <= 48 and height <= 48 else 14
    if cls == 0:
        return b"\x00" + bytes([width - 1, height - 1]) + pitch
    if cls == 12:
        return b"\x0C" + struct.pack("<H", width - 1) + bytes([height - 1]) + pitch
    if cls == 13:
        return b"\x0D" + bytes([width - 1]) + struct.pack("<H", height - 1) + pitch
    return b"\x0E" + struct.pack("<H", width - 1) + struct.pack("<H", height - 1) + pitch


def hostile(width, height, pitch_bytes=b"\x00"):
    return b"\x3F" + i32(width) + i32(height) + pitch_bytes


def seed(tracks=None, checks=(0, 0), cpu=0, messages=(), flags=0, frame=shape(16, 16),
         fields=(NOISE, NOISE, NOISE), tile=b""):
    t = list(DEFAULTS)
    for k, v in (tracks or {}).items():
        t[k] = v
    out = b"".join(track(i, v) for i, v in enumerate(t))
    out += check(checks[0]) + check(checks[1]) + bytes([cpu])
    out += bytes([len(messages)]) + b"".join(message(n, l) for n, l in messages)
    out += bytes([flags]) + frame + b"".join(fields) + tile
    return out


def y4m(width, height, colour, frames=2, fields="F25:1 Ip A1:1", frame_params=("",) * 2,
        fill=None):
    """A small stream; the planes hold a ramp (or fill) in the container's width."""
    layout, bits = colour[:3], 8
    if colour[3:4] == "p" and colour[4:].isdigit():
        bits = int(colour[4:])
    alpha = colour == "444alpha"
    cw = width if layout == "444" else (width + 1) // 2
    ch = (height + 1) // 2 if layout == "420" else height
    sizes = [width * height, cw * ch, cw * ch] + ([width * height] if alpha else [])
    word = 2 if bits > 8 else 1
    head = f"YUV4MPEG2 W{width} H{height} {fields}" + (f" C{colour}" if colour else "")
    out = head.encode() + b"\n"
    for n in range(frames):
        out += b"FRAME" + frame_params[n % len(frame_params)].encode() + b"\n"
        for count in sizes:
            for i in range(count):
                v = fill if fill is not None else (i * 37 + n * 11) % (1 << bits)
                out += v.to_bytes(word, "little")
    return out


def y4m_seeds():
    seeds = {}
    for colour in ("420jpeg", "420paldv", "420mpeg2", "420", "422", "444", "444alpha",
                   "420p10", "422p12", "444p16", "420p9", "444p14"):
        seeds[f"{colour}-5x3"] = y4m(5, 3, colour)
    seeds["no-colour-4x4"] = y4m(4, 4, "")
    seeds["one-pixel"] = y4m(1, 1, "444", frames=3)
    seeds["frame-params"] = y4m(4, 2, "420", frame_params=(" Ixyz", " X=1 Ip"))
    seeds["extensions"] = y4m(2, 2, "422", fields="F30000:1001 It A0:0 XYSCSS=420JPEG XCOLORRANGE=FULL")
    seeds["high-words-10bit"] = y4m(4, 2, "420p10", fill=0xFFFF)
    seeds["high-words-9bit"] = y4m(3, 3, "444p9", fill=0x8000)
    seeds["empty-stream"] = y4m(8, 8, "420", frames=0)
    seeds["truncated-frame"] = y4m(6, 4, "420")[:-5]
    seeds["truncated-header"] = b"YUV4MPEG2 W16 H1"
    seeds["mono"] = b"YUV4MPEG2 W4 H4 Cmono\nFRAME\n" + bytes(16)
    seeds["broken-frame-tag"] = y4m(2, 2, "444", frames=1) + b"FRAMX\n"
    seeds["huge-dimensions"] = b"YUV4MPEG2 W65536 H65536 C444p16\nFRAME\n" + bytes(64)
    seeds["interlace-mixed"] = y4m(2, 2, "420", fields="Im F1:1")
    return seeds


def main(directory):
    seeds = {}
    seeds["defaults"] = seed()
    for mode in (0, 1, 2, 3, 7, -1):
        seeds[f"mode{mode}"] = seed({0: mode}, frame=shape(40, 30, 3))
        for display in (1, 2, 3, 4):
            seeds[f"mode{mode}-display{display}"] = seed({0: mode, 15: display},
                                                         frame=shape(37, 29))
    for cpu in (1, 2):
        seeds[f"cpu{cpu}"] = seed({0: 2}, cpu=cpu, frame=shape(44, 36, 5))
    seeds["halve-average"] = seed(checks=(1, 1), frame=shape(33, 20, 2))
    seeds["halve-only"] = seed(checks=(1, 2), frame=shape(47, 9))
    seeds["halve-2049"] = seed(checks=(1, 0), frame=shape(2049, 3, cls=12))
    seeds["row-1025"] = seed(frame=shape(1025, 2, cls=12))
    for n in (511, 512, 513, 1023, 1024):
        seeds[f"row-{n}"] = seed({0: n % 4}, frame=shape(n, 3, 1, cls=12))
        seeds[f"column-{n}"] = seed({0: n % 4}, frame=shape(3, n, cls=13))
    seeds["short-lines-mode2"] = seed({0: 2}, frame=shape(3, 2))
    seeds["short-lines-mode1"] = seed({0: 1}, frame=shape(1, 1))
    seeds["frame-720x480"] = seed(flags=12, frame=shape(720, 480))
    seeds["display2-400"] = seed({15: 2}, checks=(1, 0), frame=shape(400, 40))
    seeds["display4-511"] = seed({15: 4}, frame=shape(8, 511, cls=13))
    seeds["display3-mode3-1024"] = seed({0: 3, 15: 3}, frame=shape(4, 1024, cls=13))
    seeds["display1-mode3-512"] = seed({0: 3, 15: 1}, frame=shape(512, 2, cls=12))
    seeds["display3-no-vertical"] = seed({15: 3, 14: 0}, frame=shape(30, 30))
    seeds["display-negative"] = seed({15: -5}, frame=shape(20, 20))
    seeds["vertical-off"] = seed({14: 0}, frame=shape(25, 25))
    seeds["vertical-negative"] = seed({14: -2**31}, frame=shape(25, 25))
    # Extremes: constant, checkerboard, impulse, with thresholds far beyond the ranges.
    huge = {7: 65535, 8: 65535, 9: 65535, 10: 65535, 11: 65535, 12: 65535, 13: 2**31 - 1,
            1: 65535, 2: 65535, 3: 65535, 4: 65535, 5: 65535, 6: 65535}
    for name, field in (("max", pattern(1, 32767)), ("min", pattern(1, -32768)),
                        ("checker", pattern(2, 32767, -32768)),
                        ("stripes", pattern(3, -32768, 32767, seed=1)),
                        ("impulse", pattern(4, 0, 32767, impulse=48 + 5 * 40 + 7))):
        for mode in (0, 1, 2, 3):
            seeds[f"extreme-{name}-mode{mode}"] = seed({**huge, 0: mode},
                                                       frame=shape(40, 24),
                                                       fields=(NOISE, field, field))
    seeds["tracks-int-min"] = seed({i: -2**31 for i in range(1, 16)}, frame=shape(20, 20))
    seeds["tracks-int-max"] = seed({i: 2**31 - 1 for i in range(1, 15)}, frame=shape(20, 20))
    seeds["strength-zero"] = seed({13: 0}, frame=shape(30, 30))
    seeds["messages"] = seed(messages=[(2024, 1), (2025, 0x00960040), (2028, -1), (2027, 0x10001),
                                       (2031, 0x00C80064)], frame=shape(24, 24))
    seeds["message-mode"] = seed(messages=[(2024, 9), (2023, 5), (2032, 7)], flags=1,
                                 frame=shape(24, 24))
    seeds["message-raw"] = seed(messages=[(0xFFFFFFFF, 3), (2031, -2**31)], frame=shape(10, 10))
    seeds["hostile-int-min"] = seed(frame=hostile(-2**31, 10))
    seeds["hostile-int-max"] = seed(frame=hostile(2**31 - 1, 2**31 - 1))
    seeds["hostile-zero"] = seed(frame=hostile(0, 5))
    seeds["hostile-pitch-wrap"] = seed(frame=hostile(2**31 - 1, 3, b"\x80"))
    seeds["hostile-pitch-underflow"] = seed(frame=hostile(-2**31, 3, b"\xE0"))
    seeds["hostile-overlap"] = seed(frame=shape(30, 10, -1))
    seeds["hostile-pitch"] = seed(frame=shape(12, 12)[:-1] + b"\xF8" + i32(-2**31))
    seeds["two-frames"] = seed(flags=2, frame=shape(20, 520, cls=13))
    seeds["tile"] = seed(frame=shape(16, 8), fields=(pattern(0), pattern(0), pattern(0)),
                         tile=bytes(range(256)))

    for target, corpus in (("frame", seeds), ("y4m", y4m_seeds())):
        path = os.path.join(directory, target)
        os.makedirs(path, exist_ok=True)
        for name, data in corpus.items():
            with open(os.path.join(path, name), "wb") as f:
                f.write(data)
        print(f"{len(corpus)} seeds in {path}")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else
         os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus"))
