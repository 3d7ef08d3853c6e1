"""The mail rig for larkbellwatch's scenarios (each run as SCRIPT SOURCE_DIR BUILD_DIR): test certificates, Debian's
Dovecot from a config of its own, relays and hostile servers on loopback, and the programs under Wine in its own Xvfb.
Everything waits for conditions with deadlines; Wine's output always goes to files."""
import contextlib, glob, hashlib, imaplib, os, re, select, shutil, signal, socket, ssl, subprocess, sys, threading, time

NOBODY = 65534
PASSWORDS = {"alice": "secret1", "bob": "secret2"}


def wait_for(condition, deadline=60):
    end = time.monotonic() + deadline
    while not (value := condition()) and time.monotonic() < end:
        time.sleep(0.1)
    return value


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def accepts(port):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=1).close()
        return True
    except OSError:
        return False


def fingerprint(pem):
    return hashlib.sha256(ssl.PEM_cert_to_DER_cert(open(pem).read())).hexdigest()


def _into_maildir(maildir, count, seen=False):
    """As an MTA delivers: written to tmp/, renamed into new/ (or, seen, into cur/ with the S flag)."""
    for n in range(count):
        name = f"{time.time_ns()}.larkbell{n}.localhost"
        open(f"{maildir}/tmp/{name}", "w").write(f"From: test@localhost\r\nSubject: {n}\r\n\r\nbody {n}\r\n")
        os.chown(f"{maildir}/tmp/{name}", NOBODY, NOBODY)
        os.rename(f"{maildir}/tmp/{name}", f"{maildir}/cur/{name}:2,S" if seen else f"{maildir}/new/{name}")


class Checks:
    """Each check prints its verdict; a failed one its detail, by default the count and the end of the watcher's log."""

    def __init__(self):
        self.failures, self.rig = 0, None

    def __call__(self, what, passed, detail=None):
        if detail is None and not passed and self.rig:
            detail = f"count {self.rig.count()}; log: {self.rig.log()[-5000:]}"
        print(("ok: " if passed else "FAILED: ") + what + ("" if passed else f" ({detail})"), flush=True)
        self.failures += not passed
        return passed

    def finish(self):
        print(f"{self.failures} failed", flush=True)
        sys.exit(1 if self.failures else 0)


def make_certs(folder):
    """ca signs localhost and mail.example.org; rogue-ca signs another localhost; selfsigned signs itself."""
    if os.path.exists(f"{folder}/complete"):
        return folder
    os.makedirs(folder, exist_ok=True)

    def issue(name, cn, signer=None, ca=False):
        key, pem = f"{folder}/{name}.key", f"{folder}/{name}.pem"
        ext = ["basicConstraints=critical,CA:TRUE", "keyUsage=critical,keyCertSign,cRLSign"] if ca else [
            f"subjectAltName=DNS:{cn}", "extendedKeyUsage=serverAuth", "basicConstraints=CA:FALSE"]
        signing = ["-CA", f"{folder}/{signer}.pem", "-CAkey", f"{folder}/{signer}.key"] if signer else []
        subprocess.run(["openssl", "req", "-x509", "-days", "3650", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
            "-subj", f"/CN={cn}", "-out", pem, *signing, *(arg for e in ext for arg in ("-addext", e))], check=True,
            capture_output=True)

    issue("ca", "larkbell test CA", ca=True)
    issue("rogue-ca", "larkbell untrusted CA", ca=True)
    issue("localhost", "localhost", "ca")
    issue("rogue", "localhost", "rogue-ca")
    issue("wrongname", "mail.example.org", "ca")
    issue("selfsigned", "localhost")
    open(f"{folder}/complete", "w").close()
    return folder


