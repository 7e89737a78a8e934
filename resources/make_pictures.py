#!/usr/bin/env python3
"""Draws the program's two pictures: the logo tavelin.bmp (46 x 45, 24 bits per pixel) and the
application icon korvalen.xpm (32 x 32, 16 colours, transparent background). Run it from this
folder; the outputs are committed, so the build does not need Python."""
import math
import struct

# --- logo: a crescent Moon over a dark sky disc -------------------------------------------------
W, H = 46, 45
WHITE = (255, 255, 255)
SKY = (24, 32, 96)
RIM = (120, 130, 170)
LIT = (250, 226, 120)
SHADE = (210, 180, 70)
STAR = (255, 250, 210)


def logo_pixel(x, y):
    cx, cy, r = 22.5, 22.0, 21.5
    d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
    if d > r:
        return WHITE  # the key colour: the margin shows the page
    if d > r - 1.2:
        return RIM
    # the lit crescent: inside the Moon's disc, outside the shifted shadow disc
    mx, my, mr = 25.0, 22.0, 15.0
    sx, sy = 31.0, 18.5
    dm = math.hypot(x + 0.5 - mx, y + 0.5 - my)
    ds = math.hypot(x + 0.5 - sx, y + 0.5 - sy)
    if dm <= mr and ds > mr - 1.0:
        return SHADE if dm > mr - 1.5 or ds < mr + 0.5 else LIT
    if (x, y) in ((9, 11), (35, 34), (12, 33), (37, 12), (30, 39)):
        return STAR
    return SKY


def write_bmp(path):
    row = W * 3
    pad = (4 - row % 4) % 4
    size = 54 + (row + pad) * H
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", size, 0, 0, 54))
        f.write(struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, (row + pad) * H, 3780, 3780, 0, 0))
        for y in range(H - 1, -1, -1):  # bottom-up rows, BGR
            for x in range(W):
                r, g, b = logo_pixel(x, y)
                f.write(bytes((b, g, r)))
            f.write(b"\0" * pad)


# --- icon: a mountain grazed by a sunbeam, its shadow on the ground ----------------------------
def icon_rows():
    n = 32
    img = [[" "] * n for _ in range(n)]  # " " is transparent
    apex_x, apex_y, base_y = 19, 9, 27
    left_x, right_x = 8, 30
    for y in range(apex_y, base_y + 1):
        t = (y - apex_y) / (base_y - apex_y)
        x0 = round(apex_x - t * (apex_x - left_x))
        x1 = round(apex_x + t * (right_x - apex_x))
        for x in range(x0, x1 + 1):
            # the left flank, turned away from the Sun, is shaded
            img[y][x] = "d" if x < apex_x - (y - apex_y) * 0.15 else "s"
        img[y][x0] = "k"
    for y in range(28, 32):  # the ground strip
        for x in range(n):
            img[y][x] = "g"
    for x in range(0, 8):  # the shadow: a dotted dark band on the ground left of the mountain
        for y in (28, 29):
            if (x + y) % 2 == 0:
                img[y][x] = "d"
    # the sun mark near the top-right corner and its beam down to the left edge over the summit
    for (x, y) in ((29, 2), (30, 2), (29, 3), (30, 3)):
        img[y][x] = "y"
    sx, sy = 29.0, 3.0
    slope = (apex_y - 1 - sy) / (apex_x - sx)
    for x in range(0, 29):
        y = round(sy + (x - sx) * slope)
        if 0 <= y < n and img[y][x] == " ":
            img[y][x] = "y"
    return ["".join(r) for r in img]


def write_xpm(path):
    colours = {
        " ": "None",
        "s": "#C0C0C0",  # silver
        "d": "#808080",  # dark grey
        "k": "#606060",
        "g": "#808000",  # olive ground
        "y": "#FFFF00",  # yellow
    }
    rows = icon_rows()
    with open(path, "w") as f:
        f.write("/* XPM */\nstatic const char *korvalen[] = {\n")
        f.write('"32 32 %d 1",\n' % len(colours))
        for k, v in colours.items():
            f.write('"%s c %s",\n' % (k, v))
        f.write(",\n".join('"%s"' % r for r in rows))
        f.write("\n};\n")


write_bmp("tavelin.bmp")
write_xpm("korvalen.xpm")
