"""Make a 720x480 frame with flat areas, an edge and chroma noise, denoise it
with the Cr module through skarvel-host and say what changed."""
import math, os, random, struct, subprocess, sys, tempfile

build = sys.argv[1]
W, H = 720, 480
rng = random.Random(7)
clean, noisy = [], []
for y in range(H):
    for x in range(W):
        c = 900 if x > W // 2 else -500 + int(400 * math.sin(y / 40.0))
        clean.append(c)
        noisy.append(max(-2048, min(2047, c + int(rng.gauss(0, 80)))))

def mse(a, b):
    return sum((p - q) ** 2 for p, q in zip(a, b)) / len(a)

with tempfile.TemporaryDirectory() as tmp:
    src, dst = os.path.join(tmp, "in.raw"), os.path.join(tmp, "out.raw")
    with open(src, "wb") as f:
        f.write(b"".join(struct.pack("<hhh", 0, 0, v) for v in noisy))
    subprocess.run([os.path.join(build, "skarvel-host"), "--plugin",
                    os.path.join(build, "skarvel_cr.so"), "--size", f"{W}x{H}", src, dst], check=True)
    data = open(dst, "rb").read()
    out = [struct.unpack_from("<h", data, 6 * i + 4)[0] for i in range(W * H)]

changed = sum(1 for a, b in zip(noisy, out) if a != b)
psnr = lambda e: 10 * math.log10(4096 ** 2 / e)
print(f"{W}x{H} frame, cr noise sigma 80: {changed} of {W * H} samples changed")
print(f"cr PSNR against clean: noisy {psnr(mse(noisy, clean)):.2f} dB, denoised {psnr(mse(out, clean)):.2f} dB")
