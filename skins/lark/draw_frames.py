#!/usr/bin/python3
"""Draw the frames of the "lark" skin into skins/lark/frames/NN.png.

A crested lark flaps its wings while it carries a letter in its claws.
The letter stays put and bears a dark wax-seal badge where the notifier
prints the number of new mails; the bird bobs a little against each wing
beat.  The wing beat is one sine over the loop, so the last frame flows
back into the first.

Frames are RGBA PNGs: outside the art they are fully transparent, and
every other pixel is fully opaque.  Shapes are drawn 4x supersampled and
box-filtered down, then each pixel is made either fully transparent or
fully opaque, so edges are hard: the outermost ring is always the dark
outline, never a blend with the background.  tools/makeskin turns the
transparent pixels into the key colour and joins the frames into the strip:

    /usr/bin/python3 skins/lark/draw_frames.py
    tools/makeskin --text-box 52,86,76,102 skins/lark/frames skins/lark/larkbell.bmp \\
        > skins/lark/settings.ini

The output is the same, byte for byte, on every run.  Pass --preview to
also write a 3x preview sheet to /tmp/lark_skin_preview.png.
"""
import math
import os
import sys

from PIL import Image, ImageDraw

HERE = os.path.dirname(os.path.abspath(__file__))
OUT_DIR = os.path.join(HERE, "frames")
PREVIEW = "/tmp/lark_skin_preview.png"

FRAMES = 12
FRAME_W, FRAME_H = 128, 120
SS = 4  # supersampling factor

# The count is printed centred in this box (right/bottom exclusive); the
# badge covers it, 5 px beyond, in every frame and never moves.
COUNT_BOX = (52, 86, 76, 102)
BADGE = (47, 81, 81, 107)

# Palette
INK = (34, 26, 22)
PAPER = (250, 246, 234)
PAPER_SHADE = (226, 232, 242)
FOLD = (186, 192, 206)
STAMP = (92, 150, 196)
STAMP_LIGHT = (176, 210, 232)
SEAL = (178, 44, 40)
SEAL_LIGHT = (214, 84, 70)
BADGE_FILL = (40, 40, 60)
BACK = (150, 108, 68)
BACK_DARK = (112, 78, 48)
BELLY = (238, 220, 184)
STREAK = (128, 92, 58)
WING = (128, 90, 56)
WING_LIGHT = (176, 134, 90)
FEATHER = (86, 60, 38)
BEAK = (214, 164, 84)
LEG = (176, 116, 62)
EYE_SHINE = (255, 255, 255)
OUTLINE = 2

ENVELOPE = (10, 62, 118, 116)  # left, top, right, bottom (exclusive)

BODY_C = (62, 40)  # body centre at rest
BODY_RX, BODY_RY = 22, 11
HEAD_C = (88, 30)
HEAD_R = 10
SHOULDER = (60, 36)
WING_LEN = 36
WING_UP, WING_DOWN = -64.0, 46.0  # degrees from horizontal-left, y down
BOB = 2.0  # px the body rises as the wings beat down


# ---------------------------------------------------------------- helpers
def S(v):
    return v * SS


def box(x0, y0, x1, y1):
    """Frame px box (right/bottom exclusive) -> inclusive supersampled box."""
    return (S(x0), S(y0), S(x1) - 1, S(y1) - 1)


def ellipse(cx, cy, rx, ry):
    return (S(cx - rx), S(cy - ry), S(cx + rx), S(cy + ry))


def outlined_ellipse(d, cx, cy, rx, ry, fill, ow=OUTLINE):
    d.ellipse(ellipse(cx, cy, rx + ow, ry + ow), fill=INK)
    d.ellipse(ellipse(cx, cy, rx, ry), fill=fill)


def outlined_rrect(d, b, r, fill, ow=OUTLINE):
    x0, y0, x1, y1 = b
    d.rounded_rectangle(box(*b), S(r), fill=INK)
    d.rounded_rectangle(box(x0 + ow, y0 + ow, x1 - ow, y1 - ow), S(max(r - ow, 0)), fill=fill)


def pts(points):
    return [(S(x), S(y)) for x, y in points]


def grow(points, centre, by):
    """Push a convex outline outward from `centre` by `by` px."""
    cx, cy = centre
    out = []
    for x, y in points:
        dx, dy = x - cx, y - cy
        n = math.hypot(dx, dy) or 1.0
        out.append((x + dx / n * by, y + dy / n * by))
    return out


