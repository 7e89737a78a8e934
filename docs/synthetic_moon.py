# Writes a synthetic photograph of the Moon (a lit gibbous disc with a few maria and craters) as a
# 24-bit BMP, for the screenshots of the README; prints where its two cusps lie.
import math, random, struct, sys
W, H = 700, 640
R = 250.0
cx, cy = 330.0, 320.0
tilt = math.radians(12)          # cusp axis turned a little from vertical
sun = math.radians(60)           # angle of the sun from the line of sight (phase)
sx, sz = math.sin(sun), math.cos(sun)
random.seed(3)
maria = [(random.uniform(-0.7, 0.7), random.uniform(-0.7, 0.7), random.uniform(0.08, 0.25)) for _ in range(9)]
craters = [(random.uniform(-0.9, 0.9), random.uniform(-0.9, 0.9), random.uniform(0.01, 0.04)) for _ in range(120)]
rows = []
for j in range(H):
    row = bytearray()
    for i in range(W):
        x, y = (i - cx) / R, (j - cy) / R
        # rotate into the frame where the sun lies along +x
        u = x * math.cos(tilt) + y * math.sin(tilt)
        v = -x * math.sin(tilt) + y * math.cos(tilt)
        r2 = u * u + v * v
        val = 8
        if r2 <= 1:
            z = math.sqrt(1 - r2)
            lit = u * sx + z * sz
            if lit > 0:
                albedo = 1.0
                for mx, my, mr in maria:
                    if (x - mx) ** 2 + (y - my) ** 2 < mr * mr:
                        albedo = 0.62
                for kx, ky, kr in craters:
                    d = (x - kx) ** 2 + (y - ky) ** 2
                    if d < kr * kr:
                        albedo *= 0.8 if d > (kr * 0.6) ** 2 else 1.1
                val = int(min(255, 30 + 210 * albedo * (lit ** 0.5)))
            else:
                val = 14
        row += bytes((val, val, val))
    row += b"\0" * ((4 - len(row) % 4) % 4)
    rows.append(bytes(row))
data = b"".join(reversed(rows))
hdr = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(data), 2835, 2835, 0, 0)
open(sys.argv[1], "wb").write(hdr + info + data)
# the cusps: where the terminator meets the limb, along ±v at u = 0 -> rotate back
for s in (-1, 1):
    u, v = 0.0, s * 1.0
    x = u * math.cos(tilt) - v * math.sin(tilt)
    y = u * math.sin(tilt) + v * math.cos(tilt)
    print("cusp", round(cx + x * R), round(cy + y * R))