class Dovecot:
    """One Dovecot of its own under `folder`, run as nobody, on free loopback ports: imap (STARTTLS and, from
    loopback, plaintext), imaps and pop3s. Each post-login session leaves its raw traffic in rawlog/USER.
    No auth penalty: one account's wrong password must not slow the other's logins from the same address."""

    def __init__(self, folder, certs):
        self.folder, self.certs, self.process = folder, certs, None
        self.ports = {name: free_port() for name in ("imap", "imaps", "pop3s")}
        self.log = f"{folder}/dovecot.log"
        shutil.rmtree(folder, ignore_errors=True)
        for sub in ("run", "state", "rawlog/alice", "rawlog/bob", "home"):
            os.makedirs(f"{folder}/{sub}")
        for name in ("localhost.pem", "localhost.key"):
            shutil.copy(f"{certs}/{name}", folder)
        open(f"{folder}/passwd", "w").writelines(f"{user}:{{plain}}{pw}\n" for user, pw in PASSWORDS.items())
        open(f"{folder}/dovecot.conf", "w").write(f"""instance_name = larkbell-{os.path.basename(folder)}-{os.getpid()}
base_dir = {folder}/run
state_dir = {folder}/state
log_path = {self.log}
protocols = imap pop3
listen = 127.0.0.1
ssl = yes
ssl_cert = <{folder}/localhost.pem
ssl_key = <{folder}/localhost.key
disable_plaintext_auth = yes
auth_mechanisms = plain login
auth_failure_delay = 0
auth_verbose = yes
default_internal_user = nobody
default_internal_group = nogroup
default_login_user = nobody
first_valid_uid = {NOBODY}
mail_location = maildir:~/Maildir
passdb {{
  driver = passwd-file
  args = scheme=PLAIN {folder}/passwd
}}
userdb {{
  driver = static
  args = uid={NOBODY} gid={NOBODY} home={folder}/home/%u
}}
protocol imap {{
  rawlog_dir = {folder}/rawlog/%u
}}
service/imap-login/chroot =
service/imap-login/inet_listener/imap/port = {self.ports["imap"]}
service/imap-login/inet_listener/imaps/port = {self.ports["imaps"]}
service/imap-login/inet_listener/imaps/ssl = yes
service/pop3-login/chroot =
service/pop3-login/inet_listener/pop3/port = 0
service/pop3-login/inet_listener/pop3s/port = {self.ports["pop3s"]}
service/pop3-login/inet_listener/pop3s/ssl = yes
service/anvil/chroot =
service/anvil/unix_listener/anvil-auth-penalty/mode = 0
""")
        open(self.log, "w").close()
        subprocess.run(["chown", "-R", f"{NOBODY}:{NOBODY}", folder], check=True)

    def start(self):
        with open(self.log, "a") as log:
            self.process = subprocess.Popen(["setsid", "setpriv", f"--reuid={NOBODY}", f"--regid={NOBODY}",
                "--clear-groups", "dovecot", "-F", "-c", f"{self.folder}/dovecot.conf"], stdin=subprocess.DEVNULL,
                stdout=log, stderr=log)
        if not wait_for(lambda: all(accepts(port) for port in self.ports.values()), 30):
            raise RuntimeError(f"Dovecot did not start; see {self.log}")

    def stop(self, how=signal.SIGTERM):
        """SIGTERM asks the master to end; SIGKILL to the whole session is a crash: every connection drops."""
        if how == signal.SIGKILL:
            os.killpg(self.process.pid, how)
        else:
            self.process.send_signal(how)
        self.process.wait(30)
        wait_for(lambda: not any(accepts(port) for port in self.ports.values()), 30)

    def use_oauth2(self, endpoint):
        """Restarts with Dovecot's oauth2 passdb in front, asking `endpoint` (RFC 7662 introspection) about tokens."""
        self.stop()
        conf = open(f"{self.folder}/dovecot.conf").read().replace("auth_mechanisms = plain login",
            "auth_mechanisms = plain login xoauth2 oauthbearer").replace("userdb {", f"""passdb {{
  driver = oauth2
  mechanisms = xoauth2 oauthbearer
  args = {self.folder}/oauth2.conf.ext
}}
userdb {{""", 1)
        open(f"{self.folder}/dovecot.conf", "w").write(conf)
        open(f"{self.folder}/oauth2.conf.ext", "w").write(f"introspection_mode = post\nintrospection_url = "
            f"{endpoint}\nforce_introspection = yes\nusername_attribute = username\nactive_attribute = active\n"
            "active_value = true\n")
        self.start()

    def session(self, user):
        context = ssl.create_default_context(cafile=f"{self.certs}/ca.pem")
        client = imaplib.IMAP4_SSL("localhost", self.ports["imaps"], ssl_context=context, timeout=30)
        client.login(user, PASSWORDS[user])
        return client

    def deliver(self, user, count=1, mailbox="INBOX", seen=False, header=None):
        """Appends `count` messages, or one with `header`; mailbox names are as on the wire (modified UTF-7)."""
        with self.session(user) as client:
            for n in range(count):
                message = header or f"From: test@localhost\r\nSubject: {n}\r\n".encode()
                client.append(mailbox, "(\\Seen)" if seen else None, None, message + f"\r\nbody {n}\r\n".encode())

    def deliver_offline(self, user, count):
        """Writes messages straight into the Maildir, as a delivery agent would while the server is down."""
        _into_maildir(f"{self.folder}/home/{user}/Maildir", count)

    def create(self, user, *mailboxes, again=False):
        """Creates the mailboxes; `again` deletes each first, so that Dovecot gives it a new UIDVALIDITY."""
        with self.session(user) as client:
            for mailbox in mailboxes:
                again and client.delete(mailbox)
                client.create(mailbox)

    def log_count(self, pattern):
        return len(re.findall(pattern, open(self.log, errors="replace").read()))

    def idling(self, user):
        """Sessions of `user` that have sent IDLE: a watcher has its baseline once its connection idles."""
        return sum(b"IDLE" in open(path, "rb").read() for path in glob.glob(f"{self.folder}/rawlog/{user}/*.in"))

    def pop3_tops(self, user):
        """Headers read with TOP in `user`'s POP3 sessions so far; None once one sent RETR or DELE."""
        sessions = re.findall(rf"pop3\({user}\).*Logged out top=(\d+)/\d+, retr=(\d+)/\d+, del=(\d+)/",
            open(self.log, errors="replace").read())
        return None if any(s[1:] != ("0", "0") for s in sessions) else sum(int(s[0]) for s in sessions)


