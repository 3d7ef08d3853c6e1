"""The notification-area icon: it shows in Wine's tray, a click on it opens the status window with one row per
account and folder, a wrong password turns it to its attention bell with one balloon (screenshot kept), a
corrected password is taken at once and turns it back, and icon=0 saved while it runs takes it away."""
from mailrig import *

TRAY = "Wine System Tray"
LISTS, LISTS_WIRE = "リスト", "&MOowuTDI-"


def tray(rig):
    """(x, y, width, height) of Wine's visible tray window, or None."""
    ids = rig.tool("xdotool", "search", "--onlyvisible", "--name", TRAY).split()
    if not ids:
        return None
    shape = dict(field.split("=") for field in rig.tool("xdotool", "getwindowgeometry", "--shell", ids[0]).split())
    return tuple(int(shape[key]) for key in ("X", "Y", "WIDTH", "HEIGHT"))


def red_pixels(rig, place):
    """Pixels of the tray in the attention bell's red: the normal bell has none."""
    x, y, width, height = place
    shot = f"{rig.folder}/tray.ppm"
    rig.tool("import", "-window", "root", "-crop", f"{width}x{height}+{x}+{y}", "+repage", "-depth", "8", shot)
    data = open(shot, "rb").read()
    header = re.match(rb"P6\s+\d+\s+\d+\s+255\s", data)
    pixels = data[header.end():] if header else b""
    return sum(r > 180 and g < 90 and b < 90 for r, g, b in zip(pixels[0::3], pixels[1::3], pixels[2::3]))


def status_rows(rig):
    return next((w["rows"] for w in rig.windows("larkbellwatch.exe") if w["class"] == "larkbellwatch_status"), None)


def balloon(rig):
    """Wine's explorer shows a balloon as a tooltip window of style TTS_BALLOON; the icon's own tooltip lacks it."""
    return any(w["class"] == "tooltips_class32" and w["style"] & 0x40 for w in rig.windows("explorer.exe"))


with scenario("tray") as (check, certs, dovecot, rig):
    dovecot.create("alice", LISTS_WIRE)
    server = dict(host="localhost", port=dovecot.ports["imaps"])
    # No popup: it would cover the tray.
    rig.write_settings({"home": dict(server, user="alice", folders=f"INBOX,{LISTS}"), "work": dict(server, user="bob")},
        notifier="none.exe")
    rig.passwords(home=PASSWORDS["alice"], work=PASSWORDS["bob"])
    rig.start()
    check("the watcher idles in its three folders",
        wait_for(lambda: dovecot.idling("alice") >= 2 and dovecot.idling("bob") >= 1))
    place = wait_for(lambda: tray(rig), 30)
    check("the icon shows in Wine's tray", place is not None)
    if not place:
        check.finish()
    check("watching everything, the icon is the normal bell", wait_for(lambda: red_pixels(rig, place) == 0, 30))

    x, y, _, height = place
    rig.tool("xdotool", "mousemove", str(x + height // 2), str(y + height // 2), "click", "1")
    rig.tool("xdotool", "mousemove", "600", "600")  # away, so that no tooltip of the icon shows
    rows = wait_for(lambda: status_rows(rig), 30)
    watching = "監視中 (IDLE)"
    check("a click on the icon opens the status window: a row per account and folder, each watching",
        rows and [row[:2] for row in rows] == [["home/INBOX", watching], [f"home/{LISTS}", watching],
        ["work/INBOX", watching]], rows)

    rig.passwords(work="not-" + PASSWORDS["bob"])
    check("a wrong password turns the icon to the attention bell", wait_for(lambda: red_pixels(rig, place) > 4, 60))
    shown = wait_for(lambda: balloon(rig), 30)
    rig.tool("import", "-window", "root", f"{rig.folder}/balloon.png")
    check(f"and a balloon shows (screenshot {rig.folder}/balloon.png)", shown)
    refused = lambda rows: rows and len(rows) == 3 and rows[2][1] == "ログイン拒否" and rows[2][3] != ""
    check("the open status window follows: work says why", wait_for(lambda: refused(status_rows(rig)), 30),
        status_rows(rig))
    check("one balloon for the refusal, not one per change of the board",
        len(re.findall(r"\] balloon: .*work", rig.log())) == 1)

    before = dovecot.idling("bob")
    rig.passwords(work=PASSWORDS["bob"])
    check("the corrected password is taken at once", wait_for(lambda: dovecot.idling("bob") > before, 30))
    check("and the icon is the normal bell again", wait_for(lambda: red_pixels(rig, place) == 0, 30))
    rig.settings(rig.settings().replace("[setting]\r\n", "[setting]\r\nicon=0\r\n"))
    check("icon=0 saved while it runs takes the icon away", wait_for(lambda: tray(rig) is None, 30), rig.settings())
    rig.stop()
