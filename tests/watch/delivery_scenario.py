"""Delivery: 1 and 100 messages count exactly, mail from while stopped once, a \\Seen message or a recreated folder
not at all; larkbellctl password and check, larkbellwatch's command line, settings changed while it runs."""
from mailrig import *

LISTS, LISTS_WIRE = "リスト", "&MOowuTDI-"  # code page 932 in the INI, modified UTF-7 on the wire
with scenario("delivery") as (check, certs, dovecot, rig):
    dovecot.create("alice", LISTS_WIRE)
    account = dict(host="localhost", port=dovecot.ports["imaps"], security="tls", user="alice")
    rig.write_settings({"home": dict(account, folders=f"INBOX,{LISTS}"), "gone": dict(account, folders="Nowhere",
        security="starttls", port=dovecot.ports["imap"])})
    rig.passwords(home=PASSWORDS["alice"], gone=PASSWORDS["alice"])
    settings = rig.settings()
    check("larkbellctl password stores both passwords, neither in clear", len(re.findall(
        r"(?m)^password=\S{8,}", settings)) == 2 and PASSWORDS["alice"] not in settings, settings)
    status, out, err = rig.ctl("check", "home")
    check("larkbellctl check: one line per folder", status == 0 and len(out.strip().splitlines()) == 2, out + err)
    status, out, err = rig.ctl("check", "gone")
    check("larkbellctl check: a missing folder fails in one line", status != 0 and "Nowhere" in out + err
        and len((out + err).strip().splitlines()) == 1, out + err)

    def start_and_idle(sessions=2):
        before = dovecot.idling("alice")
        rig.start()
        return wait_for(lambda: dovecot.idling("alice") >= before + sessions)

    check("the watcher idles in both folders", start_and_idle())
    for what, count, total in (("one message adds 1", 1, 1), ("100 at once add exactly 100", 100, 101)):
        dovecot.deliver("alice", count)
        check(what, rig.wait_count(total) == total)
    check("--stop ends the watcher within 2 s, and the stop is logged", rig.stop() and rig.wait_log(r"stopped"))

    dovecot.deliver("alice", 3)
    start_and_idle()
    check("3 delivered while stopped add 3 at the next start", rig.wait_count(104) == 104)
    rig.stop()
    start_and_idle()
    dovecot.deliver("alice", 1, seen=True)
    dovecot.deliver("alice", 1)
    check("a restart and a message stored \\Seen add nothing", rig.wait_count(105) == 105)

    rig.stop()
    dovecot.create("alice", LISTS_WIRE, again=True)
    dovecot.deliver("alice", 2, mailbox=LISTS_WIRE)
    check("a recreated folder is logged", start_and_idle() and rig.wait_log("UIDVALIDITY changed"))
    dovecot.deliver("alice", 1, mailbox=LISTS_WIRE)
    check("a recreated folder counts only what comes after", rig.wait_count(106) == 106)
    check("the missing folder is logged", rig.wait_log("cannot open folder"))
    log = rig.log()
    check("the log sums to what was counted", sum(map(int, re.findall(r"new messages: (\d+)", log))) == 106, log)
    rig.stop()
    check("--stop says in one line that the watcher ended, exit 0",
        rig.stopped[0] == 0 and "".join(rig.stopped[1:]).strip() == "larkbellwatch: --stop: the watcher has ended",
        rig.stopped)
    for args, status, said in ((["--stop"], 1, "no watcher is running"), (["--autostart"], 2, "usage: ")):
        out = rig.wine.run(f"{rig.folder}/said.out", f"{rig.folder}/larkbellwatch.exe", *args)
        check(f"larkbellwatch {args[0]} alone: exit {status} and one line", out[0] == status
            and len("".join(out[1:]).strip().splitlines()) == 1 and said in out[2], out)

    # Fixed while it runs: a wrong password and a missing folder each wait 30 minutes, until the password is
    # stored again and the folder corrected in the file; only the changed account connects again.
    rig.passwords(home="not-the-password")
    rig.start()
    check("a wrong password waits 30 to 35 minutes", rig.wait_log(r"\[home/INBOX\] .*reconnecting in (18|19|20)\d\d s"))
    before = dovecot.idling("alice")
    rig.passwords(home=PASSWORDS["alice"])
    check("a password stored while running is taken at once", rig.wait_log(r"\[home\] password changed")
        and wait_for(lambda: dovecot.idling("alice") >= before + 2))
    connected = rig.log().count("[home/INBOX] connected")
    rig.settings(rig.settings().replace("folders=Nowhere", "folders=INBOX"))
    check("a folder corrected in the file while running is watched at once", rig.wait_log(r"\[gone\] folders changed")
        and wait_for(lambda: dovecot.idling("alice") >= before + 3))
    check("an unchanged account stays connected", rig.log().count("[home/INBOX] connected") == connected)
    check("the stored passwords are named, never written", "not-the-password" not in rig.log())
    out = rig.wine.run(f"{rig.folder}/said.out", f"{rig.folder}/larkbellwatch.exe")
    check("a second watcher says in one line that one runs, exit 1", out[0] == 1 and out[1:] == ("",
        "larkbellwatch: another watcher is running; this one ends\r\n"), out)
    rig.stop()