class Courier:
    """Courier IMAP over implicit TLS for alice's own maildir, run from the package scripts/setup unpacked into
    BUILD/courier-imap (installed, it would remove Dovecot). `folder` is bound over its built-in /etc/courier and
    /run/courier in a mount namespace of its own. Its IDLE looks at the maildir once a minute."""

    STARTUP = r"""mount --bind "$1/etc" /etc/courier && mount --bind "$1/run" /run/courier || exit 1
cd /etc/courier && makeuserdb || exit 1
/usr/lib/courier/courier-authlib/authdaemond &
set -a
. /etc/courier/imapd
. /etc/courier/imapd-ssl
IMAP_TLS=1
TLS_CERTFILE=$1/server.pem
TLS_CACHEFILE=
exec couriertcpd -address=127.0.0.1 -nodnslookup -noidentlookup "$2" "$COURIERTLS" -server -tcpd \
  "$1/bin/imaplogin" "$1/bin/imapd" Maildir"""

    def __init__(self, folder, certs, build):
        self.folder, self.certs, self.process, self.monitors = folder, certs, None, set()
        self.root = f"{build}/courier-imap"
        if not os.path.exists(f"{self.root}/usr/bin/imapd"):
            raise RuntimeError(f"{self.root} holds no Courier IMAP: run scripts/setup {build}")
        self.ports = {"imaps": free_port()}
        self.log = f"{folder}/courier.log"
        self.maildir = f"{folder}/home/alice/Maildir"
        shutil.rmtree(folder, ignore_errors=True)
        # bin: imapd starts as the user, who may not reach into the build folder either.
        for sub in ("run/authdaemon", "home/alice", "bin"):
            os.makedirs(f"{folder}/{sub}")
        shutil.copytree(f"{self.root}/etc/courier", f"{folder}/etc")
        for program in ("usr/lib/courier/courier/imaplogin", "usr/bin/imapd"):
            shutil.copy(f"{self.root}/{program}", f"{folder}/bin")
        key_and_cert = "".join(open(f"{certs}/localhost.{kind}").read() for kind in ("key", "pem"))
        open(f"{folder}/server.pem", "w").write(key_and_cert)
        open(f"{folder}/etc/authdaemonrc", "w").write('authmodulelist="authuserdb"\ndaemons=1\n'
            'authdaemonvar=/run/courier/authdaemon\n')
        hashed = subprocess.run(["openssl", "passwd", "-6", PASSWORDS["alice"]], capture_output=True, text=True,
            check=True).stdout.strip()
        with open(os.open(f"{folder}/etc/userdb", os.O_WRONLY | os.O_CREAT, 0o600), "w") as userdb:
            userdb.write(f"alice\tuid={NOBODY}|gid={NOBODY}|home={folder}/home/alice|mail={self.maildir}"
                f"|systempw={hashed}\n")
        subprocess.run(["maildirmake.courier", self.maildir], check=True)
        os.makedirs("/run/courier", exist_ok=True)
        open(self.log, "w").close()
        subprocess.run(["chown", "-R", f"{NOBODY}:{NOBODY}", f"{folder}/home"], check=True)

    def add_folder(self, name):
        """A folder below INBOX, as Courier keeps it: Maildir/.NAME in UTF-8."""
        subprocess.run(["maildirmake.courier", "-f", name, self.maildir], check=True)
        subprocess.run(["chown", "-R", f"{NOBODY}:{NOBODY}", self.maildir], check=True)

    @staticmethod
    def _propagation():
        """Private, unless "/" is no mount point (a chroot), where no mount may be shared, or the binds show outside."""
        private = ["unshare", "--mount", "--propagation", "private", "true"]
        if subprocess.run(private, capture_output=True).returncode == 0:
            return "private"
        if "shared:" in open("/proc/self/mountinfo").read():
            raise RuntimeError("cannot bind Courier's settings privately: / is no mount point, and mounts are shared")
        return "unchanged"

    def start(self):
        self.monitors = self._monitors()  # the machine's own, if any
        with open(self.log, "a") as log:
            self.process = subprocess.Popen(["unshare", "--mount", "--propagation", self._propagation(), "sh", "-c",
                self.STARTUP, "courier", self.folder, str(self.ports["imaps"])], stdin=subprocess.DEVNULL,
                stdout=log, stderr=log, start_new_session=True)
        # Logins fail until authdaemond has its socket.
        if not wait_for(lambda: accepts(self.ports["imaps"]) and os.path.exists(f"{self.folder}/run/authdaemon/socket"),
                30):
            raise RuntimeError(f"Courier did not start: {open(self.log).read()[-2000:]}")

    def stop(self):
        """Ends the whole session (authdaemond, every imapd), and the file monitor its imapd started, by their ids."""
        os.killpg(self.process.pid, signal.SIGTERM)
        self.process.wait(30)
        wait_for(lambda: not accepts(self.ports["imaps"]), 30)
        for pid in self._monitors() - self.monitors:
            with contextlib.suppress(OSError):
                os.kill(pid, signal.SIGTERM)

    @staticmethod
    def _monitors():
        """Gamin's servers running as the mail user: imapd starts one, which outlives the session."""
        return {pid for pid in wine_processes("gam_server") if _owner(pid) == NOBODY}

    def session(self, user):
        try:
            return Dovecot.session(self, user)
        except imaplib.IMAP4.error as error:
            raise RuntimeError(f"{error} Courier's log: {open(self.log).read()[-2000:]}") from error

    def deliver(self, user, count=1, mailbox="INBOX", seen=False):
        """Writes `count` messages into the folder's maildir; "INBOX.NAME" is the folder NAME below INBOX."""
        _into_maildir(self.maildir + ("" if mailbox == "INBOX" else "/." + mailbox[len("INBOX."):]), count, seen)


