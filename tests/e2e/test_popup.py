# The running popup: its shape frame by frame against the skin's own pixels,
# every bitmap format, frame geometry, skins that cannot be used, place and
# alpha, the off-screen guard, the animation's pace, the count it draws, its
# place above other top-most windows, the GDI objects its ticks give back, its
# size on a high-DPI screen, and how it keeps out of full-screen work and
# stands still while the session is locked.
import os
import random
import subprocess

from PIL import Image, ImageDraw

from rig import (KEY, PROBE, Scenario, Titled, counter, ctl, in_turn, probe, run, screen, shape_hash, wait_for,
                 windows)

BODY, EDGE, TEXT = (0, 64, 128), (248, 200, 16), (255, 255, 0)
LOAD_FAILED, DATA_ERROR = "受信アニメBmpのロードに失敗しました", "BMPデータエラーが発生しました"


def shapes(frames, width, height=50, body=BODY, edge=EDGE, key=KEY):
    # Frame i: a body growing with i, a key hole, a block apart (two runs a row), a bar on the right edge.
    pen = ImageDraw.Draw(picture := Image.new("RGB", (frames * width, height), key))
    for i in range(frames):
        x0 = i * width
        pen.rectangle([x0 + 2, 3, x0 + 13 + i, 11 + i], body)
        pen.rectangle([x0 + 5, 5, x0 + 7, 7], key)
        pen.rectangle([x0 + 20 + i % 4, 20, x0 + 25 + i % 4, 23 + i % 3], edge)
        pen.rectangle([x0 + width - 2, 30, x0 + width - 1, 39], body)
    return picture


def noise(rng, width, frames, height, density, key=KEY):
    strip = Image.new("RGB", (width * frames + rng.randrange(5), height), key)
    for y in range(height):
        for x in range(strip.width):
            if (x or y) and rng.random() < density:  # sometimes one unit off the key
                strip.putpixel((x, y), tuple(k ^ rng.choice((1, 128, 255)) for k in key))
    return strip


def magick(*options):
    # A BMP writer through ImageMagick, which picks the smallest depth that holds the colours.
    def write(picture, path):
        picture.save(path + ".png")
        subprocess.run(["convert", path + ".png", *options[:-1], options[-1] + path], check=True)
    return write


