# The running popup: its shape frame by frame against the skin's pixels, every
# bitmap format, frame geometry, skins that cannot be used, place and alpha,
# the off-screen guard, the animation's pace, the count it draws, its place
# above other top-most windows, and the GDI objects its ticks give back.
import os
import random
import subprocess
import tempfile
import unittest

from PIL import Image

from rig import BIN, KEY, PROBE, run, Scenario, Titled, in_turn, counter, ctl, probe, screen, shape_hash, strip_of, wait_for, windows

BODY, EDGE = (0, 64, 128), (248, 200, 16)
LOAD_FAILED, DATA_ERROR = "受信アニメBmpのロードに失敗しました", "BMPデータエラーが発生しました"


def shapes(frames, width, height=50, extra=0, body=BODY, edge=EDGE, key=KEY):
    """Frame i: a body growing with i, a key hole, a block apart (two runs a row), a bar on the right edge."""
    def draw(pen, x0, i):
        pen.rectangle([x0 + 2, 3, x0 + 13 + i, 11 + i], body)
        pen.rectangle([x0 + 5, 5, x0 + 7, 7], key)
        pen.rectangle([x0 + 20 + i % 4, 20, x0 + 25 + i % 4, 23 + i % 3], edge)
        pen.rectangle([x0 + width - 2, 30, x0 + width - 1, 39], body)
    strip = strip_of(frames, width, height, draw, key)
    return strip.crop((0, 0, strip.width + extra, height)) if extra else strip


def hashes(strip, width, frames):
    return [shape_hash(strip, i, width) for i in range(frames)]


