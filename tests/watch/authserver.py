"""The rig's own OAuth 2.0 authorization server: authorization with consent given at once (the test follows the
printed address as the user's browser would), token (code with PKCE S256 verified, refresh with rotation, device
code) and device authorization over HTTPS with the rig's certificates; plus introspection over plain
HTTP on loopback for Dovecot's oauth2 passdb, so only tokens issued here sign in."""
import base64, hashlib, http.client, http.server, json, re, secrets, ssl, subprocess, threading, time, urllib.error, \
    urllib.parse, urllib.request
from mailrig import wait_for

CLIENT_ID = "larkbell-test"


def b64url(data):
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode()


class AuthServer:
    """State of one server. `access_life` is how long an access token signs in here; `told_life` what expires_in
    says (longer: a client that trusts its clock alone is caught). Every refresh hands out a new refresh token and
    retires the old one. Token requests are logged as (time, grant_type, outcome). `answer_size` pads each granted
    token answer with blanks to that many bytes."""

    def __init__(self, certs, user, cert="localhost", access_life=3600):
        self.user, self.access_life, self.told_life = user, access_life, None
        self.lock, self.codes, self.refresh, self.access, self.devices = threading.Lock(), {}, set(), {}, {}
        self.requests, self.slow_down_once, self.answer_size = [], False, None
        self.on_introspect, self.access_bytes = None, 24
        tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        tls.load_cert_chain(f"{certs}/{cert}.pem", f"{certs}/{cert}.key")
        self.https = http.server.ThreadingHTTPServer(("127.0.0.1", 0), self._handler())
        self.https.socket = tls.wrap_socket(self.https.socket, server_side=True)
        self.http = http.server.ThreadingHTTPServer(("127.0.0.1", 0), self._handler())
        for server in (self.https, self.http):
            threading.Thread(target=server.serve_forever, daemon=True).start()
        self.base = f"https://localhost:{self.https.server_address[1]}"
        self.introspection = f"http://127.0.0.1:{self.http.server_address[1]}/introspect"

    def settings(self):
        return dict(oauth="generic", authorize_url=f"{self.base}/authorize", token_url=f"{self.base}/token",
            device_url=f"{self.base}/device", scope="imap offline_access", client_id=CLIENT_ID)

    def token_requests(self, since=0, grant=None):
        return [r for r in self.requests if r[0] >= since and (grant is None or r[1] == grant)]

    def expire_access(self, revoke=False):
        """Every access token stops working; with `revoke` every refresh token too, as when a user removes the app."""
        with self.lock:
            self.access.clear()
            if revoke:
                self.refresh.clear()

    def follow(self, address, context):
        """The user's browser: opens the authorization address and returns where the server redirects it."""
        url = urllib.parse.urlsplit(address)
        connection = http.client.HTTPSConnection(url.netloc, context=context, timeout=30)
        connection.request("GET", f"{url.path}?{url.query}")
        return connection.getresponse().getheader("Location")

    def approve(self, user_code, allow=True):
        with self.lock:
            for device in self.devices.values():
                if device["user_code"] == user_code:
                    device["state"] = "approved" if allow else "denied"

    def _issue(self, refresh=None):
        access = secrets.token_urlsafe(self.access_bytes)
        self.access[access] = time.monotonic() + self.access_life
        self.refresh.discard(refresh)
        refresh = secrets.token_urlsafe(32)
        self.refresh.add(refresh)
        return dict(access_token=access, token_type="Bearer", expires_in=self.told_life or self.access_life,
            refresh_token=refresh)

    def _token(self, form):
        grant = form.get("grant_type")
        if form.get("client_id") != CLIENT_ID:
            return 401, dict(error="invalid_client")
        if grant == "authorization_code":
            code = self.codes.pop(form.get("code"), None)
            if not code or code["redirect_uri"] != form.get("redirect_uri"):
                return 400, dict(error="invalid_grant", error_description="unknown or used code")
            if b64url(hashlib.sha256(form.get("code_verifier", "").encode()).digest()) != code["challenge"]:
                return 400, dict(error="invalid_grant", error_description="PKCE verification failed")
            return 200, self._issue()
        if grant == "refresh_token":
            if form.get("refresh_token") not in self.refresh:
                return 400, dict(error="invalid_grant", error_description="refresh token revoked or replaced")
            return 200, self._issue(form["refresh_token"])
        if grant == "urn:ietf:params:oauth:grant-type:device_code":
            device = self.devices.get(form.get("device_code"))
            if not device or time.monotonic() > device["expires"]:
                return 400, dict(error="expired_token")
            if self.slow_down_once:
                self.slow_down_once = False
                return 400, dict(error="slow_down")
            if device["state"] == "pending":
                return 400, dict(error="authorization_pending")
            del self.devices[form["device_code"]]
            return (200, self._issue()) if device["state"] == "approved" else (400, dict(error="access_denied"))
        return 400, dict(error="unsupported_grant_type")

    def _handler(server):
        class Handler(http.server.BaseHTTPRequestHandler):
            def answer(self, status, body=None, headers=()):
                data = json.dumps(body).encode() if body is not None else b""
                if server.answer_size and self.path == "/token" and status == 200:
                    data += b" " * (server.answer_size - len(data))
                self.send_response(status)
                for name, value in headers:
                    self.send_header(name, value)
                self.send_header("Content-Type", "application/json")
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.write(data)

            def do_GET(self):
                url = urllib.parse.urlsplit(self.path)
                query = dict(urllib.parse.parse_qsl(url.query))
                if url.path == "/authorize":
                    if query.get("client_id") != CLIENT_ID or query.get("code_challenge_method") != "S256" or \
                            query.get("response_type") != "code" or not query.get("code_challenge"):
                        return self.answer(400, dict(error="invalid_request"))
                    code = secrets.token_urlsafe(16)
                    with server.lock:
                        server.codes[code] = dict(challenge=query["code_challenge"], redirect_uri=query["redirect_uri"])
                    target = query["redirect_uri"] + "?" + urllib.parse.urlencode(dict(code=code,
                        state=query.get("state", "")))
                    return self.answer(302, headers=[("Location", target)])
                self.answer(404)

            def do_POST(self):
                length = int(self.headers.get("Content-Length", 0))
                body = self.rfile.read(length)
                if len(body) < length:
                    return  # the client gave up before its form: nothing was asked
                form = dict(urllib.parse.parse_qsl(body.decode()))
                with server.lock:
                    if self.path == "/introspect":
                        active = server.access.get(form.get("token"), 0) > time.monotonic()
                        status, body = 200, dict(active=True, username=server.user) if active else dict(active=False)
                    elif self.path == "/token":
                        status, body = server._token(form)
                        server.requests.append((time.monotonic(), form.get("grant_type"), body.get("error", "ok")))
                    elif self.path == "/device":
                        device = secrets.token_urlsafe(16)
                        user_code = secrets.token_hex(4).upper()
                        server.devices[device] = dict(user_code=user_code, state="pending",
                            expires=time.monotonic() + 600)
                        status, body = 200, dict(device_code=device, user_code=user_code,
                            verification_uri=f"{server.base}/activate", expires_in=600, interval=1,
                            verification_uri_complete=f"{server.base}/activate?user_code={user_code}")
                    else:
                        return self.answer(404)
                hook = server.on_introspect  # read once: the test may clear it meanwhile
                if self.path == "/introspect" and hook:
                    hook(form.get("token"), active)
                self.answer(status, body)

            def log_message(self, *args):
                pass

        return Handler


