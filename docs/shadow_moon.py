# Writes a synthetic photograph of the Moon with one cone-shaped mountain near the terminator,
# its shadow cast by marching each ground point's ray towards the Sun, as a 24-bit BMP for the
# README's screenshot of the shadow tool; prints the cusps, the summit and the shadow's end.
import math, struct, sys
W, H = 840, 660
R = 315.0
cx, cy = 420.0, 330.0
tilt = math.radians(8)           # cusp axis turned a little from vertical
phase = math.radians(55)         # angle of the Sun from the line of sight
sx, sz = -math.sin(phase), math.cos(phase)   # lit on the left, gibbous
MOON_KM = 1737.4
height = 4.0 / MOON_KM           # summit, in radii
foot_radius = 14.0 / MOON_KM

def unit(a):
    n = math.sqrt(sum(c * c for c in a))
    return tuple(c / n for c in a)

def dot(a, b):
    return sum(p * q for p, q in zip(a, b))

sun = (sx, 0.0, sz)              # in the frame u (towards the lit limb's side), v, z
# The foot: v = 0.2, the Sun 5 degrees high there, on the lit side of the terminator.
v0 = 0.2
lo, hi = -0.9, 0.7
for _ in range(80):
    u0 = (lo + hi) / 2
    z0 = math.sqrt(1 - u0 * u0 - v0 * v0)
    if dot((u0, v0, z0), sun) > math.sin(math.radians(5)):
        lo = u0
    else:
        hi = u0
foot = unit((u0, v0, math.sqrt(1 - u0 * u0 - v0 * v0)))

def relief(p):
    """Height of the cone above the sphere at the direction p (a unit vector)."""
    d = math.acos(max(-1.0, min(1.0, dot(p, foot))))
    return max(0.0, height * (1 - d / foot_radius))

def shadowed(p):
    q0 = tuple(c * (1 + relief(p)) for c in p)
    for k in range(1, 400):
        t = k * 0.0004
        q = tuple(a + t * b for a, b in zip(q0, sun))
        n = math.sqrt(dot(q, q))
        if n - 1 > height:
            return False
        if n - 1 < relief(unit(q)) - 1e-9:
            return True
    return False

def picture(p):
    u, v = p[0], p[1]
    return (cx + R * (u * math.cos(tilt) - v * math.sin(tilt)),
            cy + R * (u * math.sin(tilt) + v * math.cos(tilt)))

fx, fy = picture(foot)
rows = []
for j in range(H):
    row = bytearray()
    for i in range(W):
        x, y = (i - cx) / R, (j - cy) / R
        u = x * math.cos(tilt) + y * math.sin(tilt)
        v = -x * math.sin(tilt) + y * math.cos(tilt)
        r2 = u * u + v * v
        val = 8
        if r2 <= 1:
            p = (u, v, math.sqrt(1 - r2))
            lit = dot(p, sun)
            if abs(i - fx) < 40 and abs(j - fy) < 40 and relief(p) > 0:
                # The cone's flank: its slope tilts the normal away from the foot.
                away = unit(tuple(a - dot(p, foot) * b for a, b in zip(p, foot)))
                slope = height / foot_radius
                normal = unit(tuple(a + slope * b for a, b in zip(p, away)))
                lit = dot(normal, sun)
            if lit > 0 and abs(i - fx) < 40 and abs(j - fy) < 40 and shadowed(p):
                lit = 0
            val = int(min(255, 30 + 210 * lit ** 0.5)) if lit > 0 else 14
        row += bytes((val, val, val))
    row += b"\0" * ((4 - len(row) % 4) % 4)
    rows.append(bytes(row))
data = b"".join(reversed(rows))
hdr = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(data), 2835, 2835, 0, 0)
open(sys.argv[1], "wb").write(hdr + info + data)
for s in (-1, 1):
    x, y = picture((0.0, s * 1.0, 0.0))
    print("cusp", round(x), round(y))
top = tuple(c * (1 + height) for c in foot)
b = dot(top, sun)
t = b - math.sqrt(b * b - (dot(top, top) - 1))
end = tuple(a - t * c for a, c in zip(top, sun))
print("top", *(round(c) for c in picture(top)))
print("end", *(round(c) for c in picture(end)))
