"""larkbellctl login against the rig's authorization server: the browser flow (the test is the browser) and the
device flow store a token that signs in; a wrong state gets 400, a replayed code is refused, an untrusted token
endpoint gets no form, and settings that make no sense together are refused naming the key."""
import ssl, urllib.request
from authserver import AuthServer, fetch, finished, printed, said, started_ctl
from mailrig import *

DEVICE = "urn:ietf:params:oauth:grant-type:device_code"

with scenario("signin") as (check, certs, dovecot, rig):
    auth, rogue, misnamed = (AuthServer(certs, "alice", cert=cert) for cert in ("localhost", "rogue", "wrongname"))
    dovecot.use_oauth2(auth.introspection)
    trusted = ssl.create_default_context(cafile=f"{certs}/ca.pem")
    rig.wine.env["WINEDLLOVERRIDES"] += ";winebrowser.exe=d"  # no browser of the host's: the test is the browser
    server = dict(host="localhost", port=dovecot.ports["imaps"], user="alice")
    rig.write_settings({"cloud": dict(server, **auth.settings()), "evil": dict(server, **rogue.settings()),
        "misnamed": dict(server, **misnamed.settings()), "mixed": dict(server, **auth.settings(), password="x"),
        "gmail": dict(server, oauth="google", client_id="x.apps.googleusercontent.com"),
        "noid": dict(server, oauth="microsoft")})

    ctl, out = started_ctl(rig, "browser", "login", "cloud")
    address = printed(out, r"(https://\S+/authorize\?\S+)")
    check("the browser flow prints the authorization address", address, said(out))
    redirect = auth.follow(address, trusted)
    query = dict(urllib.parse.parse_qsl(urllib.parse.urlsplit(redirect).query))
    check("the redirect goes to the one-shot listener on 127.0.0.1", redirect.startswith("http://127.0.0.1:"), redirect)
    forged = redirect.replace(f"state={query['state']}", "state=forged")
    status, page = fetch(forged)
    check("a wrong state is answered 400 and the sign-in goes on", status == 400 and ctl.poll() is None, page)
    status, page = fetch(redirect)
    check("the redirect is answered with a page in Japanese and English",
        status == 200 and "サインインしました" in page and "Signed in" in page, page)
    check("the browser flow ends with 0 once it checked the account", finished(ctl) == 0 and "signed in" in said(out)
        and "INBOX" in said(out), said(out))
    exchanges = auth.token_requests(grant="authorization_code")
    check("the code was exchanged once, with PKCE verified", [r[2] for r in exchanges] == ["ok"], exchanges)
    token_file = f"{rig.folder}/larkbellwatch-cloud.token"
    check("the refresh token is stored, protected", os.path.exists(token_file)
        and not any(token in open(token_file).read() for token in auth.refresh), token_file)
    status, body = fetch(urllib.request.Request(f"{auth.base}/token", data=urllib.parse.urlencode(dict(
        grant_type="authorization_code", code=query["code"], redirect_uri=redirect.split("?")[0],
        client_id="larkbell-test", code_verifier="x" * 43)).encode()), trusted)
    check("a replayed code is refused", status == 400 and "invalid_grant" in body, body)
    status, page = fetch(redirect)
    check("the listener is gone after its one redirect", status == 0 or status >= 400, page)

    ctl, out = started_ctl(rig, "device", "login", "cloud", "--device")
    user_code = printed(out, r"enter the code (\S+)")
    check("the device flow prints the address and the user code", user_code and f"{auth.base}/activate" in said(out),
        said(out))
    auth.slow_down_once = True
    wait_for(lambda: len(auth.token_requests(grant=DEVICE)) >= 3)
    auth.approve(user_code)
    check("the device flow ends with 0", finished(ctl) == 0, said(out))
    polls = auth.token_requests(grant=DEVICE)
    outcomes = [r[2] for r in polls]
    check("the device flow slowed down, then waited 5 s more, waited while pending and got its token",
        outcomes[0] == "slow_down" and polls[1][0] - polls[0][0] >= 5.5 and "authorization_pending" in outcomes
        and outcomes[-1] == "ok", polls)

    ctl, out = started_ctl(rig, "denied", "login", "cloud", "--device")
    auth.approve(printed(out, r"enter the code (\S+)"), allow=False)
    check("a declined device sign-in exits non-zero", finished(ctl) not in (0, None), said(out))

    for name, bad in (("evil", rogue), ("misnamed", misnamed)):
        status, _, err = rig.ctl("login", name, "--device")
        check(f"{name}: the token server's certificate is refused in one line, no form reached it", status != 0
            and len(err.strip().splitlines()) == 1 and "certificate" in err and not (bad.requests or bad.devices), err)
    for name, key in (("mixed", "password="), ("noid", "client_id="), ("gmail", "--device")):
        status, _, err = rig.ctl("login", name, "--device")
        check(f"{name}: refused naming {key}", status != 0 and key in err and len(err.strip().splitlines()) == 1, err)
    status, _, err = rig.ctl("check", "mixed")
    check("larkbellctl check refuses the same settings", status != 0 and "password=" in err, err)
