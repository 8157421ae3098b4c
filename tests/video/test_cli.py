"""End-to-end tests of the skarvel video tool through ffmpeg pipes.

Clips come from ffmpeg's test source with chroma noise; results are checked
against the input (luma, an idle filter), against skarvel-host running the same
plane through the same module (with an independent implementation of the host
scale here), and for clean failure on bad input.

Run: test_cli.py --build BUILD_DIR [unittest arguments]
"""
import argparse
import array
import functools
import os
import re
import subprocess
import sys
import tempfile
import unittest
from fractions import Fraction

BUILD = None


def tool(name):
    return os.path.join(BUILD, name)


# ---- Y4M, read independently of the tool ------------------------------------

LAYOUTS = {"420": (2, 2), "422": (2, 1), "444": (1, 1)}


class Clip:
    def __init__(self, data):
        end = data.index(b"\n")
        self.header = data[:end].decode()
        fields = self.header.split()[1:]
        values = {f[0]: f[1:] for f in fields}
        self.width, self.height = int(values["W"]), int(values["H"])
        colour = values.get("C", "420jpeg")
        m = re.fullmatch(r"(420|422|444)(?:p(\d+)|jpeg|paldv|mpeg2)?", colour)
        assert m, colour
        sx, sy = LAYOUTS[m.group(1)]
        self.bits = int(m.group(2) or 8)
        self.cw, self.ch = -(-self.width // sx), -(-self.height // sy)
        self.bytes = 2 if self.bits > 8 else 1
        sizes = [self.width * self.height, self.cw * self.ch, self.cw * self.ch]
        self.frames = []  # each a list of planes, each a list of samples
        self.frame_params = []
        pos = end + 1
        while pos < len(data):
            line_end = data.index(b"\n", pos)
            line = data[pos:line_end]
            assert line.startswith(b"FRAME"), line[:20]
            self.frame_params.append(line[5:])
            pos = line_end + 1
            planes = []
            for n in sizes:
                raw = data[pos:pos + n * self.bytes]
                assert len(raw) == n * self.bytes, "truncated frame"
                planes.append(list(raw) if self.bytes == 1 else list(array.array("H", raw)))
                pos += n * self.bytes
            self.frames.append(planes)


def round_half_away(q):
    return int(q + Fraction(1, 2)) if q >= 0 else -int(-q + Fraction(1, 2))


@functools.lru_cache(maxsize=None)
def host_tables(bits):
    unit = 2 ** (bits - 8)
    to_host = [round_half_away(Fraction((s - 128 * unit) * 2048, 112 * unit)) for s in range(2 ** bits)]
    top = 2 ** bits - 1
    from_host = {}

    def back(v):
        if v not in from_host:
            s = 128 * unit + round_half_away(Fraction(v * 112 * unit, 2048))
            from_host[v] = min(max(s, 0), top)
        return from_host[v]

    return to_host, back


def run(args, stdin=None, check=True):
    p = subprocess.run(args, input=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if check and p.returncode != 0:
        raise AssertionError(f"{args[0]} failed ({p.returncode}): {p.stderr.decode()[-2000:]}")
    return p


def make_clip(pix_fmt, size="96x64", frames=3, noise=30, extra=()):
    """A noisy ffmpeg test clip as Y4M bytes."""
    chain = f"format=yuv444p,noise=c1s={noise}:c2s={noise}:allf=t:all_seed=5,format={pix_fmt}"
    return run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", f"testsrc2=size={size}:rate=25",
                "-frames:v", str(frames), "-vf", chain, *extra, "-strict", "-1",
                "-f", "yuv4mpegpipe", "-"]).stdout


def through_pipes(clip, options=()):
    """ffmpeg | skarvel - - | ffmpeg: the clip, and skarvel's result as ffmpeg reads it back."""
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "in.y4m")
        with open(src, "wb") as f:
            f.write(clip)
        feed = subprocess.Popen(["ffmpeg", "-v", "error", "-i", src, "-strict", "-1",
                                 "-f", "yuv4mpegpipe", "-"], stdout=subprocess.PIPE)
        skarvel = subprocess.Popen([tool("skarvel"), "--quiet", *options, "-", "-"],
                                   stdin=feed.stdout, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE)
        feed.stdout.close()
        back = subprocess.run(["ffmpeg", "-v", "error", "-f", "yuv4mpegpipe", "-i", "-",
                               "-strict", "-1", "-f", "yuv4mpegpipe", "-"],
                              stdin=skarvel.stdout, stdout=subprocess.PIPE)
        skarvel.stdout.close()
        err = skarvel.stderr.read().decode()
        skarvel.stderr.close()
        assert skarvel.wait() == 0, err
        assert feed.wait() == 0
        assert back.returncode == 0
        return Clip(clip), Clip(back.stdout)


