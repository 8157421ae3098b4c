#!/usr/bin/env python3
"""Checks of the built modules on each platform.

  exports  OBJDUMP MODULE...          PE export table and imports of Windows modules
  baseline OBJDUMP ALLOWED MODULE...  no SSE or later instruction outside the SSE set
  describe CHANNEL -- HOST...         the stand-in host describes the module exactly
  frames   --native-host H --native-module M -- HOST...
                                      frames equal to the host build's, case by case

HOST... is the command that runs the platform's stand-in host, emulator first.
"""
import argparse
import array
import os
import random
import re
import subprocess
import sys
import tempfile

# ---------------------------------------------------------------- exports

# DLLs every Windows installation has; anything else would have to be shipped.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "msvcrt.dll", "ntdll.dll", "advapi32.dll"}


def check_exports(objdump, modules):
    failures = []
    for module in modules:
        text = subprocess.run([objdump, "-p", module], check=True, capture_output=True,
                              text=True).stdout
        name = re.search(r"^Name\s+[0-9a-fA-F]+\s+(\S+)", text, re.M)
        if not name or name.group(1) != "skarvel.auf":
            failures.append(f"{module}: export table names the module "
                            f"{name.group(1) if name else 'nothing'}, not skarvel.auf")
        table = text.split("[Ordinal/Name Pointer] Table", 1)
        exports = re.findall(r"^\s*\[\s*\d+\]\s+(\S+)\s*$", table[1].split("\n\n")[0], re.M) \
            if len(table) == 2 else []
        if exports != ["GetFilterTable"]:
            failures.append(f"{module}: exports {exports}, expected ['GetFilterTable'] alone")
        address_table = re.search(r"Export Address Table\s+([0-9a-fA-F]+)\s*$", text, re.M)
        if not address_table or int(address_table.group(1), 16) != 1:
            failures.append(f"{module}: export address table holds "
                            f"{address_table.group(1) if address_table else 'no'} entries, not 1")
        imports = re.findall(r"DLL Name:\s*(\S+)", text)
        if not imports:
            failures.append(f"{module}: no import table found")
        foreign = [dll for dll in imports if dll.lower() not in SYSTEM_DLLS]
        if foreign:
            failures.append(f"{module}: imports {foreign}, which are not system DLLs")
        print(f"{module}: name {name.group(1) if name else '?'}, exports {exports}, "
              f"imports {imports}")
    return failures


# ---------------------------------------------------------------- baseline

# Operands and mnemonics that a Pentium II cannot execute: SSE and later
# registers, the SSE control register, and the integer and cache instructions
# that came with SSE (or SSE3, for fisttp).
SSE_OPERAND = re.compile(r"%[xyz]mm\d|%k[0-7]\b|mxcsr")
SSE_MNEMONICS = {
    "sfence", "lfence", "mfence", "movntq", "maskmovq", "pshufw", "pavgb", "pavgw", "pmaxsw",
    "pmaxub", "pminsw", "pminub", "pmovmskb", "pinsrw", "pextrw", "pmulhuw", "psadbw",
    "prefetchnta", "prefetcht0", "prefetcht1", "prefetcht2", "fisttp", "fisttps", "fisttpl",
    "fisttpll", "movnti", "clflush",
}
FUNCTION = re.compile(r"^[0-9a-f]+ <(.*)>:$")
INSTRUCTION = re.compile(r"^\s*[0-9a-f]+:\s+([a-z][a-z0-9.]*)\s*(.*)$")


def check_baseline(objdump, allowed, modules):
    allowed_re = re.compile(allowed) if allowed else None
    failures = []
    for module in modules:
        text = subprocess.run([objdump, "-d", "-C", "--no-show-raw-insn", module], check=True,
                              capture_output=True, text=True).stdout
        function = "?"
        offending, permitted = {}, {}
        instructions = 0
        for line in text.splitlines():
            m = FUNCTION.match(line)
            if m:
                function = m.group(1)
                continue
            m = INSTRUCTION.match(line)
            if not m:
                continue
            instructions += 1
            mnemonic, operands = m.group(1), m.group(2)
            if mnemonic in ("rep", "repz", "repnz", "lock", "data16", "addr16") and operands:
                mnemonic, _, operands = operands.partition(" ")
            if SSE_OPERAND.search(operands) or mnemonic in SSE_MNEMONICS:
                bucket = permitted if allowed_re and allowed_re.search(function) else offending
                bucket.setdefault(function, []).append(f"{mnemonic} {operands}".strip())
        if instructions == 0:
            failures.append(f"{module}: no instructions disassembled")
        for function, found in sorted(offending.items()):
            failures.append(f"{module}: {function} uses {len(found)} SSE instruction(s), "
                            f"first: {found[0]}")
        print(f"{module}: {instructions} instructions; SSE only in "
              f"{sorted(permitted) if permitted else 'no function'}")
    return failures


