# The shipped artefacts: the release zip (exactly the files users get, a guide
# Notepad reads, the program working from a plain folder and from one whose
# path holds Japanese and a space) and tools/makeskin (strips from PNG frames,
# its refusals and warnings, and a strip it made shown by the real notifier).
import os
import subprocess
import zipfile

from PIL import Image, ImageDraw

from rig import BIN, KEY, Scenario, run, screen, shape_hash, wait_for

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "../.."))
SETTINGS = "interval trans bmpwidth posx posy textleft texttop textright textbottom activate windowname fontsize " \
           "fontcolr fontcolg fontcolb font".split()


def sh(*args, cwd=None):
    return subprocess.run(args, capture_output=True, text=True, cwd=cwd)


class Artefacts(Scenario):
    def test_release_zip_holds_the_seven_files_and_runs_from_any_folder(self):
        path = sh(os.path.join(ROOT, "scripts/make-dist"), os.path.dirname(BIN), self.scratch).stdout.strip()
        self.assertEqual(os.path.basename(path), "larkbell-1.0.1.1-win64.zip")
        files = zipfile.ZipFile(path)
        self.assertEqual(sorted(files.namelist()), ["README-ja-en.txt", "larkbell.bmp", "larkbell.exe",
                                                    "larkbell.ini.sample", "larkbellctl.exe", "larkbellwatch.exe",
                                                    "larkbellwatch.ini.sample"])
        guide, sample = files.read("README-ja-en.txt"), files.read("larkbell.ini.sample")
        text = guide.decode("utf-8")  # with a byte-order mark and CRLF, so that Notepad shows the Japanese
        self.assertEqual((guide[:3], text.count("\n"), "インストール" in text), (b"\xef\xbb\xbf", text.count("\r\n"), True))
        self.assertEqual(([m for m in ("![", "**", "`") if m in text], [k for k in SETTINGS if f"| {k} |" not in text]),
                         ([], []), "no pictures or markup; all sixteen settings")
        for sample, section in ((sample, "[setting]"), (files.read("larkbellwatch.ini.sample"), "[account:")):
            self.assertEqual((sample.count(b"\n"), section in sample.decode("cp932")), (sample.count(b"\r\n"), True))
        self.assertEqual(files.read("larkbell.bmp"), open(os.path.join(BIN, "larkbell.bmp"), "rb").read())
        for name, kind in (("larkbell.exe", "(GUI) x86-64"), ("larkbellctl.exe", "(console) x86-64"),
                           ("larkbellwatch.exe", "(GUI) x86-64")):
            self.assertIn("PE32+ executable " + kind, sh("file", files.extract(name, self.scratch)).stdout)
        for folder in ("plain", "テスト 通知/larkbell"):
            with self.subTest(folder=folder):
                where = os.path.join(self.scratch, folder)
                files.extractall(where)
                before = sorted(os.listdir(where))
                rig = self.started(folder=where)
                self.assertEqual((rig.add(4), run(os.path.join(where, "larkbellctl.exe"), "get")[1]), (0, "4\r\n"))
                self.assertEqual((rig.notifier.running(), sorted(os.listdir(where))), (True, before))

    def frames(self, folder, colours, size=(60, 50)):
        os.makedirs(os.path.join(self.scratch, folder), exist_ok=True)
        for name, colour in colours.items():
            frame = Image.new("RGBA", size, KEY)
            ImageDraw.Draw(frame).rectangle([5, 5, size[0] - 6, size[1] - 6], (40, 40, 60))
            ImageDraw.Draw(frame).rectangle([10, 10, 14, 14], colour)
            frame.save(os.path.join(self.scratch, folder, name))

    def test_makeskin_strips_refusals_and_a_strip_the_notifier_shows(self):
        makeskin = lambda *args: sh(os.path.join(ROOT, "tools/makeskin"), *args, cwd=self.scratch)
        self.frames("good", {"c.png": (0, 0, 255), "a.png": (255, 0, 0), "b.png": (0, 255, 0)})
        made = makeskin("--text-box", "20,20,40,30", "good", "good.bmp")
        self.assertEqual((made.returncode, made.stderr.count("warning"), made.stdout.split()),
                         (0, 0, ["[setting]", "bmpwidth=60", "textleft=20", "texttop=20", "textright=40", "textbottom=30"]))
        strip_path = os.path.join(self.scratch, "good.bmp")
        self.assertIn("PC bitmap, Windows 3.x format, 180 x 50 x 24", sh("file", strip_path).stdout)
        self.assertEqual(os.path.getsize(strip_path), 54 + 180 * 3 * 50)  # no palette, no compression
        strip = Image.open(strip_path)
        self.assertEqual([strip.getpixel((x, 12)) for x in (12, 72, 132)] + [strip.getpixel((0, 0))],
                         [(255, 0, 0), (0, 255, 0), (0, 0, 255), KEY], "frames in name order, key at the corner")
        default = makeskin("good", "default.bmp")
        self.assertEqual(default.stdout.split()[-4:], ["textleft=85", "texttop=86", "textright=106", "textbottom=100"])
        self.assertRegex(default.stderr, "warning:.*outside")
        # Less than half opaque becomes the key; the rest keeps its own colour, fully opaque.
        clear = Image.new("RGBA", (20, 20), (0, 0, 0, 0))
        ImageDraw.Draw(clear).rectangle([4, 4, 15, 15], (10, 20, 30))
        clear.putpixel((1, 1), (200, 0, 0, 64))
        clear.putpixel((2, 18), (0, 200, 0, 191))
        os.makedirs(os.path.join(self.scratch, "clear"))
        clear.save(os.path.join(self.scratch, "clear/1.png"))
        makeskin("--text-box", "4,4,16,16", "clear", "clear.bmp")
        clear = Image.open(os.path.join(self.scratch, "clear.bmp"))
        self.assertEqual([clear.getpixel(p) for p in ((0, 0), (1, 1), (2, 18), (9, 9))], [KEY, KEY, (0, 200, 0), (10, 20, 30)])
        self.frames("holed", {"a.png": (255, 0, 0), "b.png": (0, 255, 0), "c.png": (0, 0, 255)})
        ImageDraw.Draw(holed := Image.open(os.path.join(self.scratch, "holed/b.png"))).point((30, 25), KEY)
        holed.save(os.path.join(self.scratch, "holed/b.png"))
        warned = makeskin("--text-box", "20,20,40,30", "holed", "holed.bmp")
        warnings = [line for line in warned.stderr.splitlines() if "warning" in line]
        self.assertEqual((warned.returncode, [n for n in ("a.png", "b.png", "c.png") for w in warnings if n in w]), (0, ["b.png"]))

        self.frames("unequal", {"a.png": (255, 0, 0)})
        self.frames("unequal", {"b.png": (255, 0, 0)}, (61, 50))
        self.frames("thirty-one", {f"{i:02}.png": (0, 0, 0) for i in range(1, 32)}, (4, 4))
        self.frames("not-png", {"a.png": (255, 0, 0)})
        Image.new("RGB", (60, 50)).save(os.path.join(self.scratch, "not-png/b.png"), "JPEG")
        os.makedirs(os.path.join(self.scratch, "empty"))
        for message, *args in (("differ in size", "unequal"), ("at most 30", "--text-box", "2,2,3,3", "thirty-one"),
                               ("no frames", "empty"), ("b.png is not a PNG", "not-png"),
                               ("four integers", "--text-box", "1,2,3", "good")):
            with self.subTest(message):
                refused = makeskin(*args, "refused.bmp")
                self.assertEqual((refused.returncode != 0, message.lower() in refused.stderr.lower(),
                                  os.path.exists(os.path.join(self.scratch, "refused.bmp"))), (True, True, False))
        os.remove(os.path.join(self.scratch, "thirty-one/31.png"))
        self.assertEqual(makeskin("--text-box", "2,2,3,3", "thirty-one", "thirty.bmp").returncode, 0)

        # The committed example skin is what its frames make, with the printed lines.
        lark = os.path.join(ROOT, "skins/lark")
        settings = open(os.path.join(lark, "settings.ini")).read()
        box = ",".join(line.split("=")[1] for line in settings.splitlines() if line.startswith("text"))
        self.assertEqual(makeskin("--text-box", box, os.path.join(lark, "frames"), "lark.bmp").stdout, settings)
        self.assertEqual(open(os.path.join(self.scratch, "lark.bmp"), "rb").read(),
                         open(os.path.join(lark, "larkbell.bmp"), "rb").read())

        rig = self.rig(skin=strip, settings=made.stdout.replace("\n", "\r\n"))
        self.assertEqual(rig.start()["shape"], shape_hash(strip, 0, 60))
        wait_for(lambda: screen(30, 40, 1, 1).getpixel((0, 0)) == (40, 40, 60), what="the strip's body on screen")
