"""Token sign-in and Japanese folders: Dovecot's oauth2 passdb asks the rig's authorization server about every
token. A good token logs in and counts; an expired one is refused, the token command runs again and the login
succeeds; a failing command is logged. Folders named in Japanese, one nested, are counted; a missing one is
logged once while the others are still watched. A POP3 account signs in with oauth= (a token of Microsoft's
size, sent after the server's "+ "), counts, and has a refused token refreshed once."""
from authserver import AuthServer, browser_login, said
from mailrig import *

# As the INI writes them (code page 932), and on the wire: Dovecot's Maildir++ separator is ".".
INBOX_JA, INBOX_JA_WIRE = "受信トレイ", "&U9dP4TDIMOwwpA-"
NESTED, NESTED_WIRE = "仕事/重要", "&TtVOiw-.&kc2JgQ-"
HELPER = '@echo off\r\necho run>> "%~dp0runs.txt"\r\nif exist "%~dp0fresh" (echo fresh-token) else (\r\n' \
    'echo.> "%~dp0fresh"\r\necho expired-token\r\n)\r\n'

with scenario("oauth") as (check, certs, dovecot, rig):
    auth = AuthServer(certs, "alice")
    auth.access["fresh-token"] = float("inf")  # the token command's, issued elsewhere
    dovecot.use_oauth2(auth.introspection)
    dovecot.create("alice", INBOX_JA_WIRE, NESTED_WIRE)
    open(f"{rig.folder}/token.cmd", "w", newline="").write(HELPER)
    server = dict(host="localhost", port=dovecot.ports["imaps"], user="alice")
    rig.write_settings({"cloud": dict(server, tokencmd=f"Z:{rig.folder}/token.cmd".replace("/", "\\")),
        "broken": dict(server, tokencmd="cmd /c exit 7", auth="xoauth2"),
        "home": dict(server, folders=f"{INBOX_JA},{NESTED},Nowhere")})
    rig.passwords(home=PASSWORDS["alice"])
    rig.start()
    check("the token account and both Japanese folders idle", wait_for(lambda: dovecot.idling("alice") >= 3))
    runs = lambda: open(f"{rig.folder}/runs.txt").read().count("run") if os.path.exists(f"{rig.folder}/runs.txt") else 0
    check("the expired token was refused and the command run again", rig.wait_log("refused the token")
        and runs() == 2, f"{runs()} runs; {rig.log()}")
    for total, (what, wire) in enumerate((("a message signed in with a token adds 1", "INBOX"),
            (f"a message in {INBOX_JA} adds 1", INBOX_JA_WIRE), (f"a message in {NESTED} adds 1", NESTED_WIRE)), 1):
        dovecot.deliver("alice", 1, mailbox=wire)
        check(what, rig.wait_count(total) == total)
    log = rig.log()
    check("the log names the folders, the failing command and the missing folder once each, and no token",
        INBOX_JA in log and NESTED in log and re.search(r"token command failed: .*code 7", log) is not None
        and log.count("token command failed") == log.count("cannot open folder Nowhere") == 1 and "-token" not in log)
    status, out, err = rig.ctl("check", "cloud")
    check("larkbellctl check signs in with the token", status == 0 and len(out.strip().splitlines()) == 1, out + err)
    rig.stop()

    auth.access_bytes = 1800  # Microsoft's tokens are well over a kilobyte: too long for the AUTH line
    rig.wine.env["WINEDLLOVERRIDES"] += ";winebrowser.exe=d"  # the test is the browser
    rig.write_settings({"post": dict(server, port=dovecot.ports["pop3s"], protocol="pop3", poll=10, **auth.settings())})
    check("larkbellctl login signs a POP3 account in and checks it", browser_login(rig, auth, certs, "post") == 0,
        said(f"{rig.folder}/login-post.out"))
    rig.start()
    check("the POP3 account signs in with its token", rig.wait_log(r"\[post/POP3\] first look"))
    base = rig.count() or 0
    dovecot.deliver("alice", 1)
    check("a message reaches the POP3 account's count once", rig.wait_count(base + 1) == base + 1)
    expired = time.monotonic()
    auth.expire_access()
    dovecot.deliver("alice", 1)
    check("after the token expired the next poll counts once", rig.wait_count(base + 2) == base + 2)
    check("the refused token was refreshed once", rig.wait_log(r"\[post/POP3\] .*refused the token")
        and len(auth.token_requests(expired, "refresh_token")) == 1, auth.token_requests(expired))
    check("the log holds no access token", not any(token in rig.log() for token in auth.access))
    rig.stop()
