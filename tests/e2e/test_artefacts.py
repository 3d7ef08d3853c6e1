# The shipped artefacts: the release zip (exactly the files users get, a guide
# Notepad reads, the program working from a plain folder and from one whose
# path holds Japanese and a space) and tools/makeskin (strips from PNG frames,
# its refusals and warnings, and a strip it made shown by the real notifier).
import os
import shutil
import subprocess
import tempfile
import unittest
import zipfile

from PIL import Image, ImageDraw

from rig import BIN, KEY, Scenario, counter, ctl, run, screen, shape_hash, wait_for, windows

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "../.."))
SETTINGS = ["interval", "trans", "bmpwidth", "posx", "posy", "textleft", "texttop", "textright", "textbottom",
            "activate", "windowname", "fontsize", "fontcolr", "fontcolg", "fontcolb", "font"]


def sh(*args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, **kwargs)


class Artefacts(Scenario):
    def setUp(self):
        super().setUp()
        self.work = tempfile.mkdtemp(prefix="lbt-artefacts-")
        self.addCleanup(shutil.rmtree, self.work, True)

    def test_release_zip_holds_the_five_files_and_runs_from_any_folder(self):
        made = sh(os.path.join(ROOT, "scripts/make-dist"), os.path.dirname(BIN), self.work)
        path = made.stdout.strip()
        self.assertEqual(os.path.basename(path), "larkbell-1.0.1.1-win64.zip", made.stderr)
        files = zipfile.ZipFile(path)
        self.assertEqual(sorted(files.namelist()), ["README-ja-en.txt", "larkbell.bmp", "larkbell.exe",
                                                    "larkbell.ini.sample", "larkbellctl.exe"])
        guide, sample = files.read("README-ja-en.txt"), files.read("larkbell.ini.sample")
        self.assertTrue(guide.startswith(b"\xef\xbb\xbf"))
        text = guide.decode("utf-8")
        self.assertEqual(text.count("\n"), text.count("\r\n"))
        self.assertIn("インストール", text)
        self.assertFalse([m for m in ("![", "**", "`") if m in text])
        self.assertEqual([k for k in SETTINGS if f"| {k} |" not in text], [])
        self.assertIn("[setting]", sample.decode("cp932").lower())
        self.assertEqual(sample.count(b"\n"), sample.count(b"\r\n"))
        self.assertEqual(files.read("larkbell.bmp"), open(os.path.join(BIN, "larkbell.bmp"), "rb").read())
        for name, kind in (("larkbell.exe", "(GUI) x86-64"), ("larkbellctl.exe", "(console) x86-64")):
            files.extract(name, self.work)
            self.assertIn("PE32+ executable " + kind, sh("file", os.path.join(self.work, name)).stdout)

        for folder in ("plain", "テスト 通知/larkbell"):
            with self.subTest(folder=folder):
                where = os.path.join(self.work, folder)
                files.extractall(where)
                before = sorted(os.listdir(where))
                notifier = self.rig(folder=where)
                notifier.start()
                self.assertEqual(notifier.add(4), 0)
                self.assertEqual(run(os.path.join(where, "larkbellctl.exe"), "get")[1], "4\r\n")
                self.assertTrue(notifier.notifier.running())
                self.assertEqual(sorted(os.listdir(where)), before, "running creates no file")
                notifier.programs[0].kill()
                wait_for(lambda: not windows(), what="the popup gone")

    def makeskin(self, *args):
        return sh(os.path.join(ROOT, "tools/makeskin"), *args, cwd=self.work)

    def frames(self, folder, colours, size=(60, 50)):
        os.makedirs(os.path.join(self.work, folder))
        for name, colour in colours.items():
            frame = Image.new("RGBA", size, KEY)
            pen = ImageDraw.Draw(frame)
            pen.rectangle([5, 5, size[0] - 6, size[1] - 6], (40, 40, 60))
            pen.rectangle([10, 10, 14, 14], colour)
            frame.save(os.path.join(self.work, folder, name))

    def test_makeskin_strips_refusals_and_a_strip_the_notifier_shows(self):
        self.frames("good", {"c.png": (0, 0, 255), "a.png": (255, 0, 0), "b.png": (0, 255, 0)})
        made = self.makeskin("--text-box", "20,20,40,30", "good", "good.bmp")
        self.assertEqual((made.returncode, made.stderr.count("warning")), (0, 0))
        self.assertEqual(made.stdout.split(), ["[setting]", "bmpwidth=60", "textleft=20", "texttop=20",
                                               "textright=40", "textbottom=30"])
        strip_path = os.path.join(self.work, "good.bmp")
        self.assertIn("PC bitmap, Windows 3.x format, 180 x 50 x 24", sh("file", strip_path).stdout)
        self.assertEqual(os.path.getsize(strip_path), 54 + 180 * 3 * 50)  # no palette, no compression
        strip = Image.open(strip_path)
        self.assertEqual([strip.getpixel((x, 12)) for x in (12, 72, 132)] + [strip.getpixel((0, 0))],
                         [(255, 0, 0), (0, 255, 0), (0, 0, 255), KEY], "frames in name order, key at the corner")
        default = self.makeskin("good", "default.bmp")
        self.assertEqual(default.stdout.split()[-4:], ["textleft=85", "texttop=86", "textright=106", "textbottom=100"])
        self.assertRegex(default.stderr, "warning:.*outside")

        os.makedirs(os.path.join(self.work, "clear"))
        clear = Image.new("RGBA", (20, 20), (0, 0, 0, 0))
        ImageDraw.Draw(clear).rectangle([4, 4, 15, 15], (10, 20, 30))
        clear.putpixel((1, 1), (200, 0, 0, 64))
        clear.putpixel((2, 18), (0, 200, 0, 191))
        clear.save(os.path.join(self.work, "clear/1.png"))
        self.makeskin("--text-box", "4,4,16,16", "clear", "clear.bmp")
        clear = Image.open(os.path.join(self.work, "clear.bmp"))
        self.assertEqual([clear.getpixel(p) for p in ((0, 0), (1, 1), (2, 18), (9, 9))],
                         [KEY, KEY, (0, 200, 0), (10, 20, 30)], "less than half opaque becomes the key")

        self.frames("holed", {"a.png": (255, 0, 0), "b.png": (0, 255, 0), "c.png": (0, 0, 255)})
        holed = Image.open(os.path.join(self.work, "holed/b.png"))
        holed.putpixel((30, 25), KEY)
        holed.save(os.path.join(self.work, "holed/b.png"))
        warned = self.makeskin("--text-box", "20,20,40,30", "holed", "holed.bmp")
        self.assertEqual(warned.returncode, 0)
        warnings = [line for line in warned.stderr.splitlines() if "warning" in line]
        self.assertEqual([name for name in ("a.png", "b.png", "c.png") for w in warnings if name in w], ["b.png"])

        self.frames("unequal", {"a.png": (255, 0, 0)})
        self.frames("unequal-b", {"b.png": (255, 0, 0)}, (61, 50))
        shutil.move(os.path.join(self.work, "unequal-b/b.png"), os.path.join(self.work, "unequal"))
        self.frames("thirty-one", {f"{i:02}.png": (0, 0, 0) for i in range(1, 32)}, (4, 4))
        os.makedirs(os.path.join(self.work, "empty"))
        self.frames("not-png", {"a.png": (255, 0, 0)})
        Image.open(os.path.join(self.work, "not-png/a.png")).convert("RGB").save(os.path.join(self.work, "not-png/b.png"), "JPEG")
        for why, message, args in (("unequal sizes", "differ in size", ["unequal"]),
                                   ("31 frames", "at most 30", ["--text-box", "2,2,3,3", "thirty-one"]),
                                   ("an empty folder", "no frames", ["empty"]), ("a JPEG", "b.png is not a PNG", ["not-png"]),
                                   ("a bad text box", "four integers", ["--text-box", "1,2,3", "good"])):
            with self.subTest(why):
                refused = self.makeskin(*args, "refused.bmp")
                self.assertNotEqual(refused.returncode, 0)
                self.assertIn(message, refused.stderr.lower() if message.islower() else refused.stderr)
                self.assertFalse(os.path.exists(os.path.join(self.work, "refused.bmp")))
        os.remove(os.path.join(self.work, "thirty-one/31.png"))
        self.assertEqual(self.makeskin("--text-box", "2,2,3,3", "thirty-one", "thirty.bmp").returncode, 0)

        lark = os.path.join(ROOT, "skins/lark")
        settings = open(os.path.join(lark, "settings.ini")).read()
        box = ",".join(line.split("=")[1] for line in settings.splitlines() if line.startswith("text"))
        remade = self.makeskin("--text-box", box, os.path.join(lark, "frames"), "lark.bmp")
        self.assertEqual(remade.stdout, settings, "skins/lark/settings.ini holds the printed lines")
        self.assertEqual(open(os.path.join(self.work, "lark.bmp"), "rb").read(),
                         open(os.path.join(lark, "larkbell.bmp"), "rb").read(), "skins/lark is up to date")

        rig = self.rig(skin=strip, settings=made.stdout.replace("\n", "\r\n"))
        popup = rig.start()
        self.assertEqual(popup["shape"], shape_hash(strip, 0, 60))
        wait_for(lambda: screen(30, 40, 1, 1).getpixel((0, 0)) == (40, 40, 60), what="the strip's body on screen")


if __name__ == "__main__":
    unittest.main()