class _Server:
    """A loopback listener counting connections, each served on a thread of its own; `tls` made from a certificate."""

    def __init__(self, cert=None):
        self.connections, self.tls = 0, None
        if cert:
            self.tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            self.tls.load_cert_chain(cert, cert.replace(".pem", ".key"))
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            client, _ = self.listener.accept()
            self.connections += 1
            threading.Thread(target=self._serve, args=(client, self.connections), daemon=True).start()


class Relay(_Server):
    """Counts client bytes; TLS first with a certificate. It forwards to `upstream`, or with `flood` ("line" or
    "literal") streams an endless line or literal. silence() freezes them."""

    GREETING = b"* OK [CAPABILITY IMAP4rev1 IDLE AUTH=PLAIN] ready\r\n"

    def __init__(self, upstream=None, cert=None, flood=None):
        self.upstream, self.flood, self.client_bytes, self.silent = upstream, flood, 0, set()
        super().__init__(cert)

    def silence(self):
        self.silent = set(range(1, self.connections + 1))

    def _serve(self, client, number):
        try:
            if self.tls:
                client = self.tls.wrap_socket(client, server_side=True)
            if self.flood:
                self._flood(client)
            else:
                self._forward(client, socket.create_connection(("127.0.0.1", self.upstream)), number)
        except OSError:
            pass
        finally:
            client.close()

    def _flood(self, client):
        client.settimeout(30)  # a client that stops reading but stays connected ends the flood too
        client.sendall(self.GREETING + (b"* OK " if self.flood == "line" else b"* 1 FETCH (BODY[] {4000000000}\r\n"))
        for _ in range(16384):  # 1 GB at most, so a client that never stops reading cannot hold the test
            client.sendall(b"x" * 65536)

    def _forward(self, client, server, number):
        with server:
            while True:
                ready = [client] if self.tls and client.pending() else select.select([client, server], [], [])[0]
                for source in ready:
                    data = source.recv(65536)
                    if not data:
                        return
                    if source is client:
                        self.client_bytes += len(data)
                    if number not in self.silent:
                        (server if source is client else client).sendall(data)


