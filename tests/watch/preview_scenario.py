"""Who wrote: Japanese and emoji senders and subjects over IMAP and POP3 reach larkbellctl recent decoded, newest
first; the pointer on the popup shows the panel (screenshot kept); a left click empties the list; mail stays
unseen; with [preview] show=0 no header is fetched. Mail that comes while popups are paused is listed and saved at
once and reaches the notifier in one start when the pause ends, or when a watcher stopped while paused starts again."""
from mailrig import *

MESSAGES = [  # delivered in this order: the last is the newest
    ("alice", b'From: "=?ISO-2022-JP?B?GyRCOzNFREJATzobKEI=?=" <taro@example.jp>\r\n'
              b"Subject: =?ISO-2022-JP?B?GyRCTWg9?=\r\n =?ISO-2022-JP?B?NSROMnE1RCRLJEQkJCRGGyhC?=\r\n"
              b"Date: Mon, 7 Dec 2026 09:15:00 +0900\r\n", "山田太郎", "来週の会議について"),
    ("alice", b"From: =?UTF-8?Q?=F0=9F=8E=89_Party?= <party@example.com>\r\n"
              b"Subject: =?UTF-8?B?8J+OiSDjg5Hjg7zjg4bjgqPjg7w=?=\r\n", "🎉 Party", "🎉 パーティー"),
    ("alice", "From: Café Bot <cafe@example.com>\r\nSubject: Crème brûlée ☕\u202e\r\n".encode(),
     "Café Bot", "Crème brûlée ☕"),
    ("bob", "From: 佐藤花子 <hanako@example.jp>\r\n".encode("cp932")
            + b"Subject: =?ISO-2022-JP?B?GyRCJCpDTiRpJDsbKEI=?=\r\n", "佐藤花子", "お知らせ"),
]


def unseen(dovecot, user):
    with dovecot.session(user) as client:
        client.select("INBOX", readonly=True)
        return len(client.search(None, "UNSEEN")[1][0].split())


with scenario("preview") as (check, certs, dovecot, rig):
    dovecot.deliver("bob", header=b"From: old@example.com\r\nSubject: already there\r\n")
    rig.write_settings({"home": dict(host="localhost", port=dovecot.ports["imaps"], security="tls", user="alice"),
        "isp": dict(protocol="pop3", host="localhost", port=dovecot.ports["pop3s"], user="bob", poll=5)})
    rig.passwords(home=PASSWORDS["alice"], isp=PASSWORDS["bob"])

    def recent():
        status, _, err = rig.ctl("recent")
        out = open(f"{rig.folder}/ctl.out", "rb").read().decode("utf-8", "replace")
        return status, out.replace("\r\n", "\n"), err

    rig.start()
    check("the watcher idles and has polled once", wait_for(lambda: dovecot.idling("alice") >= 1)
          and rig.wait_log(r"1 messages already there"))
    status, out, err = rig.status(r"(?m)^isp +監視中")
    check("larkbellctl status: both accounts watched, exit 0", status == 0, out + err)
    held = r"new message\(s\) held while popups are paused"
    status, out, err = rig.ctl("pause", "60")
    check("larkbellctl pause 60 pauses new-mail popups", status == 0 and "一時停止" in out, out + err)
    for n, (user, header, _, _) in enumerate(MESSAGES):
        dovecot.deliver(user, header=header)
        rig.wait_log(held, n + 1)
        wait_for(lambda: len(recent()[1].splitlines()) >= n + 1, 30)
    check("while paused the 4 are held, not handed over", rig.count() == 0 and len(re.findall(held, rig.log())) == 4)
    status, out, err = rig.ctl("pause", "off")
    check("larkbellctl pause off: the 4 reach the notifier in one start", status == 0 and rig.wait_count(4) == 4
          and re.findall(r"new messages: (\d+)", rig.log()) == ["4"], out + err + rig.log())
    status, out, err = recent()
    lines = [line.split("\t") for line in out.splitlines()]
    wanted = [["isp" if user == "bob" else "home", sender, subject] for user, _, sender, subject in reversed(MESSAGES)]
    check("larkbellctl recent: 4 messages decoded, newest first, with their accounts",
          status == 0 and [line[1:] for line in lines] == wanted, out + err)
    dated = time.strftime("%Y-%m-%d %H:%M", time.localtime(1796602500))  # Mon, 7 Dec 2026 09:15:00 +0900
    check("a Date field shows in local time", lines and lines[-1][0] == dated, f"{out} (expected {dated})")

    popup = next((w for w in rig.windows("larkbell.exe") if w["class"] != "larkbell_preview"), None)
    check("the popup shows", popup is not None)
    if popup:
        left, top, right, bottom = popup["rect"]
        badge = (left + 95, top + 93)  # opaque in every frame of the bundled skin
        rig.tool("xdotool", "mousemove", *map(str, badge))
        panel = wait_for(lambda: next((w for w in rig.windows("larkbell.exe") if w["class"] == "larkbell_preview"),
                                      None), 20)
        check("resting the pointer on the popup shows the panel beside it", panel is not None
              and panel["rect"][0] >= right, str(panel))
        if panel:
            l, t, r, b = panel["rect"]
            shot = f"{rig.folder}/preview-panel.png"
            rig.tool("import", "-window", "root", "-crop", f"{r - l}x{b - t}+{l}+{t}", "+repage", shot)
            colours = rig.tool("identify", "-format", "%k", shot)
            check(f"the panel is drawn with text (screenshot {shot})", colours.isdigit() and int(colours) > 2, colours)
        rig.tool("xdotool", "click", "1")
        check("a left click dismisses: the count is 0, the list empty",
              wait_for(lambda: rig.count() == 0, 20) and wait_for(lambda: recent()[1] == "", 20), recent())
    check("the IMAP messages stay unseen", unseen(dovecot, "alice") == 3, unseen(dovecot, "alice"))
    check("the POP3 mailbox stays as it was, unseen", unseen(dovecot, "bob") == 2, unseen(dovecot, "bob"))

    rig.stop()
    rig.settings(rig.settings() + "[preview]\r\nshow=0\r\n")
    fetches = lambda: sum(open(p, "rb").read().count(b"FETCH") for p in glob.glob(f"{dovecot.folder}/rawlog/alice/*.in"))
    before, polls = fetches(), dovecot.log_count(r"pop3\(bob\).*Logged out")
    rig.start()
    check("the watcher idles again with show=0", wait_for(lambda: dovecot.idling("alice") >= 2))
    rig.ctl("pause", "60")
    dovecot.deliver("alice", header=MESSAGES[0][1])
    dovecot.deliver("bob", header=MESSAGES[3][1])
    check("paused again, the 2 are held", rig.wait_log(held, 6))
    rig.stop()
    rig.start()
    check("with show=0 both messages count, in one start after a restart ended the pause",
          rig.wait_count(2) == 2 and re.findall(r"new messages: (\d+)", rig.log()) == ["4", "2"])
    wait_for(lambda: dovecot.log_count(r"pop3\(bob\).*Logged out") >= polls + 2, 30)
    check("with show=0 no FETCH is sent and the list stays empty",
          fetches() == before and recent()[1] in ("", "\u2026 and 2 more\n"), (fetches() - before, recent()))
    rig.stop()
    check("POP3 read headers with TOP only while the preview was on, never RETR or DELE",
          dovecot.pop3_tops("bob") == 1, dovecot.pop3_tops("bob"))