# ---------------------------------------------------------------- describe

def sjis(hex_bytes):
    return bytes.fromhex(hex_bytes).decode("cp932")


EDGE = sjis("B4 AF BC DE")
TRACKS = [("Mode", 2, 3)] + [(f"{EDGE}Lv{i}", 75, 150) for i in range(6)] + \
    [("{ch}-NR0L", 50, 100)] + [(f"{{ch}}-NR{i}", 50, 100) for i in range(1, 5)] + \
    [("{ch}-NR5H", 50, 100), (sjis("93 4B 97 70 93 78") + "%", 200, 200),
     (sjis("8F 63 8C 57 90 94") + "%", 100, 200), (sjis("93 57 8A 4A 92 6C"), 0, 4)]
CHECKS = [sjis("94 BC 95 AA 82 C9 8A D4 88 F8 82 A2 82 C4 8F 88 97 9D"),
          sjis("8A D4 88 F8 82 AD 8E 9E 82 C9 95 BD 8B CF")]


def expected_description(channel):
    lines = [f"filter: Skarvel_{channel}", "information: version 0.02a by Tobren"]
    for i, (label, default, maximum) in enumerate(TRACKS):
        lines.append(f"track {i}: {label.format(ch=channel)} default {default} min 0 "
                     f"max {maximum}")
    lines += [f"check {i}: {label} default 0" for i, label in enumerate(CHECKS)]
    return lines


def check_describe(channel, host):
    result = subprocess.run(host + ["--describe"], capture_output=True)
    if result.returncode != 0:
        return [f"--describe failed ({result.returncode}): {result.stderr.decode(errors='replace')}"]
    # Windows programs end their text lines with CR LF.
    got = result.stdout.decode("utf-8", errors="replace").replace("\r\n", "\n").splitlines()
    want = expected_description(channel)
    failures = [f"line {i + 1}: got {g!r}, expected {w!r}"
                for i, (g, w) in enumerate(zip(got, want)) if g != w]
    if len(got) != len(want):
        failures.append(f"{len(got)} lines, expected {len(want)}")
    print("\n".join(got))
    return failures


# ---------------------------------------------------------------- frames

WIDTH, HEIGHT = 720, 480

# Settings per case: (name, tracks, checks). Every ShiftMode, half width with
# and without pair averaging, and a coefficient display of each pass.
CASES = [
    ("mode0", {0: 0}, {}),
    ("mode1", {0: 1}, {}),
    ("mode2", {}, {}),
    ("mode3", {0: 3}, {}),
    ("mode2-half", {}, {0: 1}),
    ("mode1-half-average", {0: 1}, {0: 1, 1: 1}),
    ("display2", {15: 2}, {}),
    ("display4", {15: 4}, {}),
]