class Wine:
    """Wine in a prefix of its own (BUILD/wineprefix-watch) with a private Xvfb; services first, output to files."""

    def __init__(self, build, log):
        self.log = log
        self.env = dict(os.environ, WINEPREFIX=f"{build}/wineprefix-watch", WINEDEBUG="-all",
            WINEDLLOVERRIDES="mscoree,mshtml=", LC_ALL="ja_JP.UTF-8", LANG="ja_JP.UTF-8")
        display = f"{os.path.dirname(log)}/display"
        with open(display, "w") as out, open(log, "a") as err:
            self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten",
                "tcp"], stdout=out, stderr=err)
        if not wait_for(lambda: open(display).read().strip(), 30):
            raise RuntimeError("Xvfb did not start")
        self.env["DISPLAY"] = ":" + open(display).read().strip()
        self.stop_server()
        self.run(f"{os.path.dirname(log)}/wineboot.out", "wineboot")

    def start(self, out, *args):
        with open(out, "ab") as output, open(self.log, "ab") as err:
            return subprocess.Popen(["wine", *args], env=self.env, stdin=subprocess.DEVNULL, stdout=output, stderr=err)

    def run(self, out, *args, text=None, timeout=120):
        """Runs a program to its end; returns its exit status and what it wrote to stdout and to stderr."""
        with open(out, "wb") as output, open(out + ".err", "wb") as err:
            status = subprocess.run(["wine", *args], env=self.env, input=text.encode() if text else None,
                stdin=None if text else subprocess.DEVNULL, stdout=output, stderr=err, timeout=timeout).returncode
        return (status, *(open(path, "rb").read().decode("cp932", "replace") for path in (out, out + ".err")))

    def stop_server(self):
        """Ends this prefix's server and waits until it is gone: a server still going down resets the next
        scenario's programs."""
        for flag in ("-k", "-w"):
            subprocess.run(["wineserver", flag], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                timeout=60)

    def end(self):
        self.stop_server()
        self.xvfb.kill()


