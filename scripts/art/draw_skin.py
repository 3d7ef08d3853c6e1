#!/usr/bin/python3
"""Draw the default popup skin and write res/larkbell.bmp.

The skin is a strip of FRAMES animation frames side by side, each
FRAME_W x FRAME_H: a golden bell swinging on a bracket in front of an
envelope, with a fixed dark badge where the program prints the number of
new mails.  The bell's swing is a sine over the loop, so the last frame
flows back into the first.

The program makes each frame's window region from every pixel that is
not exactly the key colour (the colour of pixel (0,0)).  So frames are
drawn 4x supersampled, box-filtered down, and then every pixel is either
fully the key colour or fully opaque: edges are hard (the outermost ring
is always a dark outline, never a blend with the key); only interior
detail is anti-aliased.

Run from the repository root:  /usr/bin/python3 scripts/art/draw_skin.py
"""
import math
import os
import struct
import sys

from PIL import Image, ImageDraw

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "..", "res", "larkbell.bmp")
PREVIEW = "/tmp/larkbell_skin_preview.png"

FRAMES = 12
FRAME_W, FRAME_H = 120, 150
SS = 4                      # supersampling factor
KEY = (255, 0, 255)         # transparent colour, used nowhere in the art

# The program draws the mail count inside this box (left, top, right,
# bottom; right/bottom exclusive), so the badge must cover it in every
# frame and stay put.
COUNT_BOX = (85, 86, 106, 100)
BADGE = (80, 81, 111, 105)  # outer edge of the badge, 5 px beyond the box
BADGE_FILL = (40, 40, 60)

# Palette
INK = (26, 28, 44)
PAPER = (248, 246, 238)
PAPER_SHADE = (220, 224, 236)
FOLD = (180, 186, 204)
GOLD_LIGHT = (255, 234, 150)
GOLD = (242, 180, 44)
GOLD_DARK = (186, 120, 18)
LIP = (212, 142, 24)
CLAPPER = (110, 66, 22)
SHINE = (255, 249, 220)
IRON = (78, 84, 108)
BADGE_RING = (214, 160, 40)

# Bell geometry, in frame px relative to the pivot pin (y down, unrotated)
PIVOT = (55, 9)
DOME_TOP, DOME_R = 4, 16
BODY_HW = 27                 # half-width where the body meets the lip
LIP_Y, LIP_H, LIP_HW = 72, 10, 30
CLAPPER_PIVOT, CLAPPER_LEN, CLAPPER_R = 34, 48, 7
OUTLINE = 2

SWING = 14.0                 # degrees either side
CLAPPER_SWING = 8.0          # relative to the bell, degrees
CLAPPER_LAG = math.pi / 2    # the clapper trails the bell by a quarter turn

ENVELOPE = (8, 86, 102, 146)  # left, top, right, bottom (exclusive)


# ---------------------------------------------------------------- helpers
def S(v):
    return v * SS


def box(x0, y0, x1, y1):
    """Frame px box (right/bottom exclusive) -> inclusive supersampled box."""
    return (S(x0), S(y0), S(x1) - 1, S(y1) - 1)


def circle(cx, cy, r):
    return (S(cx - r), S(cy - r), S(cx + r), S(cy + r))


def outlined_rrect(d, b, r, fill, ow=OUTLINE):
    """Rounded rectangle with a dark outline of ow px (inside the box)."""
    x0, y0, x1, y1 = b
    d.rounded_rectangle(box(*b), S(r), fill=INK)
    d.rounded_rectangle(box(x0 + ow, y0 + ow, x1 - ow, y1 - ow),
                        S(max(r - ow, 0)), fill=fill)


def ramp(stops, t):
    """Piecewise linear colour ramp; stops = [(t, colour), ...]."""
    t = min(max(t, 0.0), 1.0)
    for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
        if t <= t1:
            u = (t - t0) / (t1 - t0)
            return tuple(round(a + (b - a) * u) for a, b in zip(c0, c1))
    return stops[-1][1]


def h_gradient(size, x0, x1, stops):
    w, h = size
    strip = Image.new("RGBA", (w, 1))
    strip.putdata([ramp(stops, (x - x0) / (x1 - x0)) + (255,) for x in range(w)])
    return strip.resize((w, h), Image.NEAREST)


# ---------------------------------------------------------------- the bell
def body_polygon(cx, cy, grow):
    """Bell body (dome + flaring sides) around pivot (cx, cy), in SS px."""
    dome_cy = cy + DOME_TOP + DOME_R
    lip = cy + LIP_Y
    right = []
    for i in range(41):
        t = i / 40
        hw = DOME_R + (BODY_HW - DOME_R) * t ** 2.4   # waist, then flare
        right.append((cx + hw + grow, dome_cy + (lip - dome_cy) * t))
    dome = [(cx + (DOME_R + grow) * math.cos(math.pi * i / 40),
             dome_cy - (DOME_R + grow) * math.sin(math.pi * i / 40))
            for i in range(1, 40)]
    left = [(2 * cx - x, y) for x, y in right]
    return [(S(x), S(y)) for x, y in list(reversed(right)) + dome + left]


