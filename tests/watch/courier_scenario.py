"""Courier IMAP (no UIDNEXT with EXAMINE, nothing for "UID SEARCH UID *"): the first look baselines at the newest
message; new mail and mail from while stopped count once. A Japanese folder only the watcher opens gets a new
UIDVALIDITY each session: a new baseline each restart, said once in the log. Courier's IDLE polls once a minute."""
from mailrig import *

LISTS = "リスト"  # "INBOX/リスト" in the settings, "INBOX.&MOowuTDI-" on the wire, Maildir/.リスト on disk
IDLE_WAIT = 150
with scenario("courier", Courier) as (check, certs, courier, rig):
    courier.add_folder(LISTS)
    courier.deliver("alice", 3)
    courier.deliver("alice", 2, seen=True)
    courier.deliver("alice", 2, mailbox=f"INBOX.{LISTS}")
    with courier.session("alice") as client:  # Courier keeps INBOX's UIDs from here on
        client.select("INBOX")
    rig.write_settings({"courier": dict(host="localhost", port=courier.ports["imaps"], security="tls", user="alice",
        folders=f"INBOX,INBOX/{LISTS}")})
    rig.passwords(courier=PASSWORDS["alice"])

    def restart(lists_baselines):
        """Courier's new UIDVALIDITY is the time in seconds: the next session must start in a later second."""
        second = int(time.time())
        rig.stop()
        wait_for(lambda: int(time.time()) > second)
        rig.start()
        return rig.wait_log(rf"{LISTS}\] baseline", lists_baselines)

    rig.start()
    check("a first look at each folder is a baseline at its newest message",
        rig.wait_log(r"INBOX\] baseline: counting starts after UID 5 ") and rig.wait_log(r"baseline.* after UID 2 "))
    courier.deliver("alice", 1)
    check("the unseen mail already there counts nothing, a new message adds 1",
        rig.wait_count(1, IDLE_WAIT) == 1)

    courier.deliver("alice", 2)
    check("a restart with a new UIDVALIDITY in the read-only folder is a baseline there", restart(2))
    check("2 delivered while stopped add 2 at the next start, nothing twice", rig.wait_count(3) == 3)
    check("the second new UIDVALIDITY in a row is logged", restart(3) and rig.wait_log("UIDVALIDITY changed again"))
    check("the third is not", restart(4) and len(re.findall("changed again", rig.log())) == 1)
    courier.deliver("alice", 1, mailbox=f"INBOX.{LISTS}")
    check("a message in that folder while the watcher runs adds 1", rig.wait_count(4, IDLE_WAIT) == 4)
    log = rig.log()
    check("the log sums to what was counted; INBOX kept its UIDVALIDITY",
        sum(map(int, re.findall(r"new messages: (\d+)", log))) == 4 and len(re.findall(r"INBOX\] baseline", log)) == 1)
    rig.stop()