def started_ctl(rig, name, *args):
    """larkbellctl running in the background, its output in a file of its own."""
    out = f"{rig.folder}/{name}.out"
    open(out, "w").close()
    return rig.wine.start(out, f"{rig.folder}/larkbellctl.exe", *args), out


def said(out):
    return open(out, "rb").read().decode("cp932", "replace")


def printed(out, pattern):
    found = wait_for(lambda: re.search(pattern, said(out)), 60)
    return found.group(1) if found else None


def fetch(address, context=None):
    """Status and body of a GET, as a browser sees them (no redirect followed)."""
    try:
        with urllib.request.urlopen(address, context=context, timeout=30) as answer:
            return answer.status, answer.read().decode()
    except urllib.error.HTTPError as answer:
        return answer.code, answer.read().decode()
    except urllib.error.URLError as failure:
        return 0, str(failure)


def finished(process, deadline=120):
    try:
        return process.wait(deadline)
    except subprocess.TimeoutExpired:
        process.kill()
        return None


def browser_login(rig, auth, certs, name):
    """larkbellctl login NAME with the test as the browser; its exit status."""
    ctl, out = started_ctl(rig, f"login-{name}", "login", name)
    address = printed(out, r"(https://\S+/authorize\?\S+)")
    if not address:
        finished(ctl, 1)
        return None
    fetch(auth.follow(address, ssl.create_default_context(cafile=f"{certs}/ca.pem")))
    return finished(ctl)