def clapper_layer(size, rel_deg):
    """The clapper on its own layer, swung rel_deg about its pivot."""
    layer = Image.new("RGBA", size, (0, 0, 0, 0))
    d = ImageDraw.Draw(layer)
    px, py = PIVOT
    ball_y = py + CLAPPER_PIVOT + CLAPPER_LEN
    d.ellipse(circle(px, ball_y, CLAPPER_R + OUTLINE), fill=INK)
    d.ellipse(circle(px, ball_y, CLAPPER_R), fill=CLAPPER)
    d.ellipse(circle(px - 2, ball_y - 2, 2), fill=(160, 108, 52))
    return layer.rotate(rel_deg, Image.BICUBIC,
                        center=(S(px), S(py + CLAPPER_PIVOT)))


def bell_layer(size, rel_deg):
    """The whole bell, upright, hanging from PIVOT (supersampled)."""
    px, py = PIVOT
    layer = clapper_layer(size, rel_deg)
    d = ImageDraw.Draw(layer)
    # hanging loop, partly hidden behind the dome
    d.ellipse(circle(px, py, 7), fill=INK)
    d.ellipse(circle(px, py, 5), fill=GOLD_DARK)
    # dark silhouette first, then the shaded metal inside it
    d.polygon(body_polygon(px, py, OUTLINE), fill=INK)
    d.rounded_rectangle(box(px - LIP_HW - OUTLINE, py + LIP_Y - LIP_H // 2 - OUTLINE,
                            px + LIP_HW + OUTLINE, py + LIP_Y + LIP_H // 2 + OUTLINE),
                        S(LIP_H // 2 + OUTLINE), fill=INK)
    body = Image.new("L", size, 0)
    ImageDraw.Draw(body).polygon(body_polygon(px, py, 0), fill=255)
    stops = [(0.0, GOLD_LIGHT), (0.32, GOLD), (1.0, GOLD_DARK)]
    layer.paste(h_gradient(size, S(px - BODY_HW), S(px + BODY_HW), stops),
                (0, 0), body)
    # a decorative rib above the lip and a soft shine stripe
    rib_y = py + LIP_Y - 12
    d.line([(S(px - 22), S(rib_y)), (S(px + 22), S(rib_y))],
           fill=GOLD_DARK, width=S(2))
    d.rounded_rectangle(box(px - 11, py + DOME_TOP + 9, px - 7, rib_y - 4),
                        S(2), fill=SHINE)
    d.rounded_rectangle(box(px - LIP_HW, py + LIP_Y - LIP_H // 2,
                            px + LIP_HW, py + LIP_Y + LIP_H // 2),
                        S(LIP_H // 2), fill=LIP)
    d.line([(S(px - LIP_HW + 4), S(py + LIP_Y - 2)),
            (S(px + LIP_HW - 4), S(py + LIP_Y - 2))], fill=GOLD_LIGHT, width=S(1))
    return layer


# ---------------------------------------------------------------- the rest
def draw_envelope(d):
    x0, y0, x1, y1 = ENVELOPE
    outlined_rrect(d, ENVELOPE, 4, PAPER)
    mid = (S((x0 + x1) / 2), S(y0 + 34))
    inner = OUTLINE
    # faint folds from the bottom corners, then the shaded flap over them
    for x in (x0 + inner + 1, x1 - inner - 1):
        d.line([(S(x), S(y1 - inner - 1)), (mid[0], mid[1] - S(3))],
               fill=FOLD, width=S(1))
    flap = [(S(x0 + inner), S(y0 + inner)), mid, (S(x1 - inner), S(y0 + inner))]
    d.polygon(flap, fill=PAPER_SHADE)
    d.line(flap, fill=INK, width=S(OUTLINE), joint="curve")


def draw_bracket(d):
    """Fixed iron bar the bell hangs from, with the pivot pin on it."""
    px, py = PIVOT
    outlined_rrect(d, (px - 18, 1, px + 19, 8), 3, IRON)
    d.ellipse(circle(px, py, 3), fill=INK)
    d.ellipse(circle(px, py, 1.5), fill=IRON)


def draw_ring_strokes(d, side, count):
    """Short curved 'ding' strokes beside the dome, on the swing side."""
    px, py = PIVOT
    cy = py + DOME_TOP + DOME_R
    a0, a1 = (-22, 22) if side > 0 else (158, 202)  # clockwise from +x
    for r in (40, 48)[:count]:
        # a dark stroke with a thinner gold core, so the edge stays dark;
        # Pillow grows an arc's width inward from its box, hence r + w/2
        for width, colour, trim in ((7, INK, 0), (3, GOLD, 2.5)):
            d.arc(circle(px, cy, r + width / 2), a0 + trim, a1 - trim,
                  fill=colour, width=S(width))


def draw_badge(d):
    outlined_rrect(d, BADGE, 7, BADGE_RING, ow=1)
    x0, y0, x1, y1 = BADGE
    d.rounded_rectangle(box(x0 + 2, y0 + 2, x1 - 2, y1 - 2), S(5), fill=BADGE_FILL)


def draw_frame(i):
    size = (S(FRAME_W), S(FRAME_H))
    phase = 2 * math.pi * i / FRAMES
    swing = SWING * math.sin(phase)
    rel = CLAPPER_SWING * math.sin(phase - CLAPPER_LAG)

    img = Image.new("RGBA", size, (0, 0, 0, 0))
    draw_envelope(ImageDraw.Draw(img))
    bell = bell_layer(size, rel).rotate(swing, Image.BICUBIC,
                                        center=(S(PIVOT[0]), S(PIVOT[1])))
    img.alpha_composite(bell)
    d = ImageDraw.Draw(img)
    draw_bracket(d)
    s = math.sin(phase)
    if abs(s) > 0.8:   # near the ends of the swing: the bell rings
        draw_ring_strokes(d, 1 if s > 0 else -1, 2 if abs(s) > 0.99 else 1)
    draw_badge(d)
    return harden(img.resize((FRAME_W, FRAME_H), Image.BOX))


def harden(img):
    """RGBA -> RGB where each pixel is either KEY or fully opaque.

    Pillow unpremultiplies after the box filter, so an edge pixel keeps
    the colour of the shape (the dark outline), not a mix with the key.
    """
    out = []
    for r, g, b, a in img.getdata():
        if a >= 128:
            # the key must only ever mean "outside the window"
            assert (r, g, b) != KEY
            out.append((r, g, b))
        else:
            out.append(KEY)
    hard = Image.new("RGB", img.size)
    hard.putdata(out)
    return hard


# ---------------------------------------------------------------- output
def bmp_bytes(img):
    w, h = img.size
    px = img.tobytes()                      # RGB, top-down
    stride = (w * 3 + 3) & ~3
    rows = []
    for y in reversed(range(h)):            # BMP rows are bottom-up, BGR
        line = bytearray(px[y * w * 3:(y + 1) * w * 3])
        line[0::3], line[2::3] = line[2::3], line[0::3]
        rows.append(bytes(line) + b"\0" * (stride - w * 3))
    bits = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(bits),
                       3780, 3780, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(bits), 0, 0, 54)
    return head + info + bits


def check(strip, frames):
    assert strip.getpixel((0, 0)) == KEY
    x0, y0, x1, y1 = COUNT_BOX
    for i, f in enumerate(frames):
        assert f.getpixel((0, 0)) == KEY, i
        for y in range(y0, y1):
            for x in range(x0, x1):
                assert f.getpixel((x, y)) == BADGE_FILL, (i, x, y)


def write_preview(frames):
    """3x preview, 4 frames a row, with the key shown as grey."""
    cols = 4
    rows = (len(frames) + cols - 1) // cols
    sheet = Image.new("RGB", (cols * (FRAME_W * 3 + 6), rows * (FRAME_H * 3 + 6)),
                      (60, 60, 60))
    for i, f in enumerate(frames):
        shown = Image.new("RGB", f.size, (150, 160, 170))
        region = Image.new("L", f.size)
        region.putdata([0 if p == KEY else 255 for p in f.getdata()])
        shown.paste(f, (0, 0), region)
        shown = shown.resize((FRAME_W * 3, FRAME_H * 3), Image.NEAREST)
        sheet.paste(shown, ((i % cols) * (FRAME_W * 3 + 6), (i // cols) * (FRAME_H * 3 + 6)))
    sheet.save(PREVIEW)


def main():
    frames = [draw_frame(i) for i in range(FRAMES)]
    strip = Image.new("RGB", (FRAME_W * FRAMES, FRAME_H), KEY)
    for i, f in enumerate(frames):
        strip.paste(f, (i * FRAME_W, 0))
    check(strip, frames)
    data = bmp_bytes(strip)
    assert len(data) == 54 + ((FRAME_W * FRAMES * 3 + 3) & ~3) * FRAME_H
    with open(OUT, "wb") as f:
        f.write(data)
    if "--no-preview" not in sys.argv:
        write_preview(frames)


if __name__ == "__main__":
    main()
