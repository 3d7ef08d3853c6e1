# The shared count: starts that add, the single instance, the lock, the
# section's life, the named objects' access lists, and larkbellctl.
import time
import unittest

from rig import BIN, Program, Scenario, counter, ctl, probe, wait_for, windows, xdotool

INT_MIN, INT_MAX = -2**31, 2**31 - 1
CTL = BIN + "/larkbellctl.exe"


def line(text):
    """The one line printed, or '?' unless exactly one line was printed."""
    lines = text.split("\n")
    return lines[0].rstrip("\r") if len(lines) == 2 and lines[1] == "" else "?"


class Count(Scenario):
    def test_first_start_shows_the_popup_later_starts_add_like_atoi_and_exit(self):
        rig = self.rig()
        popup = rig.start(3)
        self.assertEqual(counter()["count"], 3)
        # The template's style: popup, visible, no caption or frame; layered, top-most.
        self.assertEqual(popup["style"] & ~0x04000000 & ~0x4, 0x90000040, hex(popup["style"]))
        self.assertEqual(popup["ex"] & ~0x10000, 0x80008, hex(popup["ex"]))
        # 91 x 98 dialog units of the template's 9-point font.
        left, top, right, bottom = popup["rect"]
        self.assertEqual((right - left, bottom - top), (137, 159))
        # Each start beside the notifier must end by itself (exit 0) having added.
        cases = [
            (["12abc"], 100, 112), (["abc"], 100, 100), (["5", "7"], 100, 105), (["-8"], 3, -5),
            (["  +42"], 0, 42), ([""], 100, 100), (["   "], 100, 100), (["新着メール"], 100, 100),
            (["12通"], 100, 112), (["３"], 100, 100), (["0" * 4999 + "7"], 100, 107), (["x" * 5000], 100, 100),
            ([], 100, 100),
            (["2147483647"], 1, INT_MIN), (["-2147483648"], -1, INT_MAX), (["99999999999"], 10, INT_MIN + 9),
            (["-99999999999"], -10, INT_MAX - 9), (["4294967297"], 0, INT_MAX),
            (["18446744073709551617"], 0, INT_MAX), (["-" + "9" * 5000], 0, INT_MIN),
        ]
        for args, before, after in cases:
            with self.subTest(args=[a[:20] for a in args]):
                self.assertEqual(ctl("set", before)[0], 0)
                self.assertEqual(rig.add(*args), 0)
                self.assertEqual(counter()["count"], after)
        self.assertEqual(len(windows()), 1)
        self.assertTrue(rig.notifier.running())

    def test_start_without_number_shows_the_popup_without_waiting_for_the_lock(self):
        self.hold_section()
        ctl("set", 7)
        holder = self.helper("hold-lock", self.scratch + "/go", ready="held")
        # A reader that waits for the lock from before the start: a start-up
        # that touched the count could not show its popup while it still waits.
        reader = Program(CTL, "get")
        self.helpers.append(reader)
        rig = self.rig()
        rig.start()
        self.assertTrue(reader.running(), "the popup came only after a full wait for the lock")
        open(self.scratch + "/go", "w").close()
        self.assertEqual(holder.wait(30), 0)
        self.assertEqual(counter()["count"], 7)
        self.assertTrue(rig.notifier.running())

    def test_enter_and_escape_end_the_notifier_after_the_teardown(self):
        self.hold_section()
        for key in ("Return", "Escape"):
            with self.subTest(key=key):
                ctl("set", 5)
                rig = self.rig()
                rig.start()
                xdotool("mousemove", *rig.at(95, 93))
                xdotool("key", key)
                self.assertEqual(rig.notifier.wait(30), 0)
                self.assertEqual(counter(), {"count": 0, "section": 1, "instance": 0})
        self.rig().start()

    def test_section_lives_while_a_process_holds_it(self):
        self.assertEqual(counter(), {"count": 0, "section": 0, "instance": 0})
        code, out, err = ctl("set", 7)
        self.assertEqual((code, line(out)), (0, "7"))
        self.assertIn("not kept", err)
        self.assertEqual(line(err), err.split("\n")[0].rstrip("\r"))
        self.assertEqual(counter(), {"count": 0, "section": 0, "instance": 0})
        rig = self.rig()
        rig.start()
        self.assertEqual(counter()["section"], 1)
        self.assertEqual(ctl("set", 9)[1:], ("9\r\n", ""))
        self.assertEqual(rig.add(4), 0)
        self.assertEqual(line(ctl("get")[1]), "13")
        rig.notifier.kill()
        wait_for(lambda: counter() == {"count": 0, "section": 0, "instance": 0}, what="the section to go")

    def test_simultaneous_starts_and_adds_lose_nothing(self):
        rig = self.rig()
        rig.start()
        ctl("set", 1000)
        starts = [Program(rig.exe, "1") for _ in range(25)]
        adds = [Program(CTL, "add", "1") for _ in range(15)]
        self.helpers += starts + adds
        self.assertEqual([p.wait(120) for p in starts + adds], [0] * 40)
        # An add that held the lock across its read and write prints a sum no other add printed.
        sums = [int(line(p.output())) for p in adds]
        self.assertEqual(len(set(sums)), 15, sums)
        self.assertEqual(counter()["count"], 1040)

    def test_lock_of_a_dead_holder_passes_on_and_a_held_lock_stores_nothing(self):
        self.hold_section()  # it keeps the mutex too, so that abandoned is seen
        rig = self.rig()
        rig.start()
        ctl("set", 10)
        abandoned = self.helper("hold-lock", "-", ready="held")
        self.assertEqual(abandoned.wait(30), 0)
        self.assertEqual(rig.add(2), 0)
        self.assertEqual(counter()["count"], 12)
        for add in (lambda: rig.add(3), lambda: ctl("add", 4)[0]):
            self.helper("hold-lock", rig.dir + "/never", ready="held").kill()
            self.assertEqual(add(), 0)
        self.assertEqual(counter()["count"], 19)

        self.helper("hold-lock", rig.dir + "/go", ready="held")
        began = time.monotonic()
        refused = [Program(CTL, *args) for args in (["get"], ["set", "3"], ["add", "1"], ["reset"])]
        self.helpers += refused
        for program in refused:
            self.assertEqual(program.wait(60), 1)
            self.assertNotEqual(line(program.errors()), "?")
            self.assertEqual(program.output(), "")
        # Each gives up only after the whole wait of 10 s.
        self.assertGreaterEqual(time.monotonic() - began, 9.8)
        rig.write("go", b"")
        self.assertEqual(counter()["count"], 19)

    def test_named_objects_carry_their_access_lists(self):
        rig = self.rig()
        rig.start(2)
        self.helper("hold-lock", rig.dir + "/go", ready="held")
        facts = dict(line.split(" ", 1) for line in probe("security").splitlines())
        rig.write("go", b"")
        self.assertIn(facts["mutex"], ("D:(D;;WDWO;;;WD)(A;;GA;;;WD)", "D:(D;;WDWO;;;WD)(A;;0x1f0001;;;WD)"))
        self.assertIn(facts["section"], ("D:(A;;GXGWGR;;;AU)", "D:(A;;0xf001f;;;AU)", "D:(A;;0xf000f;;;AU)"))
        self.assertEqual(facts["fresh-mutex"], "D:(D;;WDWO;;;WD)(A;;GA;;;WD)")
        # The section's list alone (28 bytes), no owner; a mutex is owned only when asked;
        # a mutex that may only be waited on is opened for waiting.
        self.assertEqual((facts["built-section"], facts["owned"], facts["narrow"]), ("28 0", "0 1", "1 1"))

    def test_larkbellctl_prints_the_count_after_each_command_and_refuses_in_one_line(self):
        self.hold_section()
        ctl("set", 5)
        steps = [("get", "5"), ("set 42", "42"), ("add -50", "-8"), ("add +3", "-5"),
                 ("set -2147483648", "-2147483648"), ("add -1", "2147483647"), ("add 1", "-2147483648"),
                 ("reset", "0"), ("get", "0")]
        for args, printed in steps:
            with self.subTest(args=args):
                self.assertEqual(ctl(*args.split()), (0, printed + "\r\n", ""))
                self.assertEqual(counter()["count"], int(printed))
        ctl("set", 77)
        refused = [[], ["frob"], ["SET", "1"], ["get", "1"], ["reset", "0"], ["set"], ["add"], ["set", "1", "2"],
                   ["set", "12abc"], ["add", "99999999999"], ["set", "2147483648"], ["add", "-2147483649"],
                   ["set", ""], ["set", " 5"], ["add", "0x10"], ["add", "-"]]
        for args in refused:
            with self.subTest(args=args):
                code, out, err = ctl(*args)
                self.assertNotEqual(code, 0)
                self.assertNotIn(line(err), ("?", ""))
                self.assertEqual((out, counter()["count"]), ("", 77))


if __name__ == "__main__":
    unittest.main()