def host_plane(clip, planes, plane, tracks=(), checks=()):
    """One chroma plane run through skarvel-host and its module, mapped with this file's
    own host scale, samples the module left alone kept as they were."""
    to_host, back = host_tables(clip.bits)
    channel = "cb" if plane == 1 else "cr"
    samples = planes[plane]
    given = [to_host[s] for s in samples]
    pixels = array.array("h", [0] * (3 * len(samples)))
    pixels[plane::3] = array.array("h", given)
    args = [tool("skarvel-host"), "--plugin", tool(f"skarvel_{channel}.so"),
            "--size", f"{clip.cw}x{clip.ch}"]
    for t in tracks:
        args += ["--track", t]
    for c in checks:
        args += ["--check", c]
    out = array.array("h", run(args + ["-", "-"], stdin=pixels.tobytes()).stdout)
    result = out[plane::3]
    return [s if r == g else back(r) for s, g, r in zip(samples, given, result)], out


FORMATS = ["yuv420p", "yuv422p", "yuv444p", "yuv420p10le", "yuv422p10le", "yuv444p10le"]


class RoundTrip(unittest.TestCase):
    def test_zero_strength_at_8_bits_gives_the_input_back(self):
        for pix_fmt in ["yuv420p", "yuv422p", "yuv444p"]:
            with self.subTest(pix_fmt=pix_fmt):
                source, result = through_pipes(make_clip(pix_fmt), ["--strength", "0"])
                self.assertEqual(len(result.frames), 3)
                self.assertEqual(result.frames, source.frames)

    def test_zero_strength_at_10_bits_moves_no_sample_by_more_than_one(self):
        # Even at zero strength each pass rebuilds its lines and truncates
        # toward zero: up to two host steps over both passes, a little under
        # half a sample step at 10 bits, so rounding back can move a sample by
        # one. Everything else comes back as it was. The SSE set rounds every
        # step to single and so lands a little short more often than the
        # reference set (three yuv444p10le frames: 374 moved against 143).
        for pix_fmt in ["yuv420p10le", "yuv422p10le", "yuv444p10le"]:
            with self.subTest(pix_fmt=pix_fmt):
                source, result = through_pipes(make_clip(pix_fmt, frames=2), ["--strength", "0"])
                moved = 0
                for before, after in zip(source.frames, result.frames):
                    self.assertEqual(after[0], before[0])
                    for plane in (1, 2):
                        step = [abs(a - b) for a, b in zip(after[plane], before[plane])]
                        self.assertLessEqual(max(step), 1)
                        moved += sum(step)
                        self.assertEqual(after[plane], host_plane(source, before, plane, ["13=0"])[0])
                self.assertLess(moved, 2 * 96 * 64 // 20)

    def test_an_idle_module_gives_every_depth_back(self):
        # A mode the filter does not know leaves the frame alone: the host
        # scale must then cost nothing, also where samples share host values.
        for pix_fmt in ["yuv420p10le", "yuv420p12le", "yuv422p12le", "yuv444p16le"]:
            with self.subTest(pix_fmt=pix_fmt):
                source, result = through_pipes(make_clip(pix_fmt, frames=2), ["--track", "0=9"])
                self.assertEqual(result.frames, source.frames)


class Denoising(unittest.TestCase):
    def test_luma_untouched_chroma_as_the_stand_in_host_gives(self):
        for pix_fmt in FORMATS:
            with self.subTest(pix_fmt=pix_fmt):
                source, result = through_pipes(make_clip(pix_fmt, frames=2))
                self.assertEqual(len(result.frames), len(source.frames))
                for before, after in zip(source.frames, result.frames):
                    self.assertEqual(after[0], before[0], "luma changed")
                    for plane in (1, 2):
                        expected, _ = host_plane(source, before, plane)
                        self.assertEqual(after[plane], expected, f"plane {plane}")
                        changed = sum(a != b for a, b in zip(after[plane], before[plane]))
                        self.assertGreater(changed, len(before[plane]) // 10)

    def test_options_reach_the_module_as_tracks(self):
        cases = [
            (["--mode", "0", "--nr", "80", "--edge", "40"],
             ["0=0"] + [f"{i}=40" for i in range(1, 7)] + [f"{i}=80" for i in range(7, 13)], []),
            (["--mode", "1", "--nr", "10,20,30,40,50,60", "--strength", "150", "--vertical", "0"],
             ["0=1", "7=10", "8=20", "9=30", "10=40", "11=50", "12=60", "13=150", "14=0"], []),
            (["--edge", "0,30,60,90,120,150", "--vertical", "170", "--halve"],
             ["1=0", "2=30", "3=60", "4=90", "5=120", "6=150", "14=170"], ["0=1"]),
            (["--halve", "--average-pairs", "--mode", "0"], ["0=0"], ["0=1", "1=1"]),
            (["--mode", "3", "--nr", "90"], ["0=3"] + [f"{i}=90" for i in range(7, 13)], []),
            (["--strength", "100", "--track", "13=37", "--track", "7=0"], ["13=37", "7=0"], []),
        ]
        clip = make_clip("yuv422p", size="80x48", frames=1)
        for options, tracks, checks in cases:
            with self.subTest(options=options):
                source, result = through_pipes(clip, options)
                for plane in (1, 2):
                    expected, _ = host_plane(source, source.frames[0], plane, tracks, checks)
                    self.assertEqual(result.frames[0][plane], expected, f"plane {plane}")

    def test_one_channel_leaves_the_other_alone(self):
        clip = make_clip("yuv420p", frames=1)
        for channel, kept, filtered in [("cb", 2, 1), ("cr", 1, 2)]:
            with self.subTest(channel=channel):
                source, result = through_pipes(clip, ["--channels", channel])
                self.assertEqual(result.frames[0][kept], source.frames[0][kept])
                expected, _ = host_plane(source, source.frames[0], filtered)
                self.assertEqual(result.frames[0][filtered], expected)

    def test_single_thread_gives_the_same_frames(self):
        clip = make_clip("yuv444p", frames=2)
        _, two = through_pipes(clip)
        _, one = through_pipes(clip, ["--threads", "1"])
        self.assertEqual(one.frames, two.frames)

    def test_display_shows_the_module_coefficients(self):
        clip = make_clip("yuv420p", size="64x48", frames=1)
        source = Clip(clip)
        for display in ("1", "3"):
            with self.subTest(display=display):
                _, result = through_pipes(clip, ["--display", display])
                planes = result.frames[0]
                self.assertEqual(set(planes[1]) | set(planes[2]), {128})
                # The Cb module's luma field, as grey 16..235, two by two up to the frame.
                _, out = host_plane(source, source.frames[0], 1, [f"15={display}"])
                grey = out[0::3]
                for y in range(source.height):
                    for x in range(source.width):
                        g = min(max(grey[(y // 2) * source.cw + x // 2], 0), 4096)
                        expect = 16 + round_half_away(Fraction(g * 219, 4096))
                        self.assertEqual(planes[0][y * source.width + x], expect, (x, y))


class Streams(unittest.TestCase):
    def test_header_and_frame_fields_pass_through(self):
        with tempfile.TemporaryDirectory() as tmp:
            src, dst = os.path.join(tmp, "in.y4m"), os.path.join(tmp, "out.y4m")
            body = Clip(make_clip("yuv444p", size="32x16", frames=2))
            header = "YUV4MPEG2 W32 H16 F30000:1001 It A10:11 C444 XYSCSS=444 XCOLORRANGE=LIMITED"
            with open(src, "wb") as f:
                f.write(header.encode() + b"\n")
                for i, planes in enumerate(body.frames):
                    f.write(b"FRAME Ib X%d\n" % i + b"".join(bytes(p) for p in planes))
            p = run([tool("skarvel"), src, dst])
            self.assertRegex(p.stderr.decode(), r"skarvel: 2 frames in [\d.]+ s, [\d.]+ fps")
            out = Clip(open(dst, "rb").read())
            self.assertEqual(out.header, header)
            self.assertEqual(out.frame_params, [b" Ib X0", b" Ib X1"])

    def test_1080p_420_fits(self):
        clip = make_clip("yuv420p", size="1920x1080", frames=1, noise=0)
        p = run([tool("skarvel"), "--quiet", "--mode", "0", "-", "-"], stdin=clip)
        self.assertEqual(len(Clip(p.stdout).frames), 1)

    def test_memory_stays_flat_over_a_long_clip(self):
        def peak_kib(frames):
            feed = subprocess.Popen(
                ["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25",
                 "-frames:v", str(frames), "-f", "yuv4mpegpipe", "-"], stdout=subprocess.PIPE)
            p = subprocess.Popen([tool("skarvel"), "--quiet", "--mode", "0", "-", "/dev/null"],
                                 stdin=feed.stdout)
            feed.stdout.close()
            _, status, usage = os.wait4(p.pid, 0)
            feed.wait()
            self.assertEqual(status, 0)
            return usage.ru_maxrss
        frame_kib = 320 * 240 * 3 // 2 // 1024
        short, long = peak_kib(3), peak_kib(300)
        # 300 frames are 33 MiB of video; the peak may differ by a frame or two.
        self.assertLess(long - short, 3 * frame_kib, (short, long))


class BadInput(unittest.TestCase):
    def fails(self, data, message, options=()):
        with tempfile.TemporaryDirectory() as tmp:
            out = os.path.join(tmp, "out.y4m")
            p = run([tool("skarvel"), *options, "-", out], stdin=data, check=False)
            err = p.stderr.decode()
            self.assertNotEqual(p.returncode, 0)
            self.assertIn(message, err)
            self.assertEqual(err.count("\n"), 1, err)  # one clear line
            return open(out, "rb").read() if os.path.exists(out) else None

    def test_faults_in_the_stream_header(self):
        cases = [
            (make_clip("gray", frames=1), "colour space Cmono is monochrome"),
            (make_clip("gray10le", frames=1), "colour space Cmono10 is monochrome"),
            (make_clip("yuv411p", frames=1), "C411 (4:1:1) is not supported"),
            (b"YUV4MPEG2 W16 H16 C420p11\nFRAME\n" + bytes(768), "unknown colour space C420p11"),
            (b"YUV4MPEG2 W16 F25:1\n", "broken header: no height"),
            (b"YUV4MPEG2 W16 H16 F25\n", "broken header: field \"F25\" is not a frame rate"),
            (b"\x1aE\xdf\xa3 matroska", "not a YUV4MPEG2 stream"),
            (b"", "the input is empty"),
            (make_clip("yuv444p", size="1280x720", frames=1, noise=0),
             "the chroma planes are 1280x720, larger than the filter can take"),
        ]
        for data, message in cases:
            with self.subTest(message=message):
                self.assertIsNone(self.fails(data, message))

    def test_truncated_frame_keeps_the_frames_before_it(self):
        clip = make_clip("yuv420p", frames=3)
        full = run([tool("skarvel"), "--quiet", "-", "-"], stdin=clip).stdout
        frame = 96 * 64 * 3 // 2
        cut = len(clip) - frame // 2
        out = self.fails(clip[:cut], "frame 3 is truncated: the input ends after")
        self.assertIn(b"FRAME", out)
        written = Clip(out)
        self.assertEqual(written.frames, Clip(full).frames[:2])
        # ffmpeg takes what was written as a whole stream.
        decoded = run(["ffmpeg", "-v", "error", "-i", "-", "-f", "rawvideo", "-"], stdin=out).stdout
        self.assertEqual(len(decoded), 2 * frame)

    def test_garbage_where_a_frame_belongs(self):
        clip = make_clip("yuv444p", frames=1)
        self.fails(clip + b"FRAMES\n", "frame 2: broken frame header")
        self.fails(clip + b"\x00" * 64, "frame 2: broken frame header: it starts with")

    def test_missing_modules(self):
        with tempfile.TemporaryDirectory() as tmp:
            self.fails(make_clip("yuv420p", frames=1), "cannot load " + tmp,
                       ["--modules", tmp])

    def test_bad_options(self):
        for options, message in [
            (["--mode", "4"], "--mode"),
            (["--edge", "1,2,3"], "give one value for all six or six values, not 3"),
            (["--nr", "101"], "'101' is not a whole number from 0 to 100"),
            (["--track", "16=1"], "--track: '16=1' is not I=V"),
            (["--check", "0"], "--check: '0' is not I=V"),
            (["--channels", "y"], "--channels"),
        ]:
            with self.subTest(options=options):
                p = run([tool("skarvel"), *options, "in.y4m", "out.y4m"], check=False)
                self.assertEqual(p.returncode, 2)
                self.assertIn(message, p.stderr.decode())


class Usage(unittest.TestCase):
    def test_help_explains_every_option(self):
        text = run([tool("skarvel"), "--help"]).stdout.decode()
        for option in ["--mode", "--edge", "--nr", "--strength", "--vertical", "--display",
                       "--halve", "--average-pairs", "--channels", "--track", "--check",
                       "--modules", "--threads", "--quiet", "--version", "demo"]:
            self.assertIn(option, text)

    def test_help_defaults_are_the_modules_defaults(self):
        text = run([tool("skarvel"), "--help"]).stdout.decode()
        described = run([tool("skarvel-host"), "--plugin", tool("skarvel_cr.so"),
                         "--describe"]).stdout.decode()
        defaults = {int(m[0]): int(m[1]) for m in re.findall(r"track (\d+): .* default (-?\d+)",
                                                             described)}
        for option, track in [("--mode", 0), ("--edge", 1), ("--nr", 7), ("--strength", 13),
                              ("--vertical", 14)]:
            section = text[text.index(option + " "):]
            self.assertIn(f"(default {defaults[track]}", section[:500], option)

    def test_version(self):
        self.assertRegex(run([tool("skarvel"), "--version"]).stdout.decode(), r"^skarvel \d+\.\d+")


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    args, rest = parser.parse_known_args()
    BUILD = os.path.abspath(args.build)
    unittest.main(argv=[sys.argv[0]] + rest)
