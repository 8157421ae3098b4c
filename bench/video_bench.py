#!/usr/bin/env python3
"""Times skarvel beside ffmpeg's vaguedenoiser (chroma planes only) and hqdn3d on
the same noisy Y4M clips, as shipped and single-threaded, and measures the chroma
PSNR of each result against the clean clip.

Clips: ffmpeg's testsrc2 (edges, gradients, flat areas, text), with temporal
chroma noise from a fixed seed. Times are for the whole command (start-up,
reading and writing Y4M included for every tool), best of --repeat runs:
fps = frames / wall-clock time; CPU fps = frames / processor time of all the
command's threads, which a machine shared with other work disturbs less.

Usage: bench/video_bench.py [--build DIR] [--repeat N] [--quick]
"""
import argparse
import math
import os
import platform
import re
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# (label, size, pixel format, frames)
CASES = [
    ("720x480 4:2:0", "720x480", "yuv420p", 60),
    ("720x480 4:4:4", "720x480", "yuv444p", 60),
    ("1080p 4:2:0", "1920x1080", "yuv420p", 20),
]
NOISE = 10  # ffmpeg noise strength on both chroma planes
SINGLE = ["-threads", "1", "-filter_threads", "1"]


def run(args, **kw):
    p = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kw)
    if p.returncode != 0:
        sys.exit(f"failed: {' '.join(args)}\n{p.stderr.decode()[-2000:]}")
    return p


def make_clips(tmp, size, pix_fmt, frames):
    clean, noisy = os.path.join(tmp, "clean.y4m"), os.path.join(tmp, "noisy.y4m")
    run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", f"testsrc2=size={size}:rate=25",
         "-frames:v", str(frames), "-pix_fmt", pix_fmt, "-f", "yuv4mpegpipe", clean])
    run(["ffmpeg", "-v", "error", "-y", "-i", clean, "-vf",
         f"noise=c1s={NOISE}:c2s={NOISE}:allf=t:all_seed=7", "-f", "yuv4mpegpipe", noisy])
    return clean, noisy


def chroma_psnr(result, clean):
    stats = result + ".psnr"
    run(["ffmpeg", "-v", "error", "-i", result, "-i", clean, "-lavfi",
         f"[0:v][1:v]psnr=stats_file={stats}", "-f", "null", "-"])
    mse = []
    for line in open(stats):
        u = float(re.search(r"mse_u:([\d.]+)", line).group(1))
        v = float(re.search(r"mse_v:([\d.]+)", line).group(1))
        mse.append((u + v) / 2)
    os.remove(stats)
    m = sum(mse) / len(mse)
    return math.inf if m == 0 else 10 * math.log10(255 ** 2 / m)


def timed(args, repeat):
    """Best wall-clock time and best processor time (user + system, all threads)."""
    wall = cpu = math.inf
    for _ in range(repeat):
        start = time.perf_counter()
        p = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        err = p.stderr.read()
        _, status, usage = os.wait4(p.pid, 0)
        wall = min(wall, time.perf_counter() - start)
        if status != 0:
            sys.exit(f"failed: {' '.join(args)}\n{err.decode()[-2000:]}")
        cpu = min(cpu, usage.ru_utime + usage.ru_stime)
    return wall, cpu


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--quick", action="store_true", help="a quarter of the frames, one run each")
    args = ap.parse_args()
    skarvel = os.path.join(args.build, "skarvel")
    if args.quick:
        args.repeat = 1

    cpu = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")),
               platform.processor())
    revision = subprocess.run(["git", "-C", ROOT, "log", "-1", "--format=%h %s"],
                              stdout=subprocess.PIPE, text=True).stdout.strip()
    ffmpeg_version = run(["ffmpeg", "-version"]).stdout.decode().split("\n")[0]
    print(f"machine: {cpu}, {os.cpu_count()} cores; {ffmpeg_version}")
    print(f"skarvel at {revision}")
    print(f"noise: ffmpeg noise c1s=c2s={NOISE}, temporal, seed 7; times are best of {args.repeat}\n")
    print("| clip | tool | threads | fps | vs vaguedenoiser | CPU fps | vs vaguedenoiser | chroma PSNR dB |")
    print("|---|---|---|---|---|---|---|---|")

    for label, size, pix_fmt, frames in CASES:
        if args.quick:
            frames = max(4, frames // 4)
        with tempfile.TemporaryDirectory() as tmp:
            clean, noisy = make_clips(tmp, size, pix_fmt, frames)
            out = os.path.join(tmp, "out.y4m")
            print(f"| {label}, {frames} frames | noisy input | | | | | | {chroma_psnr(noisy, clean):.2f} |")
            ffmpeg_in = ["ffmpeg", "-v", "error", "-y"]
            ffmpeg_out = ["-f", "yuv4mpegpipe", out]
            runs = [
                ("vaguedenoiser planes=6", "shipped",
                 ffmpeg_in + ["-i", noisy, "-vf", "vaguedenoiser=planes=6"] + ffmpeg_out),
                ("vaguedenoiser planes=6", "1",
                 ffmpeg_in + SINGLE + ["-i", noisy, "-vf", "vaguedenoiser=planes=6"] + ffmpeg_out),
                ("hqdn3d (defaults)", "shipped", ffmpeg_in + ["-i", noisy, "-vf", "hqdn3d"] + ffmpeg_out),
                ("hqdn3d (defaults)", "1",
                 ffmpeg_in + SINGLE + ["-i", noisy, "-vf", "hqdn3d"] + ffmpeg_out),
                ("skarvel (defaults, mode 2)", "shipped", [skarvel, "-q", noisy, out]),
                ("skarvel (defaults, mode 2)", "1", [skarvel, "-q", "--threads", "1", noisy, out]),
                ("skarvel --mode 0", "shipped", [skarvel, "-q", "--mode", "0", noisy, out]),
                ("skarvel --mode 0", "1", [skarvel, "-q", "--mode", "0", "--threads", "1", noisy, out]),
            ]
            peer = {}
            for name, threads, command in runs:
                wall, cpu = timed(command, args.repeat)
                fps, cpu_fps = frames / wall, frames / cpu
                if name.startswith("vaguedenoiser"):
                    peer[threads] = (fps, cpu_fps)
                shown = "shipped (2)" if threads == "shipped" and name.startswith("skarvel") else threads
                print(f"| | {name} | {shown} | {fps:.1f} | {fps / peer[threads][0]:.2f}x "
                      f"| {cpu_fps:.1f} | {cpu_fps / peer[threads][1]:.2f}x "
                      f"| {chroma_psnr(out, clean):.2f} |", flush=True)


if __name__ == "__main__":
    main()
