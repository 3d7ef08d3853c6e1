# The one harness of the end-to-end scenarios: a rig folder with the notifier,
# its skin and settings; the real programs under Wine with their output in
# files (never a pipe: Wine's services would inherit it); the probe for what
# only Win32 sees; xdotool for the real pointer; ImageMagick for the screen.
# Every wait has a deadline; a helper that does not come up is retried once.
import io
import os
import shutil
import subprocess
import tempfile
import time
import unittest

from PIL import Image

BIN = os.environ.get("LARKBELL_BIN", os.path.join(os.path.dirname(__file__), "../../build/bin"))
PROBE = os.path.join(BIN, "tests", "probe.exe")
KEY = (255, 0, 255)
DESKTOP = (1200, 1000)


class HarnessError(Exception):
    pass  # a helper or tool failed: no verdict on the program


def wait_for(condition, timeout=20, what="condition"):
    end = time.monotonic() + timeout
    while not (value := condition()):
        if time.monotonic() > end:
            raise AssertionError(f"timed out waiting for {what}; last: {value!r}")
        time.sleep(0.02)
    return value


class Program:
    def __init__(self, exe, *args):
        self.files = [tempfile.NamedTemporaryFile(prefix="lbt-", delete=False) for _ in range(2)]
        self.process = subprocess.Popen(["wine", exe, *map(str, args)], stdin=subprocess.DEVNULL,
                                        stdout=self.files[0], stderr=self.files[1])

    def wait(self, timeout=60):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def running(self):
        return self.process.poll() is None

    def output(self, i=0):
        return open(self.files[i].name, "rb").read().decode("cp932", "replace")

    def kill(self):
        if self.running():
            self.process.kill()
            self.process.wait(30)
        for f in self.files:
            f.close()
            os.path.exists(f.name) and os.unlink(f.name)


def run(exe, *args, timeout=60, again=False):
    # To its end: (exit code, stdout, stderr). again: a failure without a word,
    # which on a busy machine Wine now and then gives instead of running the
    # program, is a harness error, tried once more (never for a count's add).
    for _ in (1, 2):
        program = Program(exe, *args)
        try:
            result = program.wait(timeout), program.output(), program.output(1)
        finally:
            program.kill()
        if not again or result[0] == 0 or result[1] or result[2]:
            break
    return result


def probe(*args):
    code, out, err = run(PROBE, *args, again=True)
    if code != 0:
        raise HarnessError(f"probe {args}: exit {code}: {err}")
    return out


def ctl(*args):
    return run(os.path.join(BIN, "larkbellctl.exe"), *args, again=True)


def counter():
    return {k: int(v) for k, v in (f.split("=") for f in probe("count").split())}


def windows(exe="larkbell.exe", *hidden):
    # Visible (or, asked for, hidden) top-level windows of processes named exe, top first, each with its children.
    found = []
    for line in probe("windows", exe, *hidden).splitlines():
        head, _, text = line.partition(" text=" if line.startswith("  ") else " title=")
        facts = dict(f.split("=", 1) for f in head.split() if f != "child")
        if line.startswith("  "):
            found[-1]["children"].append(dict(facts, text=text))
            continue
        found.append(dict(facts, title=text, children=[], rect=tuple(map(int, facts["rect"].split(",")))))
        found[-1].update({k: int(facts[k], 16) for k in ("style", "ex", "lwa", "shape")})
        found[-1].update({k: int(facts[k]) for k in ("alpha", "enabled", "fg", "pid")})
    return found


def xdotool(*args):
    if subprocess.run(["xdotool", *map(str, args)], timeout=30).returncode != 0:
        raise HarnessError(f"xdotool {args}")


def screen(x, y, w, h):
    shot = subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage", "png:-"],
                          capture_output=True, timeout=30)
    if shot.returncode != 0:
        raise HarnessError("import: " + shot.stderr.decode(errors="replace"))
    return Image.open(io.BytesIO(shot.stdout)).convert("RGB")


def shape_hash(strip, frame, width):
    # The probe's hash of the shape the frame should give: the runs of non-key pixels, row by row.
    pixels, h = strip.convert("RGB").load(), 1
    for y in range(strip.height):
        x = 0
        while x < width:
            start = x
            while x < width and pixels[frame * width + x, y] != pixels[0, 0]:
                x += 1
            if x > start:
                for v in (y, start, x):
                    h = (h * 1000003 + v) % (1 << 64)
            x += 1
    return h


def in_turn(first, frames, length):
    return [(first + i) % frames for i in range(length)]


