"""Recovery: the resume message Windows sends after sleep ends every back-off (a refused login's 30 minutes too) and
every idle connection, and what came meanwhile counts once, over IMAP and POP3; each mail connection has TCP
keep-alive; the session's end logs out of the server and the next start counts nothing twice; --autostart on|off
adds and removes the Run value."""
from mailrig import *

WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC = "0x218", "0x12"
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"

with scenario("recovery") as (check, certs, dovecot, rig):
    run = lambda *args: rig.wine.run(f"{rig.folder}/run.out", *args)
    for state in ("on", "off"):
        run(f"{rig.folder}/larkbellwatch.exe", "--autostart", state)
        status, out, _ = run("reg", "query", RUN_KEY, "/v", "larkbellwatch")
        check(f"--autostart {state}: the Run value is {'there' if state == 'on' else 'gone'}",
            (status == 0 and re.search(r'REG_SZ\s+"[^"]*larkbellwatch\.exe"', out) is not None) == (state == "on"), out)

    def resume():
        hidden = rig.windows("larkbellwatch.exe", "hidden")
        window = next((w["hwnd"] for w in hidden if w["class"] == "larkbellwatch_events"), None)
        return window and rig.probe("post", window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC)[0] == 0

    rig.write_settings({"main": dict(host="localhost", port=dovecot.ports["imaps"], user="alice"),
        "isp": dict(protocol="pop3", host="localhost", port=dovecot.ports["pop3s"], user="bob", poll=3600),
        "broken": dict(host="localhost", port=dovecot.ports["imaps"], user="bob")})
    rig.passwords(main=PASSWORDS["alice"], isp=PASSWORDS["bob"], broken="wrong")
    rig.start()
    check("the IMAP account idles, the POP3 one has polled, the wrong password waits 30 minutes",
        wait_for(lambda: dovecot.idling("alice") >= 1) and rig.wait_log(r"\[isp/POP3\] .*already there")
        and rig.wait_log(r"\[broken/INBOX\] .*reconnecting in (18|19|20)\d\d s"))
    ss = rig.tool("ss", "-tnoH", "state", "established", f"( dport = :{dovecot.ports['imaps']} )")
    check("the IMAP connection has TCP keep-alive within 2 minutes", re.search(r"timer:\(keepalive,(1min\d|[1-9]\d?sec)",
        ss) is not None, ss)

    # Asleep: Dovecot goes away until the back-off has grown past 12 s, and mail comes in meanwhile.
    base, idling = rig.count() or 0, dovecot.idling("alice")
    dovecot.stop()
    check("while Dovecot is down the back-off grows", rig.wait_log(r"\[main/INBOX\] .*reconnecting in (1[2-9]|\d\d\d?) s",
        deadline=90))
    dovecot.deliver_offline("alice", 3)
    dovecot.deliver_offline("bob", 2)
    dovecot.start()
    check("the resume message reaches the watcher", resume())
    check("after the resume the 5 that came meanwhile count within 5 s", rig.wait_count(base + 5, 5) == base + 5)
    check("and the refused login was tried again at once", wait_for(lambda: dovecot.log_count(
        r"bob.*Password mismatch") == 2, 10), dovecot.log_count(r"bob.*Password mismatch"))

    # Awake with a connection that may be dead: it is dropped and replaced, nothing counts twice.
    wait_for(lambda: dovecot.idling("alice") > idling)
    idling = dovecot.idling("alice")
    check("a second resume replaces the idle connection", resume() and wait_for(lambda: dovecot.idling("alice")
        > idling, 10))
    dovecot.deliver("alice")
    check("a message then adds exactly 1", rig.wait_count(base + 6) == base + 6)

    # Sessions that idled and then logged out: the watcher's, not the deliveries'.
    logouts = lambda: sum(b"IDLE" in text and b"LOGOUT" in text for text in (open(path, "rb").read()
        for path in glob.glob(f"{dovecot.folder}/rawlog/alice/*.in")))
    logged_out = logouts()
    status, _, _ = run("wineboot", "--end-session", "--shutdown")  # without --shutdown it also starts the Run values
    check("at the session's end the watcher logs out and ends", status == 0 and rig.wait_log("the session ends")
        and wait_for(lambda: not rig.running(), 10)
        and wait_for(lambda: logouts() > logged_out, 10))
    before, idling = len(rig.log()), dovecot.idling("alice")
    rig.start()
    wait_for(lambda: dovecot.idling("alice") > idling)
    dovecot.deliver("alice")
    check("after the restart only the one new message counts", wait_for(lambda: "new messages" in rig.log()[before:])
        and re.findall(r"new messages: \d+", rig.log()[before:]) == ["new messages: 1"], rig.log()[before:])
    rig.stop()
