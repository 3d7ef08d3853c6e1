"""Hostile servers: a certificate of an unknown CA or another name is refused with its fingerprint before a byte is
sent, a pinned self-signed one works; an endless line, a huge literal or a TLS record past the receive buffer (64 KiB
in the handshake, 34 KiB after) ends the connection, memory bounded."""
from mailrig import *

with scenario("hostile") as (check, certs, dovecot, rig):
    good = f"{certs}/localhost.pem"
    servers = {name: Relay(dovecot.ports["imap"], f"{certs}/{pem}.pem")
        for name, pem in (("unknownca", "rogue"), ("wrongname", "wrongname"), ("pinned", "selfsigned"))}
    servers.update(endless=Relay(cert=good, flood="line"), literal=Relay(cert=good, flood="literal"),
        # A record that just fills the handshake's 64 KiB or the 34 KiB after it, and one a byte longer.
        handshake=TlsRecordServer(64 * 1024 - 5), handshakepast=TlsRecordServer(64 * 1024 - 4),
        record=TlsRecordServer(34 * 1024 - 5, good), recordpast=TlsRecordServer(34 * 1024 - 4, good))
    pin = ":".join(re.findall("..", fingerprint(f"{certs}/selfsigned.pem").upper()))
    rig.write_settings({name: dict(host="localhost", port=server.port, user="alice",
        **({"tlsfingerprint": pin} if name == "pinned" else {})) for name, server in servers.items()})
    rig.passwords(**{name: PASSWORDS["alice"] for name in servers})
    rig.start()
    check("the pinned self-signed server is watched", wait_for(lambda: dovecot.idling("alice") >= 1))
    dovecot.deliver("alice")
    check("through the pinned server a message adds 1", rig.wait_count(1) == 1)

    flat_log = lambda: rig.log().replace(":", "").lower()
    for name, pem in (("unknownca", "rogue"), ("wrongname", "wrongname")):
        check(f"{name}: refused with the SHA-256 fingerprint, not one byte sent after the handshake", wait_for(
            lambda: re.search("certificate refused.*sha-256 " + fingerprint(f"{certs}/{pem}.pem"), flat_log()))
            and servers[name].connections >= 1 and servers[name].client_bytes == 0)
    for name in ("endless", "literal"):
        check(f"{name}: logged as too long, then the watcher reconnects", rig.wait_log(rf"{name}\b[^\n]*too long")
            and wait_for(lambda: servers[name].connections >= 2))
    for name in ("handshake", "record"):  # SChannel itself refuses a record that long, once it has it whole
        check(f"{name}: a record that fills the buffer goes whole to SChannel", rig.wait_log(
            rf"\[{name}/[^\n]*localhost (failed|refused):") and not re.search(rf"\[{name}/[^\n]*too large", rig.log()))
        check(f"{name}: a byte more is too large", rig.wait_log(rf"\[{name}past/[^\n]*too large"))
    resident = rss_kb("hostile/rig/larkbellwatch.exe")
    check(f"the watcher survives, its memory bounded ({resident} kB resident)",
        rig.running() and 0 < (resident or 0) < 200_000)
    rig.stop()
