"""skarvel-host end to end: describe, raw frames through files and pipes,
messages, and clean failures that leave no half-written output."""
import os
import random
import struct
import subprocess
import sys
import tempfile
import unittest

# host_cli_test.py [EMULATOR...] HOST CR CB: the host may run under an emulator.
*EMULATOR, HOST, CR, CB = sys.argv[1:]
del sys.argv[1:]


def frame(w, h, seed, pitch=None):
    rng = random.Random(seed)
    pitch = pitch or w
    return b"".join(struct.pack("<hhh", x, -x, (x * 37 + y * 11) % 700 - 350 + int(rng.gauss(0, 50)))
                    for y in range(h) for x in range(pitch))


def run(*args, data=None):
    return subprocess.run([*EMULATOR, HOST, *args], input=data, capture_output=True)


class HostCli(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def test_describe_decodes_labels_of_both_builds(self):
        for module, channel in ((CR, "Cr"), (CB, "Cb")):
            out = run("--plugin", module, "--describe")
            self.assertEqual(out.returncode, 0, out.stderr)
            text = out.stdout.decode("utf-8")
            self.assertIn(f"filter: Skarvel_{channel}", text)
            self.assertIn("information: version 0.02a by Tobren", text)
            self.assertIn("track 1: ｴｯｼﾞLv0 default 75 min 0 max 150", text)
            self.assertIn(f"track 12: {channel}-NR5H default 50 min 0 max 100", text)
            self.assertIn("track 13: 適用度% default 200 min 0 max 200", text)
            self.assertIn("track 14: 縦係数% default 100 min 0 max 200", text)
            self.assertIn("track 15: 展開値 default 0 min 0 max 4", text)
            self.assertIn("check 0: 半分に間引いて処理 default 0", text)
            self.assertIn("check 1: 間引く時に平均 default 0", text)

    def test_files_and_pipes_give_the_same_frames(self):
        data = frame(64, 40, 1, pitch=70) + frame(64, 40, 2, pitch=70)
        with open(self.path("in.raw"), "wb") as f:
            f.write(data)
        by_file = run("--plugin", CR, "--size", "64x40", "--pitch", "70",
                      self.path("in.raw"), self.path("out.raw"))
        self.assertEqual(by_file.returncode, 0, by_file.stderr)
        by_pipe = run("--plugin", CR, "--size", "64x40", "--pitch", "70", "-", "-", data=data)
        self.assertEqual(by_pipe.returncode, 0, by_pipe.stderr)
        with open(self.path("out.raw"), "rb") as f:
            self.assertEqual(f.read(), by_pipe.stdout)
        self.assertEqual(len(by_pipe.stdout), len(data))
        self.assertNotEqual(by_pipe.stdout, data)
        self.assertIn(b"2 frames", by_pipe.stderr)

    def test_messages_reach_the_filter(self):
        data = frame(48, 32, 3) * 2
        plain = run("--plugin", CR, "--size", "48x32", "-", "-", data=data).stdout
        half = len(data) // 2
        self.assertEqual(plain[:half], plain[half:])
        later = run("--plugin", CR, "--size", "48x32", "--message-at", "1:2031:0", "-", "-", data=data)
        self.assertEqual(later.returncode, 0, later.stderr)
        self.assertEqual(later.stdout[:half], plain[:half])
        # Strength 0 before frame 1: it comes back as it went in, up to truncation by one in each pass.
        got = struct.unpack(f"<{half // 2}h", later.stdout[half:])
        sent = struct.unpack(f"<{half // 2}h", data[half:])
        self.assertLessEqual(max(abs(a - b) for a, b in zip(got, sent)), 2)
        self.assertNotEqual(later.stdout[half:], plain[half:])
        self.assertIn(b"1 window refresh", later.stderr)
        direct = run("--plugin", CR, "--size", "48x32", "--track", "0=1", "--track", "9=80",
                     "--track", "13=120", "-", "-", data=data)
        messaged = run("--plugin", CR, "--size", "48x32", "--track", "0=1", "--track", "9=80",
                       "--track", "13=120", "--via-messages", "-", "-", data=data)
        self.assertEqual(messaged.returncode, 0, messaged.stderr)
        self.assertEqual(direct.stdout, messaged.stdout)
        self.assertNotEqual(direct.stdout, plain)

    def test_failures_are_clear_and_leave_no_output(self):
        good = frame(16, 8, 4)
        with open(self.path("partial.raw"), "wb") as f:
            f.write(good + good[:100])
        cases = [
            (["--size", "16x8", self.path("partial.raw")], "not a whole number of frames"),
            # A frame size the input does not back: no 25 GB buffer before the first byte.
            (["--size", "65536x65536", self.path("partial.raw")], "not a whole number of frames"),
            (["--size", "16x8", "--bogus", self.path("partial.raw")], "unknown option --bogus"),
            (["--size", "16by8", self.path("partial.raw")], "bad --size"),
            (["--size", "16x8", "--track", "16=1", self.path("partial.raw")], "bad --track"),
            (["--size", "16x8", "--track", "3=x", self.path("partial.raw")], "bad --track"),
            (["--size", "16x8", "--pitch", "8", self.path("partial.raw")], "--pitch"),
            (["--size", "16x8", "--message", "2031", self.path("partial.raw")], "bad --message"),
            (["--size", "16x8", "--track", "5=70000", "--via-messages", self.path("partial.raw")],
             "cannot be sent by message"),
        ]
        out = self.path("out.raw")
        for args, message in cases:
            result = run("--plugin", CR, *args, out)
            self.assertNotEqual(result.returncode, 0, args)
            self.assertIn(message, result.stderr.decode(), args)
            self.assertFalse(os.path.exists(out), args)
            self.assertFalse(os.path.exists(out + ".partial"), args)
        for module, message in (("/nonexistent/x.so", "cannot load"),
                                (self.path("partial.raw"), "cannot load"),
                                (self.find_library_without_export(), "does not export GetFilterTable")):
            result = run("--plugin", module, "--describe")
            self.assertNotEqual(result.returncode, 0)
            self.assertIn(message, result.stderr.decode())

    @staticmethod
    def find_library_without_export():
        # A system library of the modules' own kind: Windows DLL, 32- or 64-bit ELF.
        with open(CR, "rb") as f:
            header = f.read(5)
        if header[:2] == b"MZ":
            return "C:\\windows\\system32\\version.dll"
        if header[4] == 1:
            candidates = ("/lib/i386-linux-gnu/libm.so.6", "/usr/lib32/libm.so.6")
        else:
            candidates = ("/lib/x86_64-linux-gnu/libm.so.6", "/usr/lib/x86_64-linux-gnu/libm.so.6")
        for candidate in candidates:
            if os.path.exists(candidate):
                return candidate
        raise unittest.SkipTest("no libm to load")


if __name__ == "__main__":
    unittest.main()
