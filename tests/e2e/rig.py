# The one harness of the end-to-end scenarios: a rig folder with the notifier,
# its skin and settings; the real programs under Wine with their output in
# files; the probe for what only Win32 sees; xdotool for the real pointer;
# ImageMagick's import for the screen. Every wait has a deadline.
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
    """A helper or tool of the harness failed; no verdict on the program."""


def wait_for(condition, timeout=20, what="condition"):
    """Polls until condition() gives something true; that value, or a failure at the deadline."""
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError(f"timed out waiting for {what}; last: {value!r}")
        time.sleep(0.02)


class Program:
    """A Windows program under Wine; output in files, never in a pipe."""

    def __init__(self, exe, *args):
        self.out = tempfile.NamedTemporaryFile(prefix="lbt-out-", delete=False)
        self.err = tempfile.NamedTemporaryFile(prefix="lbt-err-", delete=False)
        self.process = subprocess.Popen(["wine", exe, *args], stdin=subprocess.DEVNULL, stdout=self.out, stderr=self.err)

    def wait(self, timeout=60):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def running(self):
        return self.process.poll() is None

    def output(self):
        with open(self.out.name, "rb") as f:
            return f.read().decode("cp932", "replace")

    def errors(self):
        with open(self.err.name, "rb") as f:
            return f.read().decode("cp932", "replace")

    def kill(self):
        if self.running():
            self.process.kill()
            self.process.wait(30)
        for f in (self.out, self.err):
            f.close()
            if os.path.exists(f.name):
                os.unlink(f.name)


def run(exe, *args, timeout=60):
    """Runs a program to its end: (exit code, stdout, stderr)."""
    program = Program(exe, *map(str, args))
    try:
        code = program.wait(timeout)
        return code, program.output(), program.errors()
    finally:
        program.kill()


def probe(*args):
    code, out, err = run(PROBE, *map(str, args))
    if code != 0:
        raise HarnessError(f"probe {args}: exit {code}: {err}")
    return out


def ctl(*args):
    return run(os.path.join(BIN, "larkbellctl.exe"), *map(str, args))


def counter():
    """{'count': n, 'section': 0/1, 'instance': 0/1}"""
    return {k: int(v) for k, v in (f.split("=") for f in probe("count").split())}


def parse_window(line):
    head, _, title = line.partition(" title=")
    facts = dict(f.split("=", 1) for f in head.split())
    facts["title"] = title
    facts["rect"] = tuple(map(int, facts["rect"].split(",")))
    for key in ("style", "ex", "lwa", "shape"):
        facts[key] = int(facts[key], 16)
    for key in ("alpha", "enabled", "fg", "pid"):
        facts[key] = int(facts[key])
    facts["children"] = []
    return facts


def windows(exe="larkbell.exe"):
    """Visible top-level windows of processes named exe, each with its children."""
    found = []
    for line in probe("windows", exe).splitlines():
        if line.startswith("  child "):
            head, _, text = line[8:].partition(" text=")
            child = dict(f.split("=", 1) for f in head.split())
            child["text"] = text
            found[-1]["children"].append(child)
        elif line:
            found.append(parse_window(line))
    return found


def xdotool(*args):
    if subprocess.run(["xdotool", *map(str, args)], timeout=30).returncode != 0:
        raise HarnessError(f"xdotool {args}")


def screen(x, y, w, h):
    """The screen area as a Pillow RGB picture."""
    shot = subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage", "png:-"],
                          capture_output=True, timeout=30)
    if shot.returncode != 0:
        raise HarnessError("import: " + shot.stderr.decode(errors="replace"))
    import io
    return Image.open(io.BytesIO(shot.stdout)).convert("RGB")


def shape_hash(strip, frame, width):
    """The probe's hash of the shape a frame of the strip should give: its non-key pixels."""
    pixels = strip.convert("RGB").load()
    key = pixels[0, 0]
    h = 1
    for y in range(strip.height):
        x = 0
        while x < width:
            if pixels[frame * width + x, y] == key:
                x += 1
                continue
            start = x
            while x < width and pixels[frame * width + x, y] != key:
                x += 1
            for v in (y, start, x):
                h = (h * 1000003 + v) % (1 << 64)
    return h


def in_turn(first, frames, length):
    """The frames an animation shows in turn from `first`."""
    return [(first + i) % frames for i in range(length)]


def strip_of(frames, width, height, draw, key=KEY):
    """A key-coloured strip; draw(pen, x0, i) paints frame i."""
    from PIL import ImageDraw
    picture = Image.new("RGB", (frames * width, height), key)
    pen = ImageDraw.Draw(picture)
    for i in range(frames):
        draw(pen, i * width, i)
    return picture