class Rig:
    """The three programs and the skin in a folder of their own, with this rig's INI, log and state."""

    def __init__(self, wine, build, folder):
        self.wine, self.folder, self.watcher, self.probe_exe = wine, folder, None, f"{build}/bin/tests/probe.exe"
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        for name in ("larkbell.exe", "larkbellctl.exe", "larkbellwatch.exe", "larkbell.bmp"):
            shutil.copy(f"{build}/bin/{name}", folder)

    def write_settings(self, accounts, **setting):
        lines = ["[setting]"] + [f"{key}={value}" for key, value in setting.items()]
        for name, keys in accounts.items():
            lines += [f"[account:{name}]"] + [f"{key}={value}" for key, value in keys.items()]
        open(f"{self.folder}/larkbellwatch.ini", "wb").write("\r\n".join(lines + [""]).encode("cp932"))

    def settings(self, text=None):
        """The INI as it is now; with `text`, written anew first."""
        if text is not None:
            open(f"{self.folder}/larkbellwatch.ini", "wb").write(text.encode("cp932"))
        return open(f"{self.folder}/larkbellwatch.ini", "rb").read().decode("cp932")

    def passwords(self, **stored):
        """Stores each account's password as a user types it to larkbellctl password."""
        for name, password in stored.items():
            self.ctl("password", name, text=password + "\n")

    def ctl(self, *args, text=None):
        return self.wine.run(f"{self.folder}/ctl.out", f"{self.folder}/larkbellctl.exe", *args, text=text)

    def count(self):
        status, out, _ = self.ctl("get")
        return int(out.strip()) if status == 0 else None

    def wait_count(self, target, deadline=60):
        wait_for(lambda: (self.count() or 0) >= target, deadline)
        return self.count()

    def start(self):
        self.watcher = self.wine.start(f"{self.folder}/watch.out", f"{self.folder}/larkbellwatch.exe")

    def stop(self):
        """Asks the running watcher to end; true when it did within 2 s of the request's return. What --stop
        said is kept in self.stopped: exit status, stdout, stderr."""
        self.stopped = self.wine.run(f"{self.folder}/stop.out", f"{self.folder}/larkbellwatch.exe", "--stop")
        try:
            self.watcher.wait(2)
            return True
        except subprocess.TimeoutExpired:
            self.watcher.kill()
            self.watcher.wait()
            return False

    def running(self):
        return self.watcher.poll() is None

    def log(self):
        path = f"{self.folder}/larkbellwatch.log"
        return open(path, "rb").read().decode("cp932", "replace") if os.path.exists(path) else ""

    def wait_log(self, pattern, times=1, deadline=60):
        return wait_for(lambda: len(re.findall(pattern, self.log())) >= times, deadline)

    def probe(self, *args):
        return self.wine.run(f"{self.folder}/probe.out", self.probe_exe, *args)

    def windows(self, exe, *hidden):
        """Visible (or hidden) top-level windows of `exe` as the probe sees them: class, hwnd, style, rect, and the rows
        of a list view in it, each a list of cells."""
        found = []
        for line in self.probe("windows", exe, *hidden)[1].splitlines():
            if line.startswith("hwnd="):
                facts = dict(f.split("=", 1) for f in line.partition(" title=")[0].split())
                found.append(dict(facts, style=int(facts["style"], 16), rect=tuple(map(int, facts["rect"].split(","))),
                    rows=[]))
            elif found and line.startswith("  row "):
                found[-1]["rows"].append(line.split(": ", 1)[1].split("\t"))
        return found

    def tool(self, *args):
        """A tool beside Wine, on its display (xdotool, import, identify, ss); what it printed."""
        return subprocess.run(args, env=self.wine.env, capture_output=True, text=True, timeout=30).stdout

    def status(self, pattern="", deadline=30):
        """larkbellctl status once its table matches `pattern` (or the deadline passed): exit status, stdout, stderr."""
        said = []
        wait_for(lambda: said.append(self.ctl("status")) or re.search(pattern, said[-1][1]), deadline)
        return said[-1]


