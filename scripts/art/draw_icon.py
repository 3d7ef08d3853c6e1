#!/usr/bin/python3
"""Draw the larkbell application icon and write res/larkbell.ico.

Motif: a white envelope with a golden bell in front of its lower right
corner.  Sizes of 48 px and up are drawn as vector shapes on an 8x
supersampled canvas and box-filtered down (anti-aliased edges, alpha).
32 and 24 px use a simplified layout snapped to the pixel grid, and 16 px
is hand-placed pixel art, so the small sizes stay crisp instead of being
blurry downscales.

The .ico is written byte by byte with struct because the exact layout of
every image (DIB header, colour part, AND mask) is fixed.

Run from the repository root:  /usr/bin/python3 scripts/art/draw_icon.py
"""
import math
import os
import struct
import sys

from PIL import Image, ImageDraw

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "..", "res", "larkbell.ico")
PREVIEW = "/tmp/larkbell_icon_preview.png"

# (size, bits per pixel, expected bytes of header + colour + mask)
IMAGES = [
    (128, 32, 67624),
    (96, 32, 38056),
    (72, 32, 21640),
    (64, 32, 16936),
    (48, 32, 9640),
    (32, 24, 3240),   # no alpha channel: the AND mask alone makes it transparent
    (24, 32, 2440),
    (16, 32, 1128),
]

SS = 8  # supersampling factor for the vector sizes

# Palette
INK = (38, 44, 72, 255)          # outlines
PAPER = (250, 250, 246, 255)     # envelope body
PAPER_SHADE = (222, 228, 240, 255)   # inside of the flap
FOLD = (176, 186, 208, 255)      # faint lower fold lines
GOLD_LIGHT = (255, 232, 140)
GOLD = (244, 182, 44)
GOLD_DARK = (196, 128, 20)
LIP = (214, 146, 26, 255)
CLAPPER = (120, 72, 24, 255)
SHINE = (255, 248, 214, 255)


# ---------------------------------------------------------------- geometry
# Layouts are in "icon units": 0..1 across the icon, so one layout serves
# several sizes.  Separate layouts exist because a small icon needs
# thicker outlines and a bigger bell to read at all.
FULL = dict(
    env=(0.04, 0.17, 0.80, 0.73), env_r=0.05, flap_y=0.49,
    bell_cx=0.715, bell_top=0.385, dome_r=0.105, body_hw=0.19,
    lip_y=0.835, lip_h=0.07, lip_over=1.12, clapper_r=0.06,
    crown_r=0.042, outline=0.024, folds=True, arcs=True, shine=True,
)
# 48 px: same drawing, but the ringing strokes would only be a smudge
MEDIUM = dict(FULL, arcs=False)
SMALL = dict(
    env=(0.0, 0.16, 0.78, 0.75), env_r=0.0, flap_y=0.50,
    bell_cx=0.705, bell_top=0.36, dome_r=0.13, body_hw=0.22,
    lip_y=0.84, lip_h=0.09, lip_over=1.10, clapper_r=0.075,
    crown_r=0.0, outline=1 / 32, folds=False, arcs=False, shine=False,
)


def scale_pts(pts, k):
    return [(x * k, y * k) for x, y in pts]


def bell_body(L, grow):
    """Polygon of the bell body (dome + flaring sides), grown by `grow`."""
    cx, dome_r, body_hw = L["bell_cx"], L["dome_r"], L["body_hw"]
    dome_cy = L["bell_top"] + dome_r
    y_end = L["lip_y"]
    right = []
    for i in range(33):
        t = i / 32
        # slow start then a flare near the mouth, like a real bell
        hw = dome_r + (body_hw - dome_r) * t ** 2.4
        right.append((cx + hw + grow, dome_cy + (y_end - dome_cy) * t))
    dome = []
    for i in range(1, 32):
        a = math.pi * i / 32
        dome.append((cx + (dome_r + grow) * math.cos(a),
                     dome_cy - (dome_r + grow) * math.sin(a)))
    left = [(2 * cx - x, y) for x, y in right]   # mirrored, top -> bottom
    return list(reversed(right)) + dome + left