def noisy_frame(seed):
    """A frame with flat areas, ramps, an edge and heavy noise in all fields."""
    rng = random.Random(seed)
    out = bytearray()
    for y in range(HEIGHT):
        for x in range(WIDTH):
            base = 900 if x > WIDTH // 2 else -500 + (y * 7) % 800
            luma = 1200 + ((x ^ y) & 255)
            out += int(luma + rng.gauss(0, 40)).to_bytes(2, "little", signed=True)
            out += int(-base // 2 + rng.gauss(0, 120)).to_bytes(2, "little", signed=True)
            out += int(base + rng.gauss(0, 120)).to_bytes(2, "little", signed=True)
    return bytes(out)


def settings_args(tracks, checks):
    args = []
    for i, v in tracks.items():
        args += ["--track", f"{i}={v}"]
    for i, v in checks.items():
        args += ["--check", f"{i}={v}"]
    return args


def run_host(command, args, source, target, env=None):
    result = subprocess.run(command + ["--size", f"{WIDTH}x{HEIGHT}"] + args + [source, target],
                            capture_output=True, env=env)
    if result.returncode != 0:
        raise RuntimeError(f"{' '.join(command)} failed ({result.returncode}): "
                           f"{result.stderr.decode(errors='replace').strip()}")
    with open(target, "rb") as f:
        return f.read()


def compare(a, b):
    """Differing int16 samples, per field, and the largest difference."""
    a, b = array.array("h", a), array.array("h", b)
    if sys.byteorder != "little":
        a.byteswap()
        b.byteswap()
    fields = [0, 0, 0]
    largest = 0
    for i, (p, q) in enumerate(zip(a, b)):
        if p != q:
            fields[i % 3] += 1
            largest = max(largest, abs(p - q))
    return fields, largest


def check_frames(native, kind, cases, max_differing, host):
    env = dict(os.environ)
    env.pop("SKARVEL_FORCE_CPU_KIND", None)
    if kind is not None:
        env["SKARVEL_FORCE_CPU_KIND"] = str(kind)
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        source = os.path.join(tmp, "noisy.raw")
        noisy = noisy_frame(720480)
        with open(source, "wb") as f:
            f.write(noisy)
        for name, tracks, checks in CASES:
            if cases and name not in cases:
                continue
            args = settings_args(tracks, checks)
            want = run_host(native, args, source, os.path.join(tmp, "native.raw"), env)
            got = run_host(host, args, source, os.path.join(tmp, "platform.raw"))
            if len(got) != len(want):
                failures.append(f"{name}: {len(got)} bytes, native {len(want)}")
                continue
            # Equal frames prove nothing if the filter left them alone.
            changed = sum(compare(want, noisy)[0])
            if changed < WIDTH * HEIGHT // 10:
                failures.append(f"{name}: the host build changed only {changed} samples")
            fields, largest = compare(got, want)
            differing = sum(fields)
            print(f"{name}: {differing} of {WIDTH * HEIGHT * 3} samples differ from the host "
                  f"build's (y {fields[0]}, cb {fields[1]}, cr {fields[2]}), largest {largest}; "
                  f"the filter changed {changed}")
            if differing > max_differing:
                failures.append(f"{name}: {differing} differing samples, at most "
                                f"{max_differing} allowed")
    return failures


# ---------------------------------------------------------------- main

def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="check", required=True)
    p = sub.add_parser("exports")
    p.add_argument("objdump")
    p.add_argument("modules", nargs="+")
    p = sub.add_parser("baseline")
    p.add_argument("objdump")
    p.add_argument("allowed", help="regular expression for the functions that may use SSE")
    p.add_argument("modules", nargs="+")
    p = sub.add_parser("describe")
    p.add_argument("channel", choices=["Cr", "Cb"])
    p.add_argument("host", nargs="+")
    p = sub.add_parser("frames")
    p.add_argument("--native-host", required=True, help="the host build's stand-in host")
    p.add_argument("--native-module", required=True,
                   help="the host build's module with a kernel set that can be forced")
    p.add_argument("--expected-kind-from",
                   help="emulator script that prints the kernel set the platform gets "
                        "(--expected-kind); the host build is forced to it")
    p.add_argument("--cases", default="", help="comma-separated case names (default: all)")
    p.add_argument("--max-differing", type=int, default=0)
    p.add_argument("host", nargs="+")
    args = parser.parse_args()

    if args.check == "exports":
        failures = check_exports(args.objdump, args.modules)
    elif args.check == "baseline":
        failures = check_baseline(args.objdump, args.allowed, args.modules)
    elif args.check == "describe":
        failures = check_describe(args.channel, args.host)
    else:
        kind = None
        if args.expected_kind_from:
            kind = int(subprocess.run([args.expected_kind_from, "--expected-kind"], check=True,
                                      capture_output=True, text=True).stdout)
            print(f"the platform gets kernel set {kind}")
        native = [args.native_host, "--plugin", args.native_module]
        failures = check_frames(native, kind,
                                [c for c in args.cases.split(",") if c], args.max_differing,
                                args.host)
    for f in failures:
        print("FAIL:", f, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