class Rig:
    # A folder with a notifier copy (or the one given), its skin and settings, and what it starts.
    def __init__(self, exe="larkbell.exe", skin=True, settings=None, folder=None):
        self.dir = folder or tempfile.mkdtemp(prefix="lbt-rig-")
        self.exe_name, self.base, self.exe = exe, exe.rsplit(".", 1)[0], os.path.join(self.dir, exe)
        self.programs = []
        if not folder:
            shutil.copy(os.path.join(BIN, "larkbell.exe"), self.exe)
            if skin is True:
                shutil.copy(os.path.join(BIN, "larkbell.bmp"), self.path("bmp"))
            elif isinstance(skin, bytes):
                self.write(self.base + ".bmp", skin)
            elif skin:
                skin.save(self.path("bmp"))
        if settings is not None:
            text = settings if isinstance(settings, str) else "".join(f"{k}={v}\r\n" for k, v in settings.items())
            self.write(self.base + ".ini", text if isinstance(settings, str) else "[setting]\r\n" + text)

    def path(self, extension):
        return os.path.join(self.dir, f"{self.base}.{extension}")

    def write(self, name, data):
        open(os.path.join(self.dir, name), "wb").write(data if isinstance(data, bytes) else data.encode("cp932"))

    def read(self):
        return open(self.path("ini"), "rb").read().decode("cp932") if os.path.exists(self.path("ini")) else None

    def launch(self, *args):
        self.programs.append(Program(self.exe, *args))
        return self.programs[-1]

    def add(self, *args):
        return run(self.exe, *args, timeout=30)[0]  # beside a running notifier it must end by itself

    def start(self, *args):
        # The notifier and its popup's facts; a popup that never came is tried once more.
        for attempt in (1, 2):
            self.notifier = self.launch(*args)
            try:
                self.popup = wait_for(self.facts, 30, "the popup")
                return self.popup
            except AssertionError:
                if attempt == 2 or not self.notifier.running():
                    raise
                self.notifier.kill()
                wait_for(lambda: not counter()["instance"], 20, "the stuck notifier's end")

    def facts(self):
        return next((w for w in windows(self.exe_name) if w["ex"] & 0x80000 and w["class"] == "#32770"), None)

    def watch(self, ms, changes=1000):
        # [(ms, shape, left, top)] each time the popup's shape or place changed.
        return [(int(t), int(h, 16), int(x), int(y)) for t, h, x, y in
                (line.split() for line in probe("watch", self.popup["hwnd"], ms, changes).splitlines())]

    def frames_seen(self, hashes, ms, changes=1000):
        return [hashes.index(h) if h in hashes else -1 for _, h, _, _ in self.watch(ms, changes)]

    def at(self, x, y):
        rect = self.facts()["rect"]
        return rect[0] + x, rect[1] + y

    def wait_top_left(self, x, y):
        return wait_for(lambda: self.facts()["rect"][:2] == (x, y), 20, f"the popup at {x},{y}")

    def close(self):
        for program in self.programs:
            program.kill()
        wait_for(lambda: not counter()["instance"], 20, "the notifier's named objects to go")
        shutil.rmtree(self.dir, ignore_errors=True)


class Scenario(unittest.TestCase):
    # What a scenario makes ends with it; a new rig ends the ones before, so a failed check leaves no notifier.
    def setUp(self):
        self.helpers = []
        self.scratch = tempfile.mkdtemp(prefix="lbt-scratch-")
        self.addCleanup(shutil.rmtree, self.scratch, True)
        xdotool("mouseup", 3, "mousemove", *DESKTOP)

    def tearDown(self):
        for helper in reversed(self.helpers):
            helper.close() if isinstance(helper, Rig) else helper.kill()

    def rig(self, *args, **kwargs):
        for old in [h for h in self.helpers if isinstance(h, Rig)]:
            old.close()
            self.helpers.remove(old)
        self.helpers.append(Rig(*args, **kwargs))
        return self.helpers[-1]

    def started(self, *args, **kwargs):
        # A new rig with its notifier started with args.
        rig = self.rig(**kwargs)
        rig.start(*args)
        return rig

    def helper(self, *args, ready=None):
        # A probe beside the scenario; ready: what it prints once it is up.
        for attempt in (1, 2):
            program = Program(PROBE, *args)
            self.helpers.append(program)
            try:
                wait_for(lambda: not ready or ready in program.output() or not program.running(), 30, args[0])
                if not ready or ready in program.output():
                    return program
            except AssertionError:
                pass
            program.kill()
        raise HarnessError(f"probe {args} did not come up")

    def ended(self, program):
        # Ended by itself, the count reset and the instance gone; the held section lives on.
        self.assertEqual(program.wait(30), 0)
        wait_for(lambda: counter() == {"count": 0, "section": 1, "instance": 0}, what="count reset, instance gone")

    def hold_section(self):
        return self.helper("hold-section", ready="holding")  # the count outlives the notifier

    def release_file(self):
        return os.path.join(self.scratch, "go")


class Titled:
    # Another program's top-level windows [(state, title)] for the notifier to match.
    def __init__(self, scenario, specs):
        listing = os.path.join(scenario.scratch, f"list-{id(self)}.txt")
        open(listing, "wb").write("".join(f"{state}\t{title}\r\n" for state, title in specs).encode("cp932"))
        self.program = scenario.helper("titled", listing, ready="ready")
        self.hwnds = self.program.output().split()[:-1]

    def states(self):
        # Each window's state, and whether it is the foreground window.
        shown = {w["hwnd"]: w for w in windows("probe.exe")}
        return [(("minimised" if shown[h]["style"] & 0x20000000 else "maximised" if shown[h]["style"] & 0x1000000
                  else "normal"), shown[h]["fg"]) if h in shown else ("hidden", 0) for h in self.hwnds]
