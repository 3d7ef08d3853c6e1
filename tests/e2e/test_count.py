# The shared count: starts that add, the single instance, the lock, the
# section's life, the named objects' access lists, and larkbellctl.
import time

from rig import BIN, Program, Scenario, counter, ctl, probe, wait_for, windows

INT_MIN, INT_MAX = -2**31, 2**31 - 1
CTL = BIN + "/larkbellctl.exe"
GONE = {"count": 0, "section": 0, "instance": 0}


def line(text):
    # The one line printed, or "?" unless exactly one line was printed.
    return text[:-2] if text.endswith("\r\n") and "\n" not in text[:-2] else "?"


class Count(Scenario):
    def test_first_start_shows_the_popup_later_starts_add_like_atoi_and_exit(self):
        rig = self.rig()
        popup = rig.start(3)
        self.assertEqual(counter()["count"], 3)
        # The template: popup, visible, no caption or frame, 91 x 98 dialog units of its 9-point font;
        # layered and top-most. The system adds only sibling clipping and the 3-D look.
        self.assertEqual((popup["style"] & ~0x04000004, popup["ex"] & ~0x10000), (0x90000040, 0x80008))
        self.assertEqual((popup["rect"][2] - popup["rect"][0], popup["rect"][3] - popup["rect"][1]), (137, 159))
        cases = [(["12abc"], 100, 112), (["abc"], 100, 100), (["5", "7"], 100, 105), (["-8"], 3, -5),
                 (["  +42"], 0, 42), ([""], 100, 100), (["   "], 100, 100), (["新着メール"], 100, 100),
                 (["12通"], 100, 112), (["３"], 100, 100), (["0" * 4999 + "7"], 100, 107), (["x" * 5000], 100, 100),
                 ([], 100, 100), (["2147483647"], 1, INT_MIN), (["-2147483648"], -1, INT_MAX),
                 (["99999999999"], 10, INT_MIN + 9), (["-99999999999"], -10, INT_MAX - 9), (["4294967297"], 0, INT_MAX),
                 (["18446744073709551617"], 0, INT_MAX), (["-" + "9" * 5000], 0, INT_MIN)]
        for args, before, after in cases:
            with self.subTest(args=[a[:20] for a in args]):
                ctl("set", before)
                # It ends by itself: no second popup.
                self.assertEqual((rig.add(*args), counter()["count"]), (0, after))
        self.assertEqual(len(windows()), 1)

    def test_start_without_number_shows_the_popup_without_waiting_for_the_lock(self):
        self.hold_section()
        ctl("set", 7)
        holder = self.helper("hold-lock", self.release_file(), ready="held")
        # A reader that waits for the lock from before the start: a start-up that
        # touched the count could not show its popup while the reader still waits.
        reader = Program(CTL, "get")
        self.helpers.append(reader)
        self.started()
        self.assertTrue(reader.running(), "the popup came only after a full wait for the lock")
        open(self.release_file(), "w").close()
        self.assertEqual((holder.wait(30), counter()["count"]), (0, 7))

    def test_section_lives_while_a_process_holds_it(self):
        self.assertEqual(counter(), GONE)
        code, out, err = ctl("set", 7)
        self.assertEqual((code, line(out), counter()), (0, "7", GONE))
        self.assertIn("not kept", line(err))
        rig = self.started()
        self.assertEqual((ctl("set", 9)[1:], rig.add(4), line(ctl("get")[1])), (("9\r\n", ""), 0, "13"))
        rig.notifier.kill()
        wait_for(lambda: counter() == GONE, what="the section to go")

    def test_simultaneous_starts_and_adds_lose_nothing(self):
        rig = self.started()
        ctl("set", 1000)
        starts, adds = [Program(rig.exe, "1") for _ in range(25)], [Program(CTL, "add", "1") for _ in range(15)]
        self.helpers += starts + adds
        self.assertEqual([p.wait(120) for p in starts + adds], [0] * 40)
        # An add that held the lock across its read and write prints a sum no other add printed.
        self.assertEqual((len({line(p.output()) for p in adds}), counter()["count"]), (15, 1040))

    def test_lock_of_a_dead_holder_passes_on_and_a_held_lock_stores_nothing(self):
        self.hold_section()  # it keeps the mutex too, so that abandoned is seen
        rig = self.started()
        ctl("set", 10)
        self.assertEqual(self.helper("hold-lock", "-", ready="held").wait(30), 0)  # exits holding it
        self.assertEqual(rig.add(2), 0)
        for add in (lambda: rig.add(3), lambda: ctl("add", 4)[0]):
            self.helper("hold-lock", self.scratch + "/never", ready="held").kill()  # ended holding it
            self.assertEqual(add(), 0)
        self.assertEqual(counter()["count"], 19)

        self.helper("hold-lock", self.release_file(), ready="held")
        began = time.monotonic()
        refused = [Program(CTL, *args) for args in (["get"], ["set", "3"], ["add", "1"], ["reset"])]
        self.helpers += refused
        self.assertEqual([p.wait(60) for p in refused], [1] * 4)
        self.assertGreaterEqual(time.monotonic() - began, 9.8)  # each gives up only after the whole wait of 10 s
        self.assertEqual([(p.output(), line(p.output(1)) != "?") for p in refused], [("", True)] * 4)
        open(self.release_file(), "w").close()
        self.assertEqual(counter()["count"], 19)

    def test_named_objects_carry_their_access_lists(self):
        self.started(2)
        self.helper("hold-lock", self.release_file(), ready="held")
        facts = dict(line.split(" ", 1) for line in probe("security").splitlines())
        # Everyone may do all but change the mutex's list or owner; Authenticated Users may read,
        # write and execute the section. Masks may come back generic or mapped.
        self.assertIn(facts["mutex"], ("D:(D;;WDWO;;;WD)(A;;GA;;;WD)", "D:(D;;WDWO;;;WD)(A;;0x1f0001;;;WD)"))
        self.assertIn(facts["section"], ("D:(A;;GXGWGR;;;AU)", "D:(A;;0xf001f;;;AU)", "D:(A;;0xf000f;;;AU)"))
        self.assertEqual(facts["fresh-mutex"], "D:(D;;WDWO;;;WD)(A;;GA;;;WD)")
        # The section's list alone (28 bytes) and no owner; a mutex is created owned only when asked.
        self.assertEqual((facts["built-section"], facts["owned"]), ("28 0", "0 1"))

    def test_larkbellctl_prints_the_count_after_each_command_and_refuses_in_one_line(self):
        self.hold_section()
        ctl("set", 5)
        for args, printed in [("get", 5), ("set 42", 42), ("add -50", -8), ("add +3", -5), ("reset", 0),
                              ("set -2147483648", INT_MIN), ("add -1", INT_MAX), ("add 1", INT_MIN)]:
            with self.subTest(args=args):
                self.assertEqual((ctl(*args.split()), counter()["count"]), ((0, f"{printed}\r\n", ""), printed))
        for args in ["", "frob", "SET,1", "get,1", "reset,0", "set", "add", "set,1,2", "set,12abc", "add,99999999999",
                     "set,2147483648", "add,-2147483649", "set,", "set, 5", "add,0x10", "add,-"]:
            with self.subTest(args=args):
                code, out, err = ctl(*(args.split(",") if args else []))
                self.assertEqual((code != 0, out, line(err) not in ("?", ""), counter()["count"]), (True, "", True, INT_MIN))