def wine_processes(path_tail):
    """Linux pids of a running Windows program whose path ends in `path_tail` (e.g. "rig/larkbell.exe"):
    Wine shows its programs' Windows command lines in /proc."""
    pattern = rb"[\\/]".join(map(re.escape, path_tail.encode().split(b"/"))) + rb"\b"
    pids = []
    for cmdline in glob.glob("/proc/[0-9]*/cmdline"):
        try:
            if re.search(pattern, open(cmdline, "rb").read()):
                pids.append(int(cmdline.split("/")[2]))
        except OSError:
            pass
    return pids


def _owner(pid):
    with contextlib.suppress(OSError):
        return os.stat(f"/proc/{pid}").st_uid


def rss_kb(path_tail):
    """The largest resident size among a Windows program's processes."""
    sizes = []
    for pid in wine_processes(path_tail):
        try:
            sizes.append(int(re.search(r"VmRSS:\s+(\d+)", open(f"/proc/{pid}/status").read()).group(1)))
        except (OSError, AttributeError):
            pass
    return max(sizes, default=None)


@contextlib.contextmanager
def scenario(name, server=None):
    """The scenario's folder under BUILD/mailrig, the server (Dovecot unless given) started, Wine up with the test CA
    trusted; yields Checks, certificates, server and a Rig. Then checks that the log holds no password, ends Wine and
    the server, and exits with the verdict."""
    check = Checks()
    build = os.path.abspath(sys.argv[2])
    folder = f"{build}/mailrig/{name}"
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    certs = make_certs(f"{build}/mailrig/certs")
    # The servers' users are nobody, who may not reach into the build folder (a clone under /root, say).
    home = f"/tmp/larkbell-mailrig-{os.getpid()}-{name}"
    dovecot = server(home, certs, build) if server else Dovecot(home, certs)
    dovecot.start()
    wine = None
    try:
        wine = Wine(build, f"{folder}/wine.log")
        if wine.run(f"{folder}/trust.out", f"{build}/bin/tests/trust_ca.exe", f"{certs}/ca.pem")[0] != 0:
            raise RuntimeError("trust_ca could not add the test CA")
        rig = Rig(wine, build, f"{folder}/rig")
        check.rig = rig
        yield check, certs, dovecot, rig
        check("the log never holds a password", not any(password in rig.log() for password in PASSWORDS.values()))
    finally:
        if wine:
            wine.end()
        dovecot.stop()
        if not check.failures:  # a failed scenario's server log stays for reading
            shutil.rmtree(dovecot.folder, ignore_errors=True)
    check.finish()


class TlsRecordServer(_Server):
    """Sends one TLS record announcing `length` bytes and holds that many: during the handshake (no certificate:
    the record is the server's first flight) or, with one, just after it. The client's buffer takes the record
    whole or refuses it as too large."""

    def __init__(self, length, cert=None):
        self.length = length
        super().__init__(cert)

    def _serve(self, client, number):
        try:
            client.settimeout(30)
            if self.tls:  # the handshake on a second handle, so that the record after it goes out raw
                handshake = socket.socket(fileno=os.dup(client.fileno()))
                handshake.settimeout(30)
                self.tls.wrap_socket(handshake, server_side=True).close()
            else:
                client.recv(65536)  # the ClientHello
            kind = b"\x17" if self.tls else b"\x16"
            client.sendall(kind + b"\x03\x03" + self.length.to_bytes(2, "big") + b"\x00" * self.length)
            while client.recv(65536):
                pass
        except OSError:
            pass
        finally:
            client.close()
