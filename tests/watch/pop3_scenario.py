"""POP3 over pop3s with UIDL: a baseline at the first poll, new messages once, deleted ones forgotten, a wrong
password backed off; only the new ones' headers are read, nothing downloaded or deleted."""
from mailrig import *

with scenario("pop3") as (check, certs, dovecot, rig):
    # The log's 1 MB and the state file's 8 MB, each at its edge and one past, before any account exists.
    log_path, state_path = f"{rig.folder}/larkbellwatch.log", f"{rig.folder}/larkbellwatch.state"
    stop_alone = lambda: rig.wine.run(f"{rig.folder}/stop.out", f"{rig.folder}/larkbellwatch.exe", "--stop")
    stop_alone()
    line = os.path.getsize(log_path) if os.path.exists(log_path) else 0  # every such line is as long
    for past, size in ((0, 1024 * 1024), (1, line)):
        open(log_path, "wb").write(b"x" * (1024 * 1024 - line + past))
        stop_alone()
        check(f"a line that fills the log to 1 MB + {past} byte(s) {'rotates' if past else 'keeps'} it",
            line > 0 and os.path.getsize(log_path) == size and os.path.exists(log_path + ".1") == bool(past),
            f"line {line}, log {os.path.getsize(log_path)}")
    for past, outcome in ((0, "damaged"), (1, "over 8 MB")):
        open(state_path, "wb").write(b"x" * (8 * 1024 * 1024 + past))
        rig.start()
        check(f"a state file of 8 MiB + {past} byte(s) is read as {outcome}", rig.wait_log(f"larkbellwatch.state is"
            f" {outcome}", deadline=30))
        rig.stop()
    os.remove(state_path)
    # larkbellctl password takes account names of 200 characters and passwords of 1024 bytes, and no more.
    for name, password, taken in (("n" * 200, "p" * 1024, True), ("n" * 201, "p", False), ("n", "p" * 1025, False)):
        status, out, err = rig.ctl("password", name, text=password + "\n")
        check(f"a name of {len(name)} and a password of {len(password)} {'are' if taken else 'is not'} stored",
            (status == 0) == taken and ("stored for account" in out) == taken, out + err)
    dovecot.deliver("alice", 2)
    account = dict(protocol="pop3", host="localhost", port=dovecot.ports["pop3s"], user="alice", poll=10)
    rig.write_settings({"isp": account, "wrong": dict(account, user="bob")})
    rig.passwords(isp=PASSWORDS["alice"], wrong="not-" + PASSWORDS["bob"])
    polls = lambda: dovecot.log_count(r"pop3\(alice\).*Logged out")
    state = lambda: open(state_path).read() if os.path.exists(state_path) else ""

    status, out, err = rig.ctl("check", "isp")
    check("larkbellctl check reports the POP3 mailbox", status == 0 and "2 messages" in out, out + err)
    rig.start()
    check("the first poll takes the 2 there as its baseline", rig.wait_log(r"2 messages already there"))
    dovecot.deliver("alice", 3)
    check("3 new messages add 3", rig.wait_count(3) == 3)
    with dovecot.session("alice") as client:
        client.select("INBOX")
        client.store("1:4", "+FLAGS", "\\Deleted")
        client.expunge()
    dovecot.deliver("alice", 1)
    check("after 4 deleted, 1 new adds 1", rig.wait_count(4) == 4)
    check("deleted ids are forgotten", wait_for(lambda: re.search(r"(?m)^pop3 isp ids 2$", state()), 30), state())
    delays = [int(s) for s in re.findall(r"\[wrong/POP3\] login failed; reconnecting in (\d+) s", rig.log())]
    check("a wrong password backs off for 30 minutes", delays and min(delays) >= 1800)
    check("--stop ends the watcher within 2 s", rig.stop())

    dovecot.deliver("alice", 2)
    before = polls()
    rig.start()
    check("2 delivered while stopped add 2", rig.wait_count(6) == 6)
    wait_for(lambda: polls() >= before + 3, 60)
    check("a restart and two more polls count nothing twice", rig.count() == 6 and polls() >= before + 3)
    rig.stop()
    check("no poll read or deleted a message; TOP read the headers of the 6 new ones only",
        dovecot.pop3_tops("alice") == 6, dovecot.pop3_tops("alice"))
    check("the log sums to what was counted", sum(map(int, re.findall(r"new messages: (\d+)", rig.log()))) == 6)
