# The real pointer and keyboard (xdotool) on the running popup: right drags and
# the saved place, dismissal by a left click and what it brings forward, the
# About box and the other system commands.
import subprocess
import unittest

from PIL import Image

from rig import BIN, DESKTOP, Scenario, Titled, counter, ctl, probe, screen, wait_for, windows, xdotool

BADGE = (95, 93)  # opaque in every frame of the bundled skin
ENVELOPE = (30, 120)  # so is this
OUTLOOK = "- Microsoft Outlook"
ABOUT = "larkbellのﾊﾞｰｼﾞｮﾝ情報"


def glide(start, end, steps=5):
    for i in range(1, steps + 1):
        xdotool("mousemove", start[0] + (end[0] - start[0]) * i // steps, start[1] + (end[1] - start[1]) * i // steps)


def plus(point, dx, dy):
    return point[0] + dx, point[1] + dy


def lines(text):
    return [line for line in (text or "").splitlines() if line.strip()]


class Drag(Scenario):
    def drag(self, rig, start, end, top_left):
        """Right button down at start, glide to end, until the popup stands at top_left. The
        top-most refresh puts it back at its saved place until the next motion, so moves are repeated."""
        xdotool("mousemove", *start)
        xdotool("mousedown", 3)
        glide(start, end)
        def there():
            xdotool("mousemove", end[0] + 1, end[1])
            xdotool("mousemove", *end)
            return rig.facts()["rect"][:2] == top_left
        wait_for(there, 20, f"the popup dragged to {top_left}")

    def animates(self, rig):
        return len(rig.watch(10000, 1)) == 2

    def test_window_follows_the_cursor_the_animation_holds_and_the_drop_is_saved(self):
        rig = self.rig()
        rig.start(3)
        self.assertTrue(self.animates(rig))
        self.drag(rig, BADGE, plus(BADGE, 100, 75), (100, 75))
        self.drag(rig, plus(BADGE, 100, 75), plus(BADGE, 200, 150), (200, 150))
        self.assertEqual(len({shape for _, shape, _, _ in rig.watch(1000)}), 1, "the animation stops while held")
        self.assertIsNone(rig.read(), "nothing is saved before the drop")
        xdotool("mouseup", 3)
        self.assertTrue(self.animates(rig), "the animation resumes after the drop")
        rig.wait_top_left(200, 150)
        wait_for(lambda: lines(rig.read()) == ["[setting]", "posx=200", "posy=150"], what="the saved place")
        rig.notifier.kill()
        rig.start()
        rig.wait_top_left(200, 150)

    def test_negative_place_is_saved_beside_other_lines_and_reopened(self):
        original = ["; larkbell", "[mail]", "posx=7", "[setting]", "; where the popup was left", "fontsize=14",
                    "posx=10", "posy=20", "windowname=- Microsoft Outlook", "[other]", "key=value"]
        rig = self.rig(settings="\r\n".join(original) + "\r\n")
        rig.start()
        rig.wait_top_left(10, 20)
        self.drag(rig, plus(BADGE, 10, 20), plus(BADGE, -40, 25), (-40, 25))
        xdotool("mouseup", 3)
        expected = original[:6] + ["posx=-40", "posy=25"] + original[8:]
        wait_for(lambda: lines(rig.read()) == expected, what="the place saved in its lines")
        rig.notifier.kill()
        rig.start()
        rig.wait_top_left(-40, 25)

    def test_click_without_movement_rewrites_both_keys_with_the_place_held(self):
        rig = self.rig()
        rig.start()
        rig.write("larkbell.ini", "[setting]\r\nposx=500\r\nposy=600\r\n")  # read once at the start: stale now
        xdotool("mousemove", *BADGE, "click", 3)
        wait_for(lambda: lines(rig.read()) == ["[setting]", "posx=0", "posy=0"], what="the place rewritten")
        self.assertEqual(rig.facts()["rect"][:2], (0, 0))
        self.assertTrue(self.animates(rig))

    def test_read_only_settings_file_stays_as_it_was(self):
        original = "[setting]\r\nposx=0\r\nposy=0\r\ntrans=255\r\n"
        rig = self.rig(settings=original)
        # Wine writes as the Linux user, and root may write any mode: the file is made immutable.
        subprocess.run(["chattr", "+i", rig.path("ini")], check=True)
        self.addCleanup(subprocess.run, ["chattr", "-i", rig.path("ini")])
        rig.start()
        self.drag(rig, BADGE, plus(BADGE, 60, 40), (60, 40))
        xdotool("mouseup", 3)
        self.assertTrue(self.animates(rig))  # restarted in the same handler, just before the write
        self.assertEqual(rig.facts()["rect"][:2], (60, 40))
        self.assertEqual(rig.read(), original)

    def test_release_without_a_press_on_the_window_uses_the_last_drags_offset(self):
        rig = self.rig()
        rig.start()
        # Pressed on the desktop, released over the popup: only the release reaches it.
        xdotool("mousedown", 3)
        glide(DESKTOP, ENVELOPE)
        xdotool("mouseup", 3)
        self.assertTrue(self.animates(rig))
        self.assertEqual(rig.facts()["rect"][:2], (0, 0))
        self.assertIsNone(rig.read())
        # After a whole drag, such a release puts the badge where the pointer is.
        self.drag(rig, BADGE, plus(BADGE, 100, 100), (100, 100))
        xdotool("mouseup", 3)
        wait_for(lambda: lines(rig.read()) == ["[setting]", "posx=100", "posy=100"], what="the first drop")
        xdotool("mousemove", *DESKTOP, "mousedown", 3)
        glide(DESKTOP, plus(ENVELOPE, 100, 100))
        xdotool("mouseup", 3)
        x, y = ENVELOPE[0] + 100 - BADGE[0], ENVELOPE[1] + 100 - BADGE[1]
        rig.wait_top_left(x, y)
        wait_for(lambda: lines(rig.read()) == ["[setting]", f"posx={x}", f"posy={y}"], what="the second drop")

    def test_one_frame_skin_stays_still_and_shows_no_count(self):
        card = (30, 140, 60)
        skin = Image.new("RGB", (120, 150), (255, 0, 255))
        skin.paste(card, (20, 30, 110, 140))
        self.hold_section()
        rig = self.rig(skin=skin)
        rig.start(88)
        box = lambda x, y: set(screen(x + 85, y + 86, 21, 14).getdata())
        wait_for(lambda: box(0, 0) == {card}, what="the card on show")
        self.drag(rig, BADGE, plus(BADGE, 50, 40), (50, 40))
        xdotool("mouseup", 3)
        wait_for(lambda: lines(rig.read()) == ["[setting]", "posx=50", "posy=40"], what="the saved place")
        self.assertEqual(len(rig.watch(1500)), 1, "a single frame never animates")
        self.assertEqual(box(50, 40), {card}, "no count is drawn without animation")
        self.assertEqual(counter()["count"], 88)


class Dismiss(Scenario):
    def dismiss(self, rig, titled=None, count=5):
        """Starts the notifier, left-clicks its badge once it is on screen: the titled windows after it."""
        rig.start(count)
        self.assertEqual(counter()["count"], count)
        rig.watch(10000, 1)
        xdotool("mousemove", *rig.at(*BADGE), "click", 1)
        self.assertEqual(rig.notifier.wait(30), 0)
        wait_for(lambda: counter() == {"count": 0, "section": 1, "instance": 0}, what="count reset, instance gone")
        return titled.settled() if titled else None

    def test_left_click_closes_resets_and_ends_also_during_a_right_drag(self):
        self.hold_section()
        rig = self.rig()
        self.dismiss(rig)
        self.assertIsNone(rig.read(), "a left click saves no place")
        rig = self.rig()
        rig.start(2)
        rig.watch(10000, 1)
        xdotool("mousemove", *BADGE, "mousedown", 3)
        glide(BADGE, plus(BADGE, 40, 30))
        wait_for(lambda: rig.facts()["rect"][:2] == (40, 30), what="the drag")
        xdotool("click", 1)
        self.assertEqual(rig.notifier.wait(30), 0)
        wait_for(lambda: counter() == {"count": 0, "section": 1, "instance": 0}, what="count reset, instance gone")

    def test_matching_windows_come_back_and_the_last_activated_stays_in_front(self):
        self.hold_section()
        restored = True  # a maximised window too comes back at its normal size
        cases = [  # settings, windows (state, title), what each should be after (None: untouched)
            ({}, [("minimised", "受信トレイ " + OUTLOOK), ("maximised", "予定表 " + OUTLOOK), ("hidden", "連絡先 " + OUTLOOK),
                  ("minimised", "Inbox - microsoft outlook"),
                  ("minimised", "x" * 240 + OUTLOOK),  # ends at byte 259, the last one read
                  ("minimised", "x" * 241 + OUTLOOK), ("normal", "メモ帳")],
             [restored, restored, restored, None, restored, None, None]),
            ({"activate": 0}, [("minimised", "受信トレイ " + OUTLOOK), ("hidden", "予定表 " + OUTLOOK)], [None, None]),
            ({"windowname": ""}, [("minimised", "受信トレイ " + OUTLOOK), ("hidden", ""), ("minimised", "")],
             [None, None, None]),
            # "、" is 81 41 in code page 932; "＝A" is 81 81 41: a match from the middle of a character.
            ({"windowname": "、受信トレイ"}, [("minimised", "新着、受信トレイ"), ("minimised", "新着＝A受信トレイ")],
             [restored, None]),
        ]
        for settings, specs, expected in cases:
            with self.subTest(settings=settings, titles=[t[:12] for _, t in specs]):
                titled = Titled(self, specs)
                after = self.dismiss(self.rig(settings=settings), titled)
                for (state, title), record, want in zip(specs, after, expected):
                    if want:
                        self.assertEqual((record["state"], record["restores"]), ("normal", 1), title[:20])
                        self.assertGreater(record["activations"], 0, title[:20])
                    else:  # activations alone say nothing: the system hands the activation on
                        self.assertEqual((record["state"], record["restores"], record["shows"]), (state, 0, 0), title[:20])
                brought = [r for r, w in zip(after, expected) if w]
                if brought:
                    front = [w["hwnd"] for w in windows("probe.exe") if w["fg"]]
                    self.assertEqual(front, [max(brought, key=lambda r: r["last"])["hwnd"]])
                titled.program.kill()

    def test_teardown_activates_once_and_writes_once_under_repeated_clicks(self):
        # The lock held stretches the teardown: a second pass would restore the self-minimising
        # window again, a second write would undo the 7 stored after the first.
        self.hold_section()
        titled = Titled(self, [("minimised+reminimise", "受信トレイ " + OUTLOOK)])
        rig = self.rig(settings={"interval": 600000})
        rig.start(5)
        self.helper("hold-lock", rig.dir + "/go", ready="held")
        xdotool("mousemove", *rig.at(*BADGE), "click", "--repeat", 3, "--delay", 40, 1)
        wait_for(lambda: [(r["restores"], r["state"]) for r in titled.latest()] == [(1, "minimised")],
                 what="the first pass to restore the window")
        self.assertTrue(rig.notifier.running(), "the count write waits for the lock")
        rig.write("go", b"")
        wait_for(lambda: counter()["count"] == 0, what="the count reset")
        ctl("set", 7)
        self.assertEqual(rig.notifier.wait(30), 0)
        self.assertEqual([(r["restores"], r["state"]) for r in titled.settled()], [(1, "minimised")])
        self.assertEqual(counter()["count"], 7)

    def test_failed_skin_activates_nothing_and_still_resets_the_count(self):
        self.hold_section()
        titled = Titled(self, [("minimised", "受信トレイ " + OUTLOOK), ("hidden", "")])
        rig = self.rig(skin=None, settings={"activate": 1, "windowname": "受信トレイ"})
        notifier = rig.launch(6)
        box = wait_for(lambda: [w for w in windows() if any(c["id"] == "1" for c in w["children"])], 30, "the message")
        self.assertEqual(counter()["count"], 6)
        ok = next(c for c in box[0]["children"] if c["id"] == "1")["centre"].split(",")
        xdotool("mousemove", *ok, "click", 1)
        self.assertEqual(notifier.wait(30), 0)
        wait_for(lambda: counter() == {"count": 0, "section": 1, "instance": 0}, what="count reset, instance gone")
        self.assertEqual([(r["state"], r["restores"], r["shows"]) for r in titled.settled()],
                         [("minimised", 0, 0), ("hidden", 0, 0)])


class About(Scenario):
    def open_about(self, rig, command):
        probe("post", rig.popup["hwnd"], 0x112, command)
        return wait_for(lambda: [w for w in windows() if w["title"] == ABOUT], 20, "the About box")[0]

    def aside(self, about):
        """Moves the box clear of the popup, as a user would drag it away."""
        probe("move", about["hwnd"], 500, 400)
        return wait_for(lambda: [w for w in windows() if w["title"] == ABOUT and w["rect"][:2] == (500, 400)], 10)[0]

    def gone(self):
        wait_for(lambda: not [w for w in windows() if w["title"] == ABOUT], 10, "the About box to close")

    def click_ok(self, about):
        xdotool("mousemove", *about["children"][3]["centre"].split(","), "click", 1)

    def test_about_commands_open_a_fresh_box_and_the_popup_lives_on(self):
        self.hold_section()
        rig = self.rig()
        rig.start(3)
        about = self.open_about(rig, 0x10)  # the low four bits and bits 16-31 are not looked at
        children = [(c["class"].lower(), c["id"], c["text"]) for c in about["children"]]
        self.assertEqual(children[1:], [("static", "-1", "larkbell Version 1.0"), ("static", "-1", "新着メール通知"),
                                        ("button", "1", "OK")])
        self.assertEqual((children[0][0], int(about["children"][0]["style"], 16) & 0x1F, about["children"][0]["icon"]),
                         ("static", 3, "1"))
        self.assertEqual(rig.facts()["enabled"], 0, "the popup waits for the box")
        self.click_ok(about)
        self.gone()
        wait_for(lambda: rig.facts()["enabled"], what="the popup enabled again")

        about = self.open_about(rig, 0x1F)
        left, top, right, bottom = self.aside(about)["rect"]
        # The popup's top-most refresh takes the keyboard every second: click the box back, then Escape.
        wait_for(lambda: xdotool("mousemove", (left + right) // 2, bottom - 6, "click", 1, "key", "Escape")
                 or not [w for w in windows() if w["title"] == ABOUT], 20, "Escape to close the box")

        about = self.aside(self.open_about(rig, 0x10010))
        # Open, the animation and the count go on.
        self.assertEqual(len(rig.watch(10000, 1)), 2)
        x, y = rig.popup["rect"][:2]
        shown = screen(x + 85, y + 86, 21, 14).tobytes()
        self.assertEqual(ctl("add", 1)[0], 0)
        wait_for(lambda: screen(x + 85, y + 86, 21, 14).tobytes() != shown, what="the count drawn anew")
        self.click_ok(about)
        self.gone()
        self.assertTrue(rig.notifier.running())
        self.assertEqual(counter()["count"], 4)

        probe("post", rig.popup["hwnd"], 0x112, 0xF060)  # SC_CLOSE dismisses
        self.assertEqual(rig.notifier.wait(30), 0)
        wait_for(lambda: counter() == {"count": 0, "section": 1, "instance": 0}, what="count reset, instance gone")

    def test_box_opens_centred_over_the_popup_inside_the_work_area(self):
        for place, centred in (((400, 300), True), ((0, 0), False)):
            with self.subTest(place=place):
                rig = self.rig(settings={"posx": place[0], "posy": place[1]})
                rig.start()
                rig.wait_top_left(*place)
                about = self.open_about(rig, 0x10)
                p, a = rig.popup["rect"], about["rect"]
                self.assertLessEqual(abs((a[1] + a[3]) // 2 - (p[1] + p[3]) // 2), 1)
                if centred:
                    self.assertLessEqual(abs((a[0] + a[2]) // 2 - (p[0] + p[2]) // 2), 1)
                else:  # wider than the room on the left: against the work area's edge
                    self.assertEqual(a[0], 0)


if __name__ == "__main__":
    unittest.main()