class Rig:
    """A folder with a notifier copy, its skin and settings, and what it starts."""

    def __init__(self, exe="larkbell.exe", skin=True, settings=None, folder=None):
        """folder: one that already holds the notifier and its skin."""
        self.dir = folder or tempfile.mkdtemp(prefix="lbt-rig-", dir=os.environ.get("LARKBELL_RIGS"))
        self.exe_name = exe
        self.base = exe.rsplit(".", 1)[0]
        self.exe = os.path.join(self.dir, exe)
        if folder:
            pass
        elif shutil.copy(os.path.join(BIN, "larkbell.exe"), self.exe) and skin is True:
            shutil.copy(os.path.join(BIN, "larkbell.bmp"), self.path("bmp"))
        elif isinstance(skin, bytes):
            self.write(self.base + ".bmp", skin)
        elif skin is not None:
            skin.save(self.path("bmp"))
        if settings is not None:
            self.settings(settings)
        self.programs = []

    def path(self, extension):
        return os.path.join(self.dir, f"{self.base}.{extension}")

    def write(self, name, data):
        with open(os.path.join(self.dir, name), "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode("cp932"))

    def read(self, name=None):
        try:
            with open(os.path.join(self.dir, name or self.base + ".ini"), "rb") as f:
                return f.read().decode("cp932")
        except FileNotFoundError:
            return None

    def settings(self, keys):
        """Section [setting] from a dict, or the raw text of the file."""
        text = keys if isinstance(keys, str) else "[setting]\r\n" + "".join(f"{k}={v}\r\n" for k, v in keys.items())
        self.write(self.base + ".ini", text)

    def launch(self, *args):
        program = Program(self.exe, *map(str, args))
        self.programs.append(program)
        return program

    def add(self, *args):
        """A start beside a running notifier: it must end by itself."""
        code, _, _ = run(self.exe, *map(str, args))
        return code

    def start(self, *args):
        """Starts the notifier and gives its popup's facts. A popup that never came is tried once more."""
        for attempt in (1, 2):
            self.notifier = self.launch(*args)
            try:
                self.popup = wait_for(lambda: self.find_popup(), 30, "the popup")
                return self.popup
            except AssertionError:
                if attempt == 2 or not self.notifier.running():
                    raise
                self.notifier.kill()
                wait_for(lambda: not counter()["instance"], 20, "the stuck notifier's end")

    def find_popup(self):
        for w in windows(self.exe_name):
            if w["ex"] & 0x80000 and w["class"] == "#32770":
                return w
        return None

    def facts(self):
        return self.find_popup()

    def watch(self, ms, changes=1000):
        """[(ms, shape, left, top)] each time the popup's shape or place changed."""
        return [tuple(int(v, 16) if i == 1 else int(v) for i, v in enumerate(line.split()))
                for line in probe("watch", self.popup["hwnd"], ms, changes).splitlines()]

    def frames_seen(self, hashes, ms, changes=1000):
        """Frame indices in the order the popup showed them (-1: no frame)."""
        return [hashes.index(h) if h in hashes else -1 for _, h, _, _ in self.watch(ms, changes)]

    def at(self, x, y):
        """Screen point at window coordinates (x, y) of the popup."""
        rect = self.facts()["rect"]
        return rect[0] + x, rect[1] + y

    def wait_top_left(self, x, y, timeout=20):
        return wait_for(lambda: self.facts()["rect"][:2] == (x, y), timeout, f"the popup at {x},{y}")

    def close(self):
        for program in self.programs:
            program.kill()
        wait_for(lambda: not counter()["instance"], 20, "the notifier's named objects to go")
        shutil.rmtree(self.dir, ignore_errors=True)


class Scenario(unittest.TestCase):
    """Rigs and helpers made through it end with the test, pointer parked."""

    def setUp(self):
        self.helpers = []
        self.scratch = tempfile.mkdtemp(prefix="lbt-scratch-", dir=os.environ.get("LARKBELL_RIGS"))
        self.addCleanup(shutil.rmtree, self.scratch, True)
        xdotool("mouseup", 3)
        xdotool("mousemove", *DESKTOP)

    def tearDown(self):
        for helper in reversed(self.helpers):
            helper.close() if isinstance(helper, Rig) else helper.kill()

    def rig(self, *args, **kwargs):
        """A new rig; the ones before it end first, so that a failed check leaves no notifier behind."""
        for old in [h for h in self.helpers if isinstance(h, Rig)]:
            old.close()
            self.helpers.remove(old)
        rig = Rig(*args, **kwargs)
        self.helpers.append(rig)
        return rig

    def helper(self, *args, ready=None):
        """A probe running beside the scenario; ready: text it prints once it is up."""
        for attempt in (1, 2):
            program = Program(PROBE, *map(str, args))
            self.helpers.append(program)
            try:
                if ready:
                    wait_for(lambda: ready in program.output() or not program.running(), 30, f"probe {args[0]}")
                if not ready or ready in program.output():
                    return program
            except AssertionError:
                pass
            program.kill()
        raise HarnessError(f"probe {args} did not come up")

    def hold_section(self):
        """Keeps the count alive after the notifier ends."""
        return self.helper("hold-section", ready="holding")


class Titled:
    """Another program's top-level windows, [(state, title)], recording what befalls them."""

    def __init__(self, scenario, specs):
        folder = tempfile.mkdtemp(prefix="lbt-titled-", dir=os.environ.get("LARKBELL_RIGS"))
        scenario.addCleanup(shutil.rmtree, folder, True)
        listing, self.record = os.path.join(folder, "list.txt"), os.path.join(folder, "record.txt")
        with open(listing, "wb") as f:
            f.write("".join(f"{state}\t{title}\r\n" for state, title in specs).encode("cp932"))
        self.count = len(specs)
        self.flushes = 0
        self.program = scenario.helper("titled", listing, self.record)
        wait_for(lambda: len(self.latest()) == self.count, 30, "the titled windows")

    def latest(self):
        try:
            with open(self.record) as f:
                lines = f.read().splitlines()
        except FileNotFoundError:
            return []
        keys = ("hwnd", "state", "activations", "last", "restores", "shows")
        return [dict(zip(keys, [v if i < 2 else int(v) for i, v in enumerate(line.split())]))
                for line in lines if not line.startswith("flush=")]

    def settled(self):
        """The records once everything queued so far has been handled."""
        self.flushes += 1
        probe("post", self.latest()[0]["hwnd"], 0x8001, self.flushes)
        wait_for(lambda: f"flush={self.flushes}" in open(self.record).read(), 20, "the titled windows to settle")
        return self.latest()