def lip_box(L, grow):
    hw = L["body_hw"] * L["lip_over"]
    h = L["lip_h"] / 2
    return (L["bell_cx"] - hw - grow, L["lip_y"] - h - grow,
            L["bell_cx"] + hw + grow, L["lip_y"] + h + grow)


def circle_box(cx, cy, r):
    return (cx - r, cy - r, cx + r, cy + r)


# ---------------------------------------------------------------- painting
def shape_mask(size, draw_fn):
    """An 'L' mask (hard 0/255 edges) drawn by draw_fn(ImageDraw)."""
    m = Image.new("L", (size, size), 0)
    draw_fn(ImageDraw.Draw(m))
    return m


def gold_gradient(size, x0, x1):
    """Horizontal light->gold->dark ramp between x0 and x1 (canvas px)."""
    row = []
    for x in range(size):
        t = min(max((x - x0) / max(x1 - x0, 1), 0.0), 1.0)
        if t < 0.35:
            a, b, u = GOLD_LIGHT, GOLD, t / 0.35
        else:
            a, b, u = GOLD, GOLD_DARK, (t - 0.35) / 0.65
        row.append(tuple(round(a[i] + (b[i] - a[i]) * u) for i in range(3))
                   + (255,))
    strip = Image.new("RGBA", (size, 1))
    strip.putdata(row)
    return strip.resize((size, size), Image.NEAREST)


def snap(v, k):
    """Icon units -> canvas px, on a whole output pixel (crisp straight edges)."""
    return round(v * k / SS) * SS


