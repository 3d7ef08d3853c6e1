"""Token sign-in and Japanese folders: Dovecot's oauth2 passdb asks an introspection endpoint served here. A
good token logs in and counts; an expired one is refused, the token command runs again and the login
succeeds; a failing command is logged. Folders named in Japanese, one nested, are counted; a missing one is
logged once while the others are still watched.
    oauth_scenario.py SOURCE_DIR BUILD_DIR"""
import http.server, json, urllib.parse
from mailrig import *

# As the INI writes them (code page 932), and on the wire: Dovecot's Maildir++ separator is ".".
INBOX_JA, INBOX_JA_WIRE = "受信トレイ", "&U9dP4TDIMOwwpA-"
NESTED, NESTED_WIRE = "仕事/重要", "&TtVOiw-.&kc2JgQ-"
HELPER = '@echo off\r\necho run>> "%~dp0runs.txt"\r\nif exist "%~dp0fresh" (echo fresh-token) else (\r\n' \
    'echo.> "%~dp0fresh"\r\necho expired-token\r\n)\r\n'


class Introspection(http.server.BaseHTTPRequestHandler):
    """Answers as an OAuth2 authorisation server does (RFC 7662): only fresh-token is active, for alice."""

    def do_POST(self):
        form = urllib.parse.parse_qs(self.rfile.read(int(self.headers.get("Content-Length", 0))).decode())
        active = form.get("token") == ["fresh-token"]
        body = json.dumps({"active": True, "username": "alice"} if active else {"active": False}).encode()
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


endpoint = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Introspection)
threading.Thread(target=endpoint.serve_forever, daemon=True).start()
with scenario("oauth") as (check, certs, dovecot, rig):
    dovecot.use_oauth2(f"http://127.0.0.1:{endpoint.server_address[1]}/introspect")
    with dovecot.session("alice") as client:
        for wire in (INBOX_JA_WIRE, NESTED_WIRE):
            client.create(wire)
    open(f"{rig.folder}/token.cmd", "w", newline="").write(HELPER)
    server = dict(host="localhost", port=dovecot.ports["imaps"], user="alice")
    rig.write_settings({"cloud": dict(server, tokencmd=f"Z:{rig.folder}/token.cmd".replace("/", "\\")),
        "broken": dict(server, tokencmd="cmd /c exit 7", auth="xoauth2"),
        "home": dict(server, folders=f"{INBOX_JA},{NESTED},Nowhere")})
    rig.ctl("password", "home", text=PASSWORDS["alice"] + "\n")
    rig.start()
    check("the token account and both Japanese folders idle", wait_for(lambda: dovecot.idling("alice") >= 3),
        rig.log())
    runs = lambda: open(f"{rig.folder}/runs.txt").read().count("run") if os.path.exists(f"{rig.folder}/runs.txt") else 0
    check("the expired token was refused and the command run again", rig.wait_log("refused the token")
        and runs() == 2, f"{runs()} runs; {rig.log()}")
    check("a failing command is logged", rig.wait_log(r"token command failed: .*code 7"), rig.log())
    check("a missing folder is logged", rig.wait_log("cannot open folder Nowhere"), rig.log())
    base = rig.count() or 0
    for what, wire in (("a message signed in with a token adds 1", "INBOX"),
            (f"a message in {INBOX_JA} adds 1", INBOX_JA_WIRE), (f"a message in {NESTED} adds 1", NESTED_WIRE)):
        dovecot.deliver("alice", 1, mailbox=wire)
        base += 1
        check(what, rig.wait_count(base) == base, f"count {rig.count()}, expected {base}")
    log = rig.log()
    check("the folders are logged by their names", INBOX_JA in log and NESTED in log, log)
    check("each failure is logged once", len(re.findall("token command failed", log)) == 1
        and len(re.findall("cannot open folder Nowhere", log)) == 1, log)
    check("the log holds no token", "-token" not in log, log)
    status, out, err = rig.ctl("check", "cloud")
    check("larkbellctl check signs in with the token", status == 0 and len(out.strip().splitlines()) == 1,
        out + err)
    rig.stop()