# ---------------------------------------------------------------- letter
def draw_letter(d):
    x0, y0, x1, y1 = ENVELOPE
    outlined_rrect(d, ENVELOPE, 4, PAPER)
    mid = ((x0 + x1) / 2, y0 + 30)
    inner = OUTLINE
    for x in (x0 + inner + 1, x1 - inner - 1):
        d.line(pts([(x, y1 - inner - 1), (mid[0], mid[1] - 3)]), fill=FOLD, width=S(1))
    flap = [(x0 + inner, y0 + inner), mid, (x1 - inner, y0 + inner)]
    d.polygon(pts(flap), fill=PAPER_SHADE)
    d.line(pts(flap), fill=INK, width=S(OUTLINE), joint="curve")
    # a small stamp in the corner
    outlined_rrect(d, (x1 - 22, y1 - 20, x1 - 7, y1 - 6), 2, STAMP, ow=1)
    d.rectangle(box(x1 - 19, y1 - 17, x1 - 10, y1 - 9), fill=STAMP_LIGHT)


def draw_badge(d):
    """A wax seal: red ring, dark centre where the count goes."""
    x0, y0, x1, y1 = BADGE
    outlined_rrect(d, (x0 - 3, y0 - 3, x1 + 3, y1 + 3), 11, SEAL, ow=1)
    d.arc(box(x0 - 2, y0 - 2, x1 + 2, y1 + 2), 200, 250, fill=SEAL_LIGHT, width=S(1))
    outlined_rrect(d, BADGE, 8, BADGE_FILL, ow=1)


# ---------------------------------------------------------------- the lark
def wing_outline(angle_deg, spread):
    """A pointed wing from the shoulder, swept back, rotated to angle_deg.

    spread < 1 foreshortens the wing at the top and bottom of the beat.
    """
    sx, sy = SHOULDER
    length = WING_LEN * spread
    # the wing at rest points back (to the left) and a little up
    shape = [(0, -4), (-length * 0.35, -9), (-length * 0.75, -8), (-length, -3),
             (-length * 0.85, 1), (-length * 0.55, 5), (-length * 0.2, 7), (4, 5)]
    a = math.radians(angle_deg)
    ca, sa = math.cos(a), math.sin(a)
    # positive angles turn the tip down (y grows downward)
    return [(sx + x * ca + y * sa, sy - x * sa + y * ca) for x, y in shape]


def draw_wing(d, angle_deg, spread, near):
    outline = wing_outline(angle_deg, spread)
    fill = WING_LIGHT if near else WING
    d.polygon(pts(grow(outline, SHOULDER, OUTLINE)), fill=INK)
    d.polygon(pts(outline), fill=fill)
    # feather lines: from the shoulder towards the trailing edge
    sx, sy = SHOULDER
    for k in (0.45, 0.65, 0.85):
        tip = outline[int(round(k * 3)) + 3]
        d.line(pts([(sx + (tip[0] - sx) * 0.35, sy + (tip[1] - sy) * 0.35),
                    (sx + (tip[0] - sx) * 0.9, sy + (tip[1] - sy) * 0.9)]),
               fill=FEATHER, width=S(1))


def draw_tail(d, bob):
    bx, by = BODY_C
    tail = [(bx - 14, by - 4 + bob), (bx - 36, by - 8 + bob), (bx - 38, by - 2 + bob),
            (bx - 34, by + 4 + bob), (bx - 14, by + 6 + bob)]
    d.polygon(pts(grow(tail, (bx - 24, by + bob), OUTLINE)), fill=INK)
    d.polygon(pts(tail), fill=BACK_DARK)
    d.line(pts([(bx - 16, by + 1 + bob), (bx - 34, by - 2 + bob)]), fill=BACK, width=S(1))


def draw_legs(d, bob):
    _, ey, _, _ = ENVELOPE
    for x in (56, 68):
        top = BODY_C[1] + BODY_RY - 2 + bob
        d.line(pts([(x, top), (x + 1, ey + 1)]), fill=INK, width=S(4))
        d.line(pts([(x, top), (x + 1, ey)]), fill=LEG, width=S(2))
        # claws over the letter's edge
        d.line(pts([(x - 3, ey + 3), (x + 1, ey), (x + 5, ey + 3)]), fill=INK, width=S(2), joint="curve")