def draw_envelope(canvas, L, k, ow):
    x0, y0, x1, y1 = [snap(v, k) for v in L["env"]]
    r = L["env_r"] * k
    d = ImageDraw.Draw(canvas)
    d.rounded_rectangle((x0, y0, x1 - 1, y1 - 1), r, fill=INK)
    d.rounded_rectangle((x0 + ow, y0 + ow, x1 - 1 - ow, y1 - 1 - ow),
                        max(r - ow, 0), fill=PAPER)
    mid = ((x0 + x1) / 2, snap(L["flap_y"], k))
    if L["folds"]:
        # faint folds from the bottom corners, drawn before the flap
        fw = max(ow // 2, 1)
        d.line([(x0 + ow, y1 - ow), (mid[0], mid[1] - ow)], fill=FOLD, width=fw)
        d.line([(x1 - ow, y1 - ow), (mid[0], mid[1] - ow)], fill=FOLD, width=fw)
    flap = [(x0 + ow, y0 + ow), mid, (x1 - 1 - ow, y0 + ow)]
    d.polygon(flap, fill=PAPER_SHADE)
    d.line(flap, fill=INK, width=ow, joint="curve")


def draw_bell(canvas, L, k, ow):
    size = canvas.size[0]
    d = ImageDraw.Draw(canvas)
    cx = L["bell_cx"] * k
    # clapper first, so the lip's outline overlaps its top
    cr = L["clapper_r"] * k
    cy = lip_box(L, 0)[3] * k + cr * 0.35
    d.ellipse(circle_box(cx, cy, cr + ow), fill=INK)
    d.ellipse(circle_box(cx, cy, cr), fill=CLAPPER)
    if L["crown_r"]:
        # hanging loop on top of the dome
        rr = L["crown_r"] * k
        ry = L["bell_top"] * k - rr * 0.6
        # a solid knob, not a see-through ring: a hole would punch
        # through the envelope behind it
        d.ellipse(circle_box(cx, ry, rr + ow), fill=INK)
        d.ellipse(circle_box(cx, ry, rr), fill=GOLD_DARK + (255,))
    # dark silhouette (body + lip grown by the outline width) ...
    g = ow / k
    d.polygon(scale_pts(bell_body(L, g), k), fill=INK)
    d.rounded_rectangle([v * k for v in lip_box(L, g)],
                        (L["lip_h"] / 2 + g) * k, fill=INK)
    # ... then the shaded gold body inside it
    body = shape_mask(size, lambda m: m.polygon(
        scale_pts(bell_body(L, 0), k), fill=255))
    left = (L["bell_cx"] - L["body_hw"]) * k
    right = (L["bell_cx"] + L["body_hw"]) * k
    canvas.paste(gold_gradient(size, left, right), (0, 0), body)
    if L["shine"]:
        sx = cx - L["dome_r"] * k * 0.45
        top = (L["bell_top"] + L["dome_r"] * 0.7) * k
        bot = (L["lip_y"] - L["lip_h"]) * k
        w = L["dome_r"] * k * 0.28
        d.rounded_rectangle((sx - w, top, sx + w, bot), w, fill=SHINE)
    lb = [v * k for v in lip_box(L, 0)]
    d.rounded_rectangle(lb, L["lip_h"] / 2 * k, fill=LIP)


def draw_ring_arcs(canvas, L, k, ow):
    """Two short 'ringing' strokes to the upper right of the bell."""
    d = ImageDraw.Draw(canvas)
    cx = L["bell_cx"] * k
    cy = (L["bell_top"] + L["dome_r"] * 1.6) * k
    for r in (0.20 * k, 0.265 * k):
        box = circle_box(cx, cy, r)
        d.arc(box, -62, -28, fill=INK, width=round(ow * 2.6))
        inner = [box[0] + ow * 0.8, box[1] + ow * 0.8,
                 box[2] - ow * 0.8, box[3] - ow * 0.8]
        d.arc(inner, -59, -31, fill=GOLD + (255,), width=round(ow * 1.0))


def render_vector(size, L):
    k = size * SS
    canvas = Image.new("RGBA", (k, k), (0, 0, 0, 0))
    ow = max(round(L["outline"] * size), 1) * SS  # whole output pixels
    draw_envelope(canvas, L, k, ow)
    if L["arcs"]:
        draw_ring_arcs(canvas, L, k, ow)
    draw_bell(canvas, L, k, ow)
    # BOX over an integer factor is an exact average; Pillow premultiplies
    # alpha for RGBA resampling, so edges do not darken.
    return canvas.resize((size, size), Image.BOX)


# Hand-placed 16x16, built from two small pixel maps: an envelope with a
# V flap, and a bell laid over its lower right corner ('.' keeps what is
# underneath).  At this size every pixel matters more than geometry.
TINY_ENVELOPE = (0, 1, """
kkkkkkkkkkkkk
kkssssssssskk
kwkssssssskwk
kwwkssssskwwk
kwwwkssskwwwk
kwwwwkskwwwwk
kwwwwwkwwwwwk
kwwwwwwwwwwwk
kwwwwwwwwwwwk
kwwwwwwwwwwwk
kkkkkkkkkkkkk
""")
TINY_BELL = (8, 5, """
...kk...
..khyk..
.khyyok.
.khyyok.
.khyyok.
khyyyyok
khyyyyok
kllllllk
kkkkkkkk
..kcck..
...kk...
""")
TINY_COLOURS = {
    "k": INK, "w": PAPER, "s": PAPER_SHADE,
    "y": GOLD + (255,), "h": GOLD_LIGHT + (255,), "o": GOLD_DARK + (255,),
    "l": LIP, "c": CLAPPER,
}


def render_tiny():
    img = Image.new("RGBA", (16, 16), (0, 0, 0, 0))
    for left, top, art in (TINY_ENVELOPE, TINY_BELL):
        for dy, row in enumerate(art.strip("\n").split("\n")):
            for dx, ch in enumerate(row):
                if ch != ".":
                    img.putpixel((left + dx, top + dy), TINY_COLOURS[ch])
    return img


def render(size):
    if size == 16:
        return render_tiny()
    if size <= 32:
        img = render_vector(size, SMALL)
        # hard edges at small sizes: alpha is either 0 or 255
        a = img.getchannel("A").point(lambda v: 255 if v >= 128 else 0)
        img.putalpha(a)
        return img
    return render_vector(size, FULL if size >= 64 else MEDIUM)


# ---------------------------------------------------------------- encoding
def row_pad(n):
    return (n + 3) & ~3


def as_stored(img, bpp):
    """What the icon will show: 24 bpp has no alpha, so threshold it."""
    img = img.copy()
    if bpp == 24:
        img.putalpha(img.getchannel("A").point(lambda v: 255 if v >= 128 else 0))
    # fully transparent pixels carry black colour (needed by the AND/XOR
    # rule for 24 bpp, and keeps 32 bpp output tidy and deterministic)
    px = [(r, g, b, a) if a else (0, 0, 0, 0) for r, g, b, a in img.getdata()]
    img.putdata(px)
    return img


def encode_dib(img, bpp):
    w, h = img.size
    px = list(img.getdata())
    colour = bytearray()
    mask = bytearray()
    for y in reversed(range(h)):           # both parts are bottom-up
        row = px[y * w:(y + 1) * w]
        line = bytearray()
        for r, g, b, a in row:
            line += bytes((b, g, r, a)) if bpp == 32 else bytes((b, g, r))
        colour += line + b"\0" * (row_pad(len(line)) - len(line))
        bits = bytearray(row_pad((w + 7) // 8))
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:                      # 1 = transparent
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, bpp, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    return header + bytes(colour) + bytes(mask)


def build_ico(blobs):
    out = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for (size, bpp, _), blob in zip(IMAGES, blobs):
        dim = 0 if size == 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, bpp,
                           len(blob), offset)
        offset += len(blob)
    return out + b"".join(blobs)


# ---------------------------------------------------------------- preview
def checker(w, h, n=8):
    img = Image.new("RGBA", (w, h), (255, 255, 255, 255))
    d = ImageDraw.Draw(img)
    for y in range(0, h, n):
        for x in range(0, w, n):
            if (x // n + y // n) % 2:
                d.rectangle((x, y, x + n - 1, y + n - 1), fill=(200, 200, 200, 255))
    return img


def write_preview(stored):
    """Each size at 1x on three backgrounds, plus 16 and 32 blown up x8."""
    backs = [None, (255, 255, 255, 255), (40, 40, 40, 255), (58, 110, 165, 255)]
    total_w = sum(s + 8 for s, _, _ in IMAGES) + 8
    sheet = Image.new("RGBA", (max(total_w, 8 * 48 + 24), 4 * 136 + 8 * 32 + 16),
                      (120, 120, 120, 255))
    for row, back in enumerate(backs):
        y = 4 + row * 136
        bg = checker(total_w, 132) if back is None else Image.new(
            "RGBA", (total_w, 132), back)
        sheet.paste(bg, (0, y))
        x = 8
        for (s, _, _), img in zip(IMAGES, stored):
            sheet.alpha_composite(img, (x, y + 2))
            x += s + 8
    y = 4 * 136 + 8
    x = 8
    for (s, _, _), img in zip(IMAGES, stored):
        if s in (16, 32):
            big = img.resize((s * 8, s * 8), Image.NEAREST)
            sheet.paste(checker(s * 8, s * 8), (x, y))
            sheet.alpha_composite(big, (x, y))
            x += s * 8 + 16
    sheet.save(PREVIEW)


def main():
    stored = [as_stored(render(s), bpp) for s, bpp, _ in IMAGES]
    blobs = [encode_dib(img, bpp) for img, (_, bpp, _) in zip(stored, IMAGES)]
    for (size, bpp, expect), blob in zip(IMAGES, blobs):
        assert len(blob) == expect, (size, bpp, len(blob), expect)
    with open(OUT, "wb") as f:
        f.write(build_ico(blobs))
    if "--no-preview" not in sys.argv:
        write_preview(stored)


if __name__ == "__main__":
    main()
