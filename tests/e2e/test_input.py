# The real pointer and keyboard (xdotool) on the running popup: right drags and
# the saved place, dismissal by a left click and what it brings forward, the
# About box and the other system commands.
import subprocess

from rig import DESKTOP, Scenario, Titled, counter, ctl, probe, screen, wait_for, windows, xdotool

BADGE, ENVELOPE = (95, 93), (30, 120)  # opaque in every frame of the bundled skin
OUTLOOK, ABOUT = "- Microsoft Outlook", "larkbellのﾊﾞｰｼﾞｮﾝ情報"


def glide(start, end, steps=5):
    for i in range(1, steps + 1):
        xdotool("mousemove", start[0] + (end[0] - start[0]) * i // steps, start[1] + (end[1] - start[1]) * i // steps)


def plus(point, dx, dy):
    return point[0] + dx, point[1] + dy


def place(x, y):
    return ["[setting]", f"posx={x}", f"posy={y}"]


def lines(text):
    return [line for line in (text or "").splitlines() if line.strip()]


def drag(rig, start, end, top_left, release=True):
    # The top-most refresh puts the popup back at its saved place until the next motion: moves are repeated.
    # A press the busy X server gave the desktop is made once more, at the same grip on the popup wherever
    # the first try left it.
    left, top = rig.facts()["rect"][:2]
    for attempt in (1, 2):
        x, y = rig.facts()["rect"][:2]
        here = (start[0] + x - left, start[1] + y - top)
        xdotool("mousemove", *here, "mousedown", 3)
        glide(here, end)
        try:
            wait_for(lambda: xdotool("mousemove", end[0] + 1, end[1], "mousemove", *end)
                     or rig.facts()["rect"][:2] == top_left, 10 * attempt, f"the popup dragged to {top_left}")
            break
        except AssertionError:
            xdotool("mouseup", 3)
            if attempt == 2:
                raise
    release and xdotool("mouseup", 3)


class Drag(Scenario):
    def animates(self, rig):
        return len({shape for _, shape, _, _ in rig.watch(10000, 1)}) == 2

    def saved(self, rig, text):
        wait_for(lambda: lines(rig.read()) == text, what=f"the settings file to be {text}")

    def test_window_follows_the_cursor_the_animation_holds_and_the_drop_is_saved(self):
        rig = self.started(3)
        self.assertTrue(self.animates(rig))
        drag(rig, BADGE, plus(BADGE, 100, 75), (100, 75), release=False)
        drag(rig, plus(BADGE, 100, 75), plus(BADGE, 200, 150), (200, 150), release=False)
        # The animation stops while held; nothing is saved before the drop.
        self.assertEqual((len({shape for _, shape, _, _ in rig.watch(1000)}), rig.read()), (1, None))
        xdotool("mouseup", 3)
        self.assertTrue(self.animates(rig), "the animation resumes after the drop")
        rig.wait_top_left(200, 150)
        self.saved(rig, place(200, 150))
        rig.notifier.kill()
        rig.start()
        rig.wait_top_left(200, 150)

    def test_negative_place_is_saved_beside_other_lines_and_reopened(self):
        original = ["; larkbell", "[mail]", "posx=7", "[setting]", "; where the popup was left", "fontsize=14",
                    "posx=10", "posy=20", "windowname=- Microsoft Outlook", "[other]", "key=value"]
        rig = self.started(settings="\r\n".join(original) + "\r\n")
        rig.wait_top_left(10, 20)
        drag(rig, plus(BADGE, 10, 20), plus(BADGE, -40, 25), (-40, 25))
        self.saved(rig, original[:6] + ["posx=-40", "posy=25"] + original[8:])
        rig.notifier.kill()
        rig.start()
        rig.wait_top_left(-40, 25)

    def test_click_without_movement_rewrites_both_keys_with_the_place_held(self):
        rig = self.started()
        rig.write("larkbell.ini", "[setting]\r\nposx=500\r\nposy=600\r\n")  # read once at the start: stale now
        xdotool("mousemove", *BADGE, "click", 3)
        self.saved(rig, place(0, 0))
        self.assertEqual((rig.facts()["rect"][:2], self.animates(rig)), ((0, 0), True))

    def test_read_only_settings_file_stays_as_it_was(self):
        original = "[setting]\r\nposx=0\r\nposy=0\r\ntrans=255\r\n"
        rig = self.rig(settings=original)
        # Wine writes as the Linux user, and root may write any mode: the file is made immutable.
        subprocess.run(["chattr", "+i", rig.path("ini")], check=True)
        self.addCleanup(subprocess.run, ["chattr", "-i", rig.path("ini")])
        rig.start()
        drag(rig, BADGE, plus(BADGE, 60, 40), (60, 40))
        # The animation restarted in the same handler, just before the write.
        self.assertEqual((self.animates(rig), rig.facts()["rect"][:2], rig.read()), (True, (60, 40), original))

    def test_release_without_a_press_on_the_window_uses_the_last_drags_offset(self):
        rig = self.started()
        # Pressed on the desktop, released over the popup: only the release reaches it.
        xdotool("mousedown", 3)
        glide(DESKTOP, ENVELOPE)
        xdotool("mouseup", 3)
        self.assertEqual((self.animates(rig), rig.facts()["rect"][:2], rig.read()), (True, (0, 0), None))
        # After a whole drag, such a release puts the badge where the pointer is.
        drag(rig, BADGE, plus(BADGE, 100, 100), (100, 100))
        self.saved(rig, place(100, 100))
        xdotool("mousemove", *DESKTOP, "mousedown", 3)
        glide(DESKTOP, plus(ENVELOPE, 100, 100))
        xdotool("mouseup", 3)
        rig.wait_top_left(ENVELOPE[0] + 100 - BADGE[0], ENVELOPE[1] + 100 - BADGE[1])
        self.saved(rig, place(ENVELOPE[0] + 100 - BADGE[0], ENVELOPE[1] + 100 - BADGE[1]))


class Dismiss(Scenario):
    def dismiss(self, *key, **rig):
        # Starts the notifier with 5 and left-clicks its badge once it is on screen, or presses the key over it.
        rig = self.started(5, **rig)
        self.assertEqual(counter()["count"], 5)
        rig.watch(10000, 1)
        xdotool("mousemove", *rig.at(*BADGE), *(("key", *key) if key else ("click", 1)))
        self.ended(rig.notifier)
        return rig

    def test_left_click_enter_and_escape_close_reset_and_end_also_during_a_right_drag(self):
        self.hold_section()
        for key in ((), ("Return",), ("Escape",)):  # keys go to the window under the pointer
            self.assertIsNone(self.dismiss(*key).read(), f"{key or 'a left click'} saves no place")
        rig = self.started(2)
        rig.watch(10000, 1)
        drag(rig, BADGE, plus(BADGE, 40, 30), (40, 30), release=False)
        xdotool("click", 1)
        self.ended(rig.notifier)

    def test_matching_windows_come_back_and_the_last_activated_stays_in_front(self):
        self.hold_section()
        for settings, specs, brought in [
                ({}, [("minimised", "受信トレイ " + OUTLOOK), ("maximised", "予定表 " + OUTLOOK), ("hidden", "連絡先 " + OUTLOOK),
                      ("minimised", "Inbox - microsoft outlook"), ("minimised", "x" * 240 + OUTLOOK),  # to byte 259, the last read
                      ("minimised", "x" * 241 + OUTLOOK), ("normal", "メモ帳")], [1, 1, 1, 0, 1, 0, 0]),
                ({"activate": 0}, [("minimised", "受信トレイ " + OUTLOOK), ("hidden", "予定表 " + OUTLOOK)], [0, 0]),
                ({"windowname": ""}, [("minimised", "受信トレイ " + OUTLOOK), ("hidden", ""), ("minimised", "")], [0, 0, 0]),
                # "、" is 81 41 in code page 932; "＝A" is 81 81 41: a match from the middle of a character.
                ({"windowname": "、受信トレイ"}, [("minimised", "新着、受信トレイ"), ("minimised", "新着＝A受信トレイ")], [1, 0])]:
            with self.subTest(settings=settings, titles=[t[:12] for _, t in specs]):
                titled = Titled(self, specs)
                self.dismiss(settings=settings)
                # A maximised window too comes back at its normal size; the last brought forward stays in front.
                expected = ["normal" if b else state for (state, _), b in zip(specs, brought)]
                after = wait_for(lambda: [s for s, _ in titled.states()] == expected and titled.states(), 10,
                                 f"the windows to be {expected}")
                self.assertEqual([fg for (_, fg), b in zip(after, brought) if b].count(1), min(1, sum(brought)))
                titled.program.kill()

    def test_teardown_activates_once_and_writes_once_under_repeated_clicks(self):
        # The lock held stretches the teardown: a second pass would restore the self-minimising
        # window again, a second write would undo the 7 stored after the first.
        self.hold_section()
        titled = Titled(self, [("minimised", "受信トレイ " + OUTLOOK)])
        rig = self.started(5, settings={"interval": 600000})
        self.helper("hold-lock", self.release_file(), ready="held")
        xdotool("mousemove", *rig.at(*BADGE), "click", "--repeat", 3, "--delay", 40, 1)
        wait_for(lambda: titled.states()[0][0] == "normal", what="the first pass to restore the window")
        self.assertTrue(rig.notifier.running(), "the count write waits for the lock")
        probe("post", titled.hwnds[0], 0x112, 0xF020)  # minimised again: a second pass would restore it
        wait_for(lambda: titled.states()[0][0] == "minimised", what="the window minimised again")
        open(self.release_file(), "w").close()
        wait_for(lambda: counter()["count"] == 0, what="the count reset")
        ctl("set", 7)
        self.assertEqual((rig.notifier.wait(30), titled.states()[0][0], counter()["count"]), (0, "minimised", 7))


class About(Scenario):
    def about(self, at=None):
        return next((w for w in windows() if w["title"] == ABOUT and (not at or w["rect"][:2] == at)), None)

    def open(self, rig, command):
        probe("post", rig.popup["hwnd"], 0x112, command)
        box = wait_for(self.about, 20, "the About box")
        probe("move", box["hwnd"], 500, 400)  # aside, as a user would drag it
        return wait_for(lambda: self.about((500, 400)), 10, "the About box aside")

    def close(self, box):
        # The popup's top-most refresh takes the activation every second: the box is clicked back first.
        ok = box["children"][3]["centre"].split(",")
        wait_for(lambda: xdotool("mousemove", *ok, "click", 1) or not self.about(), 20, "the box to close")

    def test_about_commands_open_a_fresh_box_and_the_popup_lives_on(self):
        self.hold_section()
        rig = self.started(3)
        box = self.open(rig, 0x10)  # the low four bits and bits 16-31 of the command are not looked at
        self.assertEqual([(c["class"].lower(), c["id"], c["text"]) for c in box["children"]][1:],
                         [("static", "-1", "larkbell Version 1.0"), ("static", "-1", "新着メール通知"), ("button", "1", "OK")])
        icon = box["children"][0]
        self.assertEqual((icon["class"].lower(), int(icon["style"], 16) & 0x1F, icon["icon"]), ("static", 3, "1"))
        self.assertEqual(rig.facts()["enabled"], 0, "the popup waits for the box")
        self.close(box)
        wait_for(lambda: rig.facts()["enabled"], what="the popup enabled again")
        box = self.open(rig, 0x1F)
        left, top, right, bottom = box["rect"]
        wait_for(lambda: xdotool("mousemove", left + 20, bottom - 6, "click", 1, "key", "Escape") or not self.about(),
                 20, "Escape to close the box")
        box = self.open(rig, 0x10010)
        self.assertEqual(len(rig.watch(10000, 1)), 2, "the animation goes on")
        x, y = rig.popup["rect"][:2]
        shown = screen(x + 85, y + 86, 21, 14).tobytes()
        ctl("add", 1)
        wait_for(lambda: screen(x + 85, y + 86, 21, 14).tobytes() != shown, what="the count drawn anew")
        self.close(box)
        self.assertEqual((rig.notifier.running(), counter()["count"]), (True, 4))
        probe("post", rig.popup["hwnd"], 0x112, 0xF060)  # SC_CLOSE dismisses
        self.ended(rig.notifier)

    def test_box_opens_centred_over_the_popup_inside_the_work_area(self):
        for place, centred in (((400, 300), True), ((0, 0), False)):
            with self.subTest(place=place):
                rig = self.started(settings={"posx": place[0], "posy": place[1]})
                rig.wait_top_left(*place)
                probe("post", rig.popup["hwnd"], 0x112, 0x10)
                p, a = rig.popup["rect"], wait_for(self.about, 20, "the About box")["rect"]
                centre = lambda r, i: (r[i] + r[i + 2]) // 2
                self.assertLessEqual(abs(centre(a, 1) - centre(p, 1)), 1)
                if centred:
                    self.assertLessEqual(abs(centre(a, 0) - centre(p, 0)), 1)
                else:  # wider than the room on the left: against the work area's edge
                    self.assertEqual(a[0], 0)
