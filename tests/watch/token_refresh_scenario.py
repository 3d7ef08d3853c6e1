"""An oauth= account with 20-second tokens: an expiry is refreshed with no message lost or counted twice, a refused
token refreshed once, a rotated refresh token survives a kill; a revoked sign-in asks no more until a new login."""
from authserver import AuthServer, browser_login
from mailrig import *

REFRESH = "refresh_token"

with scenario("token_refresh") as (check, certs, dovecot, rig):
    auth = AuthServer(certs, "alice", access_life=20)
    dovecot.use_oauth2(auth.introspection)
    dovecot.create("alice", "Work")
    rig.wine.env["WINEDLLOVERRIDES"] += ";winebrowser.exe=d"
    rig.write_settings({"cloud": dict(host="localhost", port=dovecot.ports["imaps"], user="alice",
        folders="INBOX,Work", **auth.settings())})
    check("larkbellctl login signs in", browser_login(rig, auth, certs, "cloud") == 0)
    rig.start()
    check("both folders idle with the stored sign-in", wait_for(lambda: dovecot.idling("alice") >= 2))
    dovecot.deliver("alice", 1)
    check("a message counts", rig.wait_count(1) == 1)

    # Past the token's life: the next logins need a fresh one, asked for once for both folders.
    wait_for(lambda: False, 21)
    since = time.monotonic()
    dovecot.stop()
    dovecot.deliver_offline("alice", 2)
    dovecot.start()
    check("after the expiry both folders idle again", wait_for(lambda: dovecot.idling("alice") >= 4, 90))
    refreshes = auth.token_requests(since, REFRESH)
    check("the expired token was refreshed once for the account", [r[2] for r in refreshes] == ["ok"], refreshes)
    check("messages that came meanwhile count once", rig.wait_count(3) == 3 and wait_for(lambda: False, 3) is False
        and rig.count() == 3)

    # From now on tokens live an hour; the next refresh hands the watcher one, in an answer of the most it reads.
    auth.access_life = auth.told_life = 3600
    auth.answer_size = 64 * 1024
    auth.expire_access()
    idling = dovecot.idling("alice")
    dovecot.stop()
    dovecot.start()
    check("both folders idle with a token for an hour from a 64 KiB answer",
        wait_for(lambda: dovecot.idling("alice") >= idling + 2, 90))
    auth.answer_size = None

    # The server drops the token the watcher still thinks good: refused, refreshed once, retried.
    auth.expire_access()
    killed = threading.Event()

    def kill_on_new_token(token, active):
        # The first login with a token from a rotated refresh: the watcher dies at once.
        if active and not killed.is_set() and auth.token_requests(since_rotation, REFRESH):
            for pid in wine_processes("rig/larkbellwatch.exe"):
                os.kill(pid, signal.SIGKILL)
            killed.set()

    since_rotation = time.monotonic()
    auth.on_introspect = kill_on_new_token
    dovecot.stop()
    dovecot.start()
    check("a refused token is refreshed and the watcher killed right after the rotation", killed.wait(90))
    rig.watcher.wait(30)
    auth.on_introspect = None
    check("the refused token was logged", "refused the token" in rig.log() and "fresh token" in rig.log())
    idling = dovecot.idling("alice")
    rig.start()
    check("the restarted watcher signs in with the rotated refresh token",
        wait_for(lambda: dovecot.idling("alice") >= idling + 2, 90))
    check("the rotated token was never refused", all(r[2] == "ok" for r in auth.token_requests(grant=REFRESH)),
        auth.requests)
    dovecot.deliver("alice", 1, mailbox="Work")
    check("a message in the second folder counts", rig.wait_count(4) == 4)

    # Revoked: one request, one log line, then silence for a minute.
    auth.expire_access(revoke=True)
    since = time.monotonic()
    dovecot.stop()
    dovecot.start()
    rig.wait_log("sign in again", deadline=90)
    wait_for(lambda: False, 60)
    requests = auth.token_requests(since)
    check("the revocation is logged once for the account, one token request in the minute after it",
        rig.log().count("sign in again") == 1 and [r[2] for r in requests] == ["invalid_grant"], requests)
    idling = dovecot.idling("alice")
    check("a new larkbellctl login works while the watcher runs", browser_login(rig, auth, certs, "cloud") == 0)
    check("the running watcher takes the new sign-in up", wait_for(lambda: dovecot.idling("alice") >= idling + 2, 60))
    dovecot.deliver("alice", 1)
    check("and counts again", rig.wait_count(5) == 5)
    log = rig.log()
    check("the log holds no token", not any(token in log for token in list(auth.refresh) + list(auth.access)), log)
    rig.stop()