class Popup(Scenario):
    def shown(self, skin, settings, width, frames, changes, ms=15000, fmt=None):
        """Starts a rig on the skin (saved through fmt, a path to a BMP writer) and gives the frames seen."""
        rig = self.rig(skin=None, settings=settings)
        if fmt:
            fmt(skin, rig.path("bmp"))
        else:
            skin.save(rig.path("bmp"))
        loaded = Image.open(rig.path("bmp"))
        rig.start()
        return rig, rig.frames_seen(hashes(loaded, width, frames), ms, changes)

    def test_window_takes_each_frames_exact_shape_in_turn(self):
        strip = shapes(4, 60)
        pen_pixels = strip.load()
        for x, c in ((30, (254, 0, 255)), (33, (255, 1, 255)), (36, (255, 0, 254))):
            pen_pixels[x, 45] = c  # one unit off the key: opaque
        for y in range(30, 40):  # frame 1's left bar touches frame 0's right bar
            pen_pixels[60, y] = pen_pixels[61, y] = BODY
        for x in range(120, 180):  # frame 2: nothing but the key
            for y in range(50):
                pen_pixels[x, y] = KEY
        _, seen = self.shown(strip, {"bmpwidth": 60, "interval": 250}, 60, 4, 8)
        self.assertEqual(seen, in_turn(seen[0], 4, 9))

    def test_every_bitmap_format_gives_the_same_shapes(self):
        three = shapes(2, 60)
        mono = shapes(2, 60, body=(0, 0, 0), edge=(0, 0, 0), key=(255, 255, 255))  # white is the key here
        def magick(*options):
            return lambda picture, path: subprocess.run(["convert", "png:-", *options[:-1], options[-1] + path], check=True,
                                                        input=_png(picture))
        formats = {  # ImageMagick picks the smallest depth that holds the colours: the strips have two and three
            "1-bit": (mono, magick("-type", "bilevel", "BMP3:")), "4-bit": (three, magick("-type", "palette", "BMP3:")),
            "8-bit": (three, lambda p, path: p.convert("P", palette=Image.ADAPTIVE).save(path)),
            "16-bit": (three, magick("-define", "bmp:subtype=RGB555", "BMP:")), "24-bit": (three, None),
            "32-bit": (three, lambda p, path: p.convert("RGBA").save(path)),
            "RLE8": (three, magick("-type", "palette", "-compress", "RLE", "BMP3:")),
        }
        for name, (picture, writer) in formats.items():
            with self.subTest(format=name):
                rig, seen = self.shown(picture, {"bmpwidth": 60, "interval": 200}, 60, 2, 2, fmt=writer)
                self.assertEqual(seen, in_turn(seen[0], 2, 3))

    def test_frames_are_whole_frames_of_the_set_width_and_at_most_thirty(self):
        strip = shapes(2, 120, extra=10)
        strip.paste(BODY, (240, 0, 250, 50))
        _, seen = self.shown(strip, {"bmpwidth": 120, "interval": 150}, 120, 2, 4)
        self.assertEqual(seen, in_turn(seen[0], 2, 5))
        rig, seen = self.shown(strip, {"bmpwidth": 0, "interval": 100}, 250, 1, 1, ms=1500)
        self.assertEqual(seen, [0], "one frame as wide as the strip, never changing")
        _, seen = self.shown(shapes(35, 60), {"bmpwidth": 60, "interval": 60}, 60, 35, 45)
        self.assertEqual(sorted(set(seen)), list(range(30)))
        self.assertEqual(seen, in_turn(seen[0], 30, 46))

    def test_random_and_extreme_strips_give_their_exact_pixels(self):
        rng = random.Random(7)
        def noise(width, frames, height, density, key=KEY):
            strip = Image.new("RGB", (width * frames + rng.randrange(5), height), key)
            pixels = strip.load()
            for y in range(height):
                for x in range(strip.width):
                    if (x or y) and rng.random() < density:
                        pixels[x, y] = tuple(k ^ rng.choice((1, 128, 255)) for k in key)
            return strip
        cases = [(noise(37, 3, 41, d), 37, 3) for d in (0.05, 0.5, 0.95)] + [
            (noise(50, 2, 50, 0.5, (0, 0, 0)), 50, 2), (noise(3, 2, 300, 0.5), 3, 2), (noise(700, 2, 3, 0.5), 700, 2),
            (noise(1, 8, 9, 0.5), 1, 8), (noise(9, 3, 9, 0.9), 9, 3)]
        for strip, width, _ in cases:
            frames = min(30, strip.width // width)  # the columns beyond may make whole frames too
            with self.subTest(width=width, frames=frames, height=strip.height):
                rig, seen = self.shown(strip, {"bmpwidth": width, "interval": 60}, width, frames, frames)
                self.assertEqual(seen, in_turn(seen[0], frames, frames + 1))
        # The bundled skin: every shape the window takes is one of its frames.
        rig = self.rig()
        rig.start()
        bundled = hashes(Image.open(rig.path("bmp")), 120, 12)
        seen = rig.frames_seen(bundled, 15000, 24)
        self.assertNotIn(-1, seen)
        self.assertEqual(set(seen), {bundled.index(h) for h in bundled})

    def test_skin_that_cannot_be_used_shows_one_message_and_ends(self):
        marker = f"lbt-skin-marker-{os.getpid()}"
        cases = [  # what, skin, bmpwidth, message, settings read (the close then restores the marked window)
            ("missing", None, 500, LOAD_FAILED, False), ("not a bitmap", b"this is not a bitmap\r\n", 500, LOAD_FAILED, False),
            ("no whole frame", shapes(2, 125), 500, DATA_ERROR, True), ("negative width", shapes(2, 125), -5, DATA_ERROR, True)]
        for what, skin, width, message, read in cases:
            with self.subTest(what):
                titled = Titled(self, [("minimised", marker)])
                rig = self.rig(skin=skin, settings={"activate": 1, "windowname": marker, "bmpwidth": width})
                before = rig.read()
                notifier = rig.launch()
                texts = []
                def answer():
                    for box in windows():
                        statics = [c["text"] for c in box["children"] if c["class"].lower() == "static"]
                        if any(statics):  # a message box; answered, it may be gone before the post
                            texts.append(statics)
                            run(PROBE, "post", box["hwnd"], 0x111, 1)
                    return not notifier.running()
                wait_for(answer, 30, "the message boxes to be answered and the process to end")
                self.assertEqual([t for i, t in enumerate(texts) if t not in texts[:i]], [["", message]])
                self.assertEqual(rig.read(), before)
                self.assertEqual(titled.settled()[0]["restores"], int(read))

    def test_place_alpha_and_top_most_follow_the_settings_and_the_off_screen_guard(self):
        cases = [  # exe, settings, place, alpha
            ("larkbell.exe", {"posx": 210, "posy": 130, "trans": 255}, (210, 130), 255),
            ("larkbell.exe", {"posx": -40, "posy": 25, "trans": 256}, (-40, 25), 0),
            ("larkbell.exe", {"posx": 300, "posy": 200, "trans": 300}, (300, 200), 44),
            ("larkbell.exe", {}, (0, 0), 200),
            ("larkbell.exe", {"posx": 5000, "posy": -3000}, (0, 0), 200),  # on no monitor: the work area's corner
            ("popup.beta.exe", {"posx": 123, "posy": 77}, (123, 77), 200),  # not popup.ini
        ]
        for exe, settings, place, alpha in cases:
            with self.subTest(exe=exe, settings=settings):
                # No tick in the test's time: the first frame stays on show.
                rig = self.rig(exe, skin=shapes(2, 60), settings=dict(bmpwidth=60, interval=60000, **settings))
                rig.write("popup.ini", "[setting]\r\nposx=400\r\nposy=300\r\n")
                before = rig.read()
                popup = rig.start()
                # Never anywhere else, from the first look through the top-most upkeep a second on.
                self.assertEqual({(x, y) for _, _, x, y in rig.watch(1300)}, {place})
                self.assertEqual((popup["alpha"], popup["lwa"]), (alpha, 2))
                wait_for(lambda: rig.facts()["ex"] & 8, what="top-most")  # the upkeep drops it for a moment
                self.assertEqual(popup["shape"], shape_hash(shapes(2, 60), 0, 60))
                self.assertEqual(rig.read(), before)

    def test_interval_zero_steps_once_a_second(self):
        # Timers never fire early: a one-second period gives at most 4 changes in 3 s; 50 ms far more.
        strip = shapes(30, 60)
        for interval in (0, 50):
            rig = self.rig(skin=strip, settings={"bmpwidth": 60, "interval": interval})
            rig.start()
            changes = len(rig.watch(3000)) - 1
            if interval:
                self.assertGreater(changes, 4)
            else:
                self.assertLessEqual(changes, 4)
                seen = rig.frames_seen(hashes(strip, 60, 30), 15000, 2)
                self.assertEqual(seen, in_turn(seen[0], 30, 3))

    def test_count_is_drawn_in_its_box_and_follows_the_counter(self):
        frame = Image.new("RGB", (100, 80), BODY)
        frame.putpixel((0, 0), KEY)
        frame.putpixel((99, 79), KEY)
        settings = {"bmpwidth": 100, "trans": 255, "posx": 200, "posy": 150, "textleft": 20, "texttop": 20,
                    "textright": 80, "textbottom": 60, "fontsize": 24, "fontcolr": 255, "fontcolg": 255, "fontcolb": 0}
        def drawn():  # the text box as '#' where the count's colour is, and the count's pixels outside it
            shot = screen(200, 150, 100, 80)
            mask = "".join("#" if shot.getpixel((x, y)) == (255, 255, 0) else "." for y in range(20, 60) for x in range(20, 80))
            return mask, sum(shot.getpixel((x, y)) == (255, 255, 0) for y in range(80) for x in range(100)) - mask.count("#")
        def rendered(text):
            return probe("render", "ＭＳ ゴシック", 24, "00ffff", text, 60, 40).replace("\r\n", "").replace("\n", "")
        two = Image.new("RGB", (200, 80))
        two.paste(frame, (0, 0))
        two.paste(frame, (100, 0))
        rig = self.rig(skin=two, settings=settings)
        rig.start(7)
        wait_for(lambda: drawn() == (rendered("7"), 0), 20, "7 drawn in the box")
        self.assertEqual(ctl("set", -3)[0], 0)
        wait_for(lambda: drawn() == (rendered("-3"), 0), 20, "-3 drawn in the box")
        # One frame never animates, so never shows the count.
        rig = self.rig(skin=frame, settings=settings)
        rig.start(88)
        wait_for(lambda: drawn() == ("." * 2400, 0), 20, "the frame on show")
        self.assertEqual(len(rig.watch(2500)), 1)
        self.assertEqual(drawn(), ("." * 2400, 0))

    def test_popup_returns_above_another_top_most_window(self):
        rig = self.rig(skin=shapes(2, 60), settings={"bmpwidth": 60, "posx": 200, "posy": 150})
        rig.start()
        rig.watch(1500)  # past the first refresh: from here on only the one-second upkeep brings it back
        facts = dict(f.split("=") for f in probe("cover", rig.popup["hwnd"]).split())
        self.assertEqual(facts["covered"], "1")
        self.assertGreaterEqual(int(facts["above"]) * 4, int(facts["samples"]) * 3, facts)

    def test_animation_ticks_leave_no_gdi_object_behind(self):
        strip = shapes(30, 60)
        rig = self.rig(skin=strip, settings={"bmpwidth": 60, "interval": 1, "posx": 100, "posy": 100})
        rig.start(5)
        pid = rig.popup["pid"]
        rig.watch(10000, 60)
        before = int(probe("gdi", pid).split("=")[1])
        self.assertGreater(before, 5, "the handle table cannot be read")
        ticks = rig.watch(30000, 1500)
        after = int(probe("gdi", pid).split("=")[1])
        self.assertGreaterEqual(len(ticks), 1500)
        self.assertLessEqual(after, before)


def _png(picture):
    import io
    data = io.BytesIO()
    picture.save(data, "PNG")
    return data.getvalue()


if __name__ == "__main__":
    unittest.main()