def draw_body(d, bob):
    bx, by = BODY_C
    by += bob
    outlined_ellipse(d, bx, by, BODY_RX, BODY_RY, BACK)
    d.chord(ellipse(bx + 2, by + 1, BODY_RX - 3, BODY_RY - 2), 10, 170, fill=BELLY)
    for dx in (-4, 3, 10):
        d.line(pts([(bx + dx, by + 4), (bx + dx - 2, by + 7)]), fill=STREAK, width=S(1))
    hx, hy = HEAD_C
    hy += bob
    # crest: a few dark feathers standing up behind the crown
    crest = [(hx - 6, hy - 7), (hx - 12, hy - 17), (hx - 2, hy - 10), (hx - 4, hy - 18), (hx + 2, hy - 9)]
    d.polygon(pts(grow(crest, (hx - 4, hy - 10), OUTLINE)), fill=INK)
    d.polygon(pts(crest), fill=BACK_DARK)
    outlined_ellipse(d, hx, hy, HEAD_R, HEAD_R - 1, BACK)
    d.chord(ellipse(hx + 1, hy + 2, HEAD_R - 3, HEAD_R - 4), 0, 180, fill=BELLY)
    # beak
    beak = [(hx + 8, hy - 3), (hx + 19, hy + 1), (hx + 8, hy + 4)]
    d.polygon(pts(grow(beak, (hx + 11, hy + 1), OUTLINE)), fill=INK)
    d.polygon(pts(beak), fill=BEAK)
    # eye with a glint, and a pale stripe above it
    d.line(pts([(hx - 4, hy - 5), (hx + 6, hy - 5)]), fill=BELLY, width=S(2))
    d.ellipse(ellipse(hx + 3, hy - 1, 2.4, 2.4), fill=INK)
    d.ellipse(ellipse(hx + 3.8, hy - 1.8, 0.8, 0.8), fill=EYE_SHINE)


def draw_frame(i):
    size = (S(FRAME_W), S(FRAME_H))
    phase = 2 * math.pi * i / FRAMES
    beat = math.sin(phase)  # -1: wings up, +1: wings down
    angle = (WING_UP + WING_DOWN) / 2 + beat * (WING_DOWN - WING_UP) / 2
    spread = 0.8 + 0.1 * (1 + math.cos(phase))  # open on the down stroke, tucked going up
    bob = -BOB * beat  # the body lifts on the down stroke

    img = Image.new("RGBA", size, (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    draw_letter(d)
    draw_wing(d, angle - 10, spread * 0.9, near=False)
    draw_tail(d, bob)
    draw_legs(d, bob)
    draw_body(d, bob)
    draw_wing(d, angle, spread, near=True)
    draw_badge(d)  # last, so nothing ever covers the count
    return harden(img.resize((FRAME_W, FRAME_H), Image.BOX))


def harden(img):
    """Every pixel fully transparent or fully opaque.

    Pillow unpremultiplies after the box filter, so an edge pixel keeps
    the colour of the shape (the dark outline), not a blend with nothing.
    """
    out = [(r, g, b, 255) if a >= 128 else (0, 0, 0, 0) for r, g, b, a in img.getdata()]
    hard = Image.new("RGBA", img.size)
    hard.putdata(out)
    return hard


def check(frames):
    x0, y0, x1, y1 = COUNT_BOX
    for i, f in enumerate(frames):
        assert f.getpixel((0, 0))[3] == 0, i
        for y in range(y0, y1):
            for x in range(x0, x1):
                assert f.getpixel((x, y)) == BADGE_FILL + (255,), (i, x, y)


def write_preview(frames):
    """3x preview, 4 frames a row, transparency shown as grey."""
    cols = 4
    rows = (len(frames) + cols - 1) // cols
    sheet = Image.new("RGB", (cols * (FRAME_W * 3 + 6), rows * (FRAME_H * 3 + 6)), (60, 60, 60))
    for i, f in enumerate(frames):
        shown = Image.new("RGB", f.size, (150, 160, 170))
        shown.paste(f, (0, 0), f)
        shown = shown.resize((FRAME_W * 3, FRAME_H * 3), Image.NEAREST)
        sheet.paste(shown, ((i % cols) * (FRAME_W * 3 + 6), (i // cols) * (FRAME_H * 3 + 6)))
    sheet.save(PREVIEW)


def main():
    frames = [draw_frame(i) for i in range(FRAMES)]
    check(frames)
    os.makedirs(OUT_DIR, exist_ok=True)
    for name in os.listdir(OUT_DIR):
        if name.endswith(".png"):
            os.remove(os.path.join(OUT_DIR, name))
    for i, f in enumerate(frames):
        f.save(os.path.join(OUT_DIR, "%02d.png" % (i + 1)), optimize=True)
    if "--preview" in sys.argv:
        write_preview(frames)


if __name__ == "__main__":
    main()
