"""Hostile servers: a certificate of an unknown CA or another name is refused with its fingerprint before a byte is
sent, a pinned self-signed one works; an endless line or huge literal ends the connection, memory bounded."""
from mailrig import *

with scenario("hostile") as (check, certs, dovecot, rig):
    servers = {"unknownca": Relay(dovecot.ports["imap"], f"{certs}/rogue.pem"),
        "wrongname": Relay(dovecot.ports["imap"], f"{certs}/wrongname.pem"),
        "pinned": Relay(dovecot.ports["imap"], f"{certs}/selfsigned.pem"),
        "endless": Relay(cert=f"{certs}/localhost.pem", flood="line"),
        "literal": Relay(cert=f"{certs}/localhost.pem", flood="literal")}
    pin = ":".join(re.findall("..", fingerprint(f"{certs}/selfsigned.pem").upper()))
    rig.write_settings({name: dict(host="localhost", port=server.port, user="alice",
        **({"tlsfingerprint": pin} if name == "pinned" else {})) for name, server in servers.items()})
    for name in servers:
        rig.ctl("password", name, text=PASSWORDS["alice"] + "\n")
    rig.start()
    check("the pinned self-signed server is watched", wait_for(lambda: dovecot.idling("alice") >= 1))
    base = rig.count() or 0
    dovecot.deliver("alice")
    check("through the pinned server a message adds 1", rig.wait_count(base + 1) == base + 1, rig.count())

    flat_log = lambda: rig.log().replace(":", "").lower()
    for name, pem in (("unknownca", "rogue"), ("wrongname", "wrongname")):
        check(f"{name}: refused with the SHA-256 fingerprint", wait_for(lambda: re.search(
            "certificate refused.*sha-256 " + fingerprint(f"{certs}/{pem}.pem"), flat_log())), rig.log())
        check(f"{name}: not one byte sent after the handshake", servers[name].connections >= 1
            and servers[name].client_bytes == 0, servers[name].client_bytes)
    for name in ("endless", "literal"):
        check(f"{name}: logged as too long", rig.wait_log(rf"{name}\b[^\n]*too long"), rig.log())
        check(f"{name}: the watcher reconnects", wait_for(lambda: servers[name].connections >= 2),
            servers[name].connections)
    check("the watcher survives", rig.running())
    resident = rss_kb("hostile/rig/larkbellwatch.exe")
    check(f"its memory stays bounded ({resident} kB resident)", 0 < (resident or 0) < 200_000, resident)
    rig.stop()
