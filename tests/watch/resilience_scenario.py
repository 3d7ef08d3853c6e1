"""Through a relay, a silent connection is replaced; a Dovecot killed mid-IDLE loses and repeats nothing; beside it
an account with a wrong password is tried once, holds nothing back, and is named by larkbellctl status (exit 3; 4
once the watcher is gone)."""
from mailrig import *

with scenario("resilience") as (check, certs, dovecot, rig):
    relay = Relay(upstream=dovecot.ports["imaps"])
    rig.write_settings({"main": dict(host="localhost", port=relay.port, user="alice"),
        "broken": dict(host="localhost", port=dovecot.ports["imaps"], user="bob")}, keepalive=3, timeout=3)
    rig.passwords(main=PASSWORDS["alice"], broken="not-" + PASSWORDS["bob"])
    rig.start()
    check("the good account idles, the wrong password is logged",
        wait_for(lambda: dovecot.idling("alice") >= 1) and rig.wait_log("login failed"))
    status, out, err = rig.status("ログイン拒否")
    check("larkbellctl status: exit 3, the refused account beside the idling one", status == 3
        and re.search(r"(?m)^broken/INBOX +ログイン拒否", out) and re.search(r"(?m)^main/INBOX +監視中 \(IDLE\)", out),
        out + err)
    dovecot.deliver("alice")
    check("beside a failing account, a message adds 1", rig.wait_count(1) == 1)

    connections, idle_before = relay.connections, dovecot.idling("alice")
    relay.silence()
    check("a silent connection is replaced", wait_for(lambda: relay.connections > connections
        and dovecot.idling("alice") > idle_before), relay.connections)
    check("the reconnection is logged", rig.wait_log(r"reconnecting in \d+ s"))
    dovecot.deliver("alice")
    check("after the replacement a message adds 1", rig.wait_count(2) == 2)

    dovecot.stop(signal.SIGKILL)
    dovecot.deliver_offline("alice", 5)
    idle_before = dovecot.idling("alice")
    dovecot.start()
    check("after Dovecot's crash the watcher idles again", wait_for(lambda: dovecot.idling("alice") > idle_before, 120))
    check("5 delivered while Dovecot was down add exactly 5", rig.wait_count(7) == 7)
    dovecot.deliver("alice")
    check("and nothing is counted twice", rig.wait_count(8) == 8)
    check("the wrong password was tried once", dovecot.log_count(r"bob.*Password mismatch") == 1,
        dovecot.log_count(r"bob.*Password mismatch"))
    rig.stop()
    status, out, err = rig.ctl("status")
    check("once the watcher is gone, larkbellctl status exits 4 despite its file",
        status == 4 and os.path.exists(f"{rig.folder}/larkbellwatch.status"), (status, out, err))