class Popup(Scenario):
    def shown(self, skin, width, changes, writer=None, **settings):
        # The frames the popup showed in turn, each known by its shape worked out from the file.
        rig = self.rig(skin=None, settings=dict(bmpwidth=width, **settings))
        (writer or (lambda p, path: p.save(path)))(skin, rig.path("bmp"))
        loaded = Image.open(rig.path("bmp"))
        frames = min(30, loaded.width // width)  # columns beyond the last frame may make whole frames too
        rig.start()
        seen = rig.frames_seen([shape_hash(loaded, i, width) for i in range(min(35, loaded.width // width))], 15000, changes)
        return seen, frames

    def test_window_takes_each_frames_exact_shape_in_turn(self):
        strip = shapes(4, 60)
        for x, c in ((30, (254, 0, 255)), (33, (255, 1, 255)), (36, (255, 0, 254))):
            strip.putpixel((x, 45), c)  # one unit off the key: opaque
        strip.paste(BODY, (60, 30, 62, 40))  # frame 1's left bar touches frame 0's right bar
        strip.paste(KEY, (120, 0, 180, 50))  # frame 2: nothing but the key
        cases = [(strip, 60, None)]
        mono = shapes(2, 60, body=(0, 0, 0), edge=(0, 0, 0), key=(255, 255, 255))  # white is the key here
        cases += [(mono, 60, magick("-type", "bilevel", "BMP3:")), (shapes(2, 60), 60, magick("-type", "palette", "BMP3:")),
                  (shapes(2, 60), 60, lambda p, path: p.convert("P", palette=Image.ADAPTIVE).save(path)),
                  (shapes(2, 60), 60, magick("-define", "bmp:subtype=RGB555", "BMP:")),
                  (shapes(2, 60), 60, lambda p, path: p.convert("RGBA").save(path)),
                  (shapes(2, 60), 60, magick("-type", "palette", "-compress", "RLE", "BMP3:"))]
        rng = random.Random(7)
        cases += [(noise(rng, 37, 3, 41, d), 37, None) for d in (0.05, 0.5, 0.95)]
        cases += [(noise(rng, 50, 2, 50, 0.5, (0, 0, 0)), 50, None), (noise(rng, 3, 2, 300, 0.5), 3, None),
                  (noise(rng, 700, 2, 3, 0.5), 700, None), (noise(rng, 1, 8, 9, 0.5), 1, None)]
        for i, (strip, width, writer) in enumerate(cases):  # 1-bit, 4-bit, 8-bit, 16-bit, 32-bit, RLE8, noise
            with self.subTest(case=i, width=width, height=strip.height):
                seen, frames = self.shown(strip, width, 5, writer, interval=60)
                self.assertEqual(seen, in_turn(seen[0], frames, 6))
        # The bundled skin: every shape the window takes is one of its frames.
        rig = self.started()
        bundled = [shape_hash(Image.open(rig.path("bmp")), i, 120) for i in range(12)]
        seen = rig.frames_seen(bundled, 15000, 24)
        self.assertEqual(set(seen), {bundled.index(h) for h in bundled})

    def test_frames_are_whole_frames_of_the_set_width_and_at_most_thirty(self):
        strip = Image.new("RGB", (250, 50), KEY)
        strip.paste(shapes(2, 120), (0, 0))
        strip.paste(BODY, (240, 0, 250, 50))  # 10 columns that are no frame
        seen, frames = self.shown(strip, 120, 4, interval=150)
        self.assertEqual((seen, frames), (in_turn(seen[0], 2, 5), 2))
        rig = self.started(skin=strip, settings={"bmpwidth": 0, "interval": 100})
        self.assertEqual(rig.frames_seen([shape_hash(strip, 0, 250)], 1500), [0], "one frame, the whole strip, still")
        seen, frames = self.shown(shapes(35, 60), 60, 45, interval=60)
        self.assertEqual((seen, frames), (in_turn(seen[0], 30, 46), 30))

    def test_skin_that_cannot_be_used_shows_one_message_and_ends(self):
        # Whether the settings were read shows on the way out: the close restores the marked window, never one the
        # defaults would match. The count the start added is there while the message shows, and reset after it.
        marker = f"lbt-skin-marker-{os.getpid()}"
        self.hold_section()
        for what, skin, width, message, read in [
                ("missing", None, 500, LOAD_FAILED, 0), ("not a bitmap", b"no bitmap\r\n", 500, LOAD_FAILED, 0),
                ("no whole frame", shapes(2, 125), 500, DATA_ERROR, 1), ("negative width", shapes(2, 125), -5, DATA_ERROR, 1)]:
            with self.subTest(what):
                titled = Titled(self, [("minimised", marker), ("minimised", "受信トレイ - Microsoft Outlook")])
                rig = self.rig(skin=skin, settings={"activate": 1, "windowname": marker, "bmpwidth": width})
                before, notifier, texts, counts = rig.read(), rig.launch(6), [], []
                def answer():
                    for box in windows():
                        statics = [c["text"] for c in box["children"] if c["class"].lower() == "static"]
                        if any(statics) and statics not in texts:  # a message box; once answered it may be gone
                            texts.append(statics)
                            counts.append(counter()["count"])
                        any(statics) and run(PROBE, "post", box["hwnd"], 0x111, 1)
                    return not notifier.running()
                wait_for(answer, 30, "the message boxes to be answered and the process to end")
                self.assertEqual((texts, counts, rig.read()), ([["", message]], [6], before))
                self.ended(notifier)
                expected = ["normal" if read else "minimised", "minimised"]
                wait_for(lambda: [s for s, _ in titled.states()] == expected, 10, "the marked window alone restored")

    def test_place_alpha_and_top_most_follow_the_settings_and_the_off_screen_guard(self):
        for exe, settings, place, alpha in [
                ("larkbell.exe", {"posx": 210, "posy": 130, "trans": 255}, (210, 130), 255),
                ("larkbell.exe", {"posx": -40, "posy": 25, "trans": 256}, (-40, 25), 0),
                ("larkbell.exe", {"posx": 300, "posy": 200, "trans": 300}, (300, 200), 44),
                ("larkbell.exe", {}, (0, 0), 200),
                ("larkbell.exe", {"posx": 5000, "posy": -3000}, (0, 0), 200),  # on no monitor: the work area's corner
                ("popup.beta.exe", {"posx": 123, "posy": 77}, (123, 77), 200)]:  # its own file, not popup.ini
            with self.subTest(exe=exe, settings=settings):
                # No tick in the test's time: the first frame stays on show.
                rig = self.rig(exe, skin=shapes(2, 60), settings=dict(bmpwidth=60, interval=60000, **settings))
                rig.write("popup.ini", "[setting]\r\nposx=400\r\nposy=300\r\n")
                before, popup = rig.read(), rig.start()
                # Never anywhere else, from the first look through the top-most upkeep a second on.
                self.assertEqual({(x, y) for _, _, x, y in rig.watch(1300)}, {place})
                self.assertEqual((popup["alpha"], popup["lwa"], popup["shape"], rig.read()),
                                 (alpha, 2, shape_hash(shapes(2, 60), 0, 60), before))
                wait_for(lambda: rig.facts()["ex"] & 8, what="top-most")  # the upkeep drops it for a moment

    def test_interval_zero_steps_once_a_second(self):
        # Timers never fire early: a one-second period gives at most 4 changes in 3 s; 50 ms far more.
        strip = shapes(30, 60)
        for interval in (50, 0):
            rig = self.started(skin=strip, settings={"bmpwidth": 60, "interval": interval})
            changes = len(rig.watch(3000)) - 1
            self.assertTrue(changes > 4 if interval else changes <= 4, changes)
        seen = rig.frames_seen([shape_hash(strip, i, 60) for i in range(30)], 15000, 2)
        self.assertEqual(seen, in_turn(seen[0], 30, 3))

    def test_count_is_drawn_in_its_box_and_follows_the_counter(self):
        # One frame never animates, yet shows the count and follows it.
        for frames, first, then in ((2, 7, -3), (1, 88, 5)):
            skin, settings, drawn = self.counted(frames=frames)
            rig = self.started(first, skin=skin, settings=settings)
            wait_for(lambda: drawn(str(first)), 20, f"{first} drawn over {frames} frame(s)")
            ctl("set", then)
            wait_for(lambda: drawn(str(then)), 20, f"{then} drawn over {frames} frame(s)")
        probe("post", rig.popup["hwnd"], 0x000F, 0)  # WM_PAINT: the frame is drawn with its count
        self.assertEqual((len(rig.watch(1500)), drawn("5")), (1, True), "never stepped; repainted with its count")

    def test_popup_returns_above_another_top_most_window(self):
        rig = self.started(skin=shapes(2, 60), settings={"bmpwidth": 60, "posx": 200, "posy": 150})
        rig.watch(1500)  # past the first refresh: from here on only the one-second upkeep brings it back
        facts = dict(f.split("=") for f in probe("cover", rig.popup["hwnd"]).split())
        self.assertEqual((facts["covered"], int(facts["above"]) * 4 >= int(facts["samples"]) * 3), ("1", True), facts)

    def test_animation_ticks_leave_no_gdi_object_behind(self):
        rig = self.started(5, skin=shapes(30, 60), settings={"bmpwidth": 60, "interval": 1, "posx": 100, "posy": 100})
        rig.watch(10000, 60)  # past the first ticks, which may make what is kept for good
        before = int(probe("gdi", rig.popup["pid"]).split("=")[1])
        self.assertGreaterEqual(len(rig.watch(30000, 1500)), 1500)
        after = int(probe("gdi", rig.popup["pid"]).split("=")[1])
        self.assertTrue(5 < after <= before, (before, after))  # 5: the table was read at all

    def counted(self, scale=1, frames=2):
        # Frames of one colour with a checkered patch and a box for the count. drawn(text): the count as the probe
        # renders it in the box, and around it the frame pixel for pixel (its two key corners aside).
        frame = Image.new("RGB", (100, 80), BODY)
        for x in range(10, 30):
            for y in range(10, 30):
                frame.putpixel((x, y), EDGE if (x + y) % 2 else TEXT)
        skin = Image.new("RGB", (100 * frames, 80))
        for i in range(frames):
            skin.paste(frame, (100 * i, 0))
            skin.putpixel((100 * i, 0), KEY)
            skin.putpixel((100 * i + 99, 79), KEY)
        settings = {"bmpwidth": 100, "trans": 255, "posx": 200, "posy": 150, "textleft": 40, "texttop": 30,
                    "textright": 80, "textbottom": 60, "fontsize": 16, "fontcolr": 255, "fontcolg": 255, "fontcolb": 0}
        def drawn(text):
            s = scale
            shot, box = screen(200, 150, 100 * s, 80 * s), (40 * s, 30 * s, 80 * s, 60 * s)
            rows = "".join(probe("render", "ＭＳ ゴシック", 16 * s, "00ffff", text, 40 * s, 30 * s).split())
            self.last_drawn = "".join("#" if p == TEXT else "." for p in shot.crop(box).getdata())
            around = frame.resize((100 * s, 80 * s), Image.NEAREST)
            for picture in (shot, around):
                for blank in (box, (0, 0, s, s), (99 * s, 79 * s, 100 * s, 80 * s)):
                    picture.paste(BODY, blank)
            return self.last_drawn == rows and shot.tobytes() == around.tobytes()
        return skin, settings, drawn

    def started_at_192_dpi(self, rig):
        # The prefix's DPI is read once, as the process starts: set for that start alone.
        desktop = (r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/f")
        self.addCleanup(run, "reg", "delete", *desktop)
        added = run("reg", "add", *desktop, "/t", "REG_DWORD", "/d", 192, again=True)
        self.assertEqual(added[0], 0, added)
        popup = rig.start(7)
        run("reg", "delete", *desktop)
        return popup

    def test_on_a_high_dpi_screen_every_skin_pixel_is_doubled(self):
        skin, settings, drawn = self.counted(scale=2)
        size = lambda rect: (rect[2] - rect[0], rect[3] - rect[1])
        at96 = size(self.rig(skin=skin, settings=settings).start(7)["rect"])
        popup = self.started_at_192_dpi(self.rig(skin=skin, settings=settings))
        self.assertEqual((size(popup["rect"]), popup["shape"]),
                         ((at96[0] * 2, at96[1] * 2), shape_hash(skin.resize((400, 160), Image.NEAREST), 0, 200)))
        wait_for(lambda: drawn("7"), 20, "7 drawn twice the size and the patch doubled")
        self.assertIn("#", self.last_drawn)
        # Forced back to 1: the popup as it always was.
        popup = self.started_at_192_dpi(self.rig(skin=skin, settings=dict(settings, scale=1)))
        self.assertEqual(popup["shape"], shape_hash(skin, 0, 100))
        wait_for(lambda: self.counted()[2]("7"), 20, "7 drawn at its own size")

    def test_full_screen_work_holds_the_popup_back_until_it_ends(self):
        skin, settings, drawn = self.counted()
        self.helper("fullscreen", go := os.path.join(self.scratch, "go"), ready="ready")
        rig = self.rig(skin=skin, settings=settings)
        notifier = rig.launch(3)
        wait_for(lambda: any(w["class"] == "#32770" for w in windows("larkbell.exe", "hidden")), 30, "the hidden popup")
        self.assertEqual(rig.add(2), 0)
        wait_for(lambda: counter()["count"] == 5, 10, "the count to add up")
        self.assertEqual((rig.facts(), notifier.running()), (None, True))
        open(go, "w").close()
        rig.popup = wait_for(rig.facts, 10, "the popup once the full-screen window is gone")
        wait_for(lambda: drawn("5"), 10, "5 drawn")
        # Full-screen work that starts later hides the popup; it comes back with the count of then.
        self.helper("fullscreen", go2 := os.path.join(self.scratch, "go2"), ready="ready")
        wait_for(lambda: rig.facts() is None, 10, "the popup to hide")
        self.assertEqual(rig.add(4), 0)
        open(go2, "w").close()
        wait_for(rig.facts, 10, "the popup back")
        wait_for(lambda: drawn("9"), 10, "9 drawn")
        # quiet=0: shown at once over full-screen work.
        self.helper("fullscreen", os.path.join(self.scratch, "go3"), ready="ready")
        rig = self.started(1, skin=skin, settings=dict(settings, quiet=0))
        wait_for(lambda: drawn("1"), 10, "1 drawn")

    def test_a_locked_session_stops_every_tick_until_unlocked(self):
        rig = self.rig(skin=shapes(30, 60), settings={"bmpwidth": 60, "interval": 50, "posx": 200, "posy": 150})
        hwnd = rig.start()["hwnd"]
        self.assertGreater(len(rig.watch(1000)), 5)
        probe("post", hwnd, "0x2b1", 7)  # WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK
        wait_for(lambda: len(rig.watch(600)) == 1, 10, "the animation to stop")
        self.assertEqual(len(rig.watch(3000)), 1)
        facts = dict(f.split("=") for f in probe("cover", hwnd).split())
        self.assertEqual((facts["covered"], facts["above"]), ("1", "0"))  # no top-most upkeep either
        probe("post", hwnd, "0x2b1", 8)  # WTS_SESSION_UNLOCK
        self.assertGreater(len(rig.watch(1000)), 5)
