"""What larkbellwatch costs and how fast it is, against the mail rig's own Dovecot: delivery-to-count latency,
the idle watcher's CPU (its own process and this prefix's wineserver, beside a wineserver baseline with the
watcher frozen) and its private memory, all read from the Linux side. Lines that begin with "* " go to the summary.
    watch_bench.py SOURCE_DIR BUILD_DIR [--rounds N] [--idle-s SECONDS]"""
import argparse, os, statistics, sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "watch"))
from mailrig import *  # noqa: E402,F403

CPU_TARGET, MEMORY_TARGET_KB = 0.05, 8 * 1024
HZ = os.sysconf("SC_CLK_TCK")


def cpu_times(pid):
    """(utime + stime in clock ticks, the threads' run time in ns from schedstat) of a live process."""
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    run_ns = 0
    for task in glob.glob(f"/proc/{pid}/task/*/schedstat"):
        try:
            run_ns += int(open(task).read().split()[0])
        except OSError:
            pass  # a thread that ended meanwhile
    return int(fields[11]) + int(fields[12]), run_ns


def server_pid(prefix):
    """The wineserver of `prefix`: it works in a folder named after the prefix's device and inode."""
    info = os.stat(prefix)
    want = f"server-{info.st_dev:x}-{info.st_ino:x}"
    for comm in glob.glob("/proc/[0-9]*/comm"):
        pid = comm.split("/")[2]
        try:
            if open(comm).read().startswith("wineserver") and os.path.basename(os.readlink(f"/proc/{pid}/cwd")) == want:
                return int(pid)
        except OSError:
            pass
    raise RuntimeError(f"no wineserver for {prefix}")


def cpu_percent(pids, seconds):
    """% of one core each of `pids` used over `seconds`: (from utime + stime, from schedstat)."""
    before = [cpu_times(pid) for pid in pids]
    time.sleep(seconds)
    after = [cpu_times(pid) for pid in pids]
    return [(100 * (a[0] - b[0]) / HZ / seconds, 100 * (a[1] - b[1]) / 1e9 / seconds) for a, b in zip(after, before)]


def memory_kb(pid):
    """RssAnon from status and Private_Clean/Private_Dirty/Pss/Pss_Anon from smaps_rollup, in KiB."""
    figures = dict(re.findall(r"(RssAnon|RssFile|VmRSS):\s+(\d+)", open(f"/proc/{pid}/status").read()))
    figures.update(re.findall(r"(?m)^(Private_Clean|Private_Dirty|Pss|Pss_Anon):\s+(\d+)", open(f"/proc/{pid}/smaps_rollup").read()))
    return {key: int(value) for key, value in figures.items()}


def main_pid(exe):
    """The running program among `exe`'s processes: the one with the largest resident size."""
    pids = wine_processes(exe)
    if not pids:
        raise RuntimeError(f"no {exe} process")
    return max(pids, key=lambda pid: memory_kb(pid)["VmRSS"])


def spread(samples):
    ordered = sorted(samples)
    quartiles = statistics.quantiles(ordered, n=4) if len(ordered) > 1 else ordered * 3
    return (f"median {statistics.median(ordered):.0f} ms (p25 {quartiles[0]:.0f} .. p75 {quartiles[2]:.0f}, "
        f"min {ordered[0]:.0f} .. max {ordered[-1]:.0f}, n={len(ordered)})")


def idle_commands(dovecot):
    """IDLE commands alice's sessions have sent so far: the watcher idles again after each count."""
    return sum(open(path, "rb").read().count(b" IDLE\r\n") for path in glob.glob(f"{dovecot.folder}/rawlog/alice/*.in"))


def measure_latency(rig, dovecot, wine, build, rounds):
    """Delivers one message a round over one IMAP session and waits for the count to rise by one."""
    follow_out = f"{rig.folder}/count_follow.out"
    follower = wine.start(follow_out, f"{build}/bin/bench/count_follow.exe", str(60 + 10 * rounds))

    def changes():
        return [tuple(map(float, line.split())) for line in open(follow_out).read().splitlines() if line.strip()]

    if not wait_for(changes, 30):
        raise RuntimeError("count_follow did not start")
    to_count, to_log, failures = [], [], 0
    with dovecot.session("alice") as client:
        for _ in range(rounds):
            seen_changes, idles = len(changes()), idle_commands(dovecot)
            logged = len(re.findall(r"new messages: 1\b", rig.log()))
            message = f"From: bench@localhost\r\nSubject: bench {time.time()}\r\n\r\nbody\r\n".encode()
            client.append("INBOX", None, None, message)
            delivered = time.time() * 1000
            log_ms = None
            end = time.monotonic() + 30
            while time.monotonic() < end:
                if log_ms is None and len(re.findall(r"new messages: 1\b", rig.log())) > logged:
                    log_ms = time.time() * 1000 - delivered
                if len(changes()) > seen_changes and log_ms is not None:
                    break
                time.sleep(0.01)
            new = changes()[seen_changes:]
            if len(new) != 1 or new[0][1] - (changes()[seen_changes - 1][1]) != 1 or log_ms is None:
                failures += 1
                print(f"  round missed: count changes {new}, log {log_ms}", flush=True)
                continue
            to_count.append(new[0][0] - delivered)
            to_log.append(log_ms)
            # The next delivery finds the watcher idling again, as a real one would.
            wait_for(lambda: idle_commands(dovecot) > idles, 5)
    floor = memory_kb(main_pid("count_follow.exe"))  # a minimal console program: Wine's own share
    follower.kill()
    follower.wait()
    return to_count, to_log, failures, floor


def main():
    options = argparse.ArgumentParser()
    options.add_argument("source")
    options.add_argument("build")
    options.add_argument("--rounds", type=int, default=20)
    options.add_argument("--idle-s", type=int, default=60)
    args = options.parse_args()
    build, folder, certs, dovecot, wine = session("bench")
    notifier = None
    try:
        rig = Rig(wine, build, f"{folder}/rig")
        rig.write_settings({"home": dict(host="localhost", port=dovecot.ports["imaps"], security="tls", user="alice",
            folders="INBOX")})
        rig.ctl("password", "home", text=PASSWORDS["alice"] + "\n")
        prefix, seconds = wine.env["WINEPREFIX"], args.idle_s

        # Latency with a notifier already showing, as after the first mail of a day: each "larkbell.exe 1"
        # then only adds and ends.
        notifier = wine.start(f"{rig.folder}/notifier.out", f"{rig.folder}/larkbell.exe")
        if not wait_for(lambda: wine_processes("larkbell.exe"), 30):
            raise RuntimeError("the notifier did not start")
        before = dovecot.idling("alice")
        rig.start()
        if not wait_for(lambda: dovecot.idling("alice") > before, 60):
            raise RuntimeError("the watcher did not reach IDLE")
        to_count, to_log, failures, floor_memory = measure_latency(rig, dovecot, wine, build, args.rounds)
        notifier_memory = memory_kb(main_pid("larkbell.exe"))
        notifier.kill()
        notifier.wait()
        notifier = None
        wait_for(lambda: not wine_processes("larkbell.exe"), 30)

        # The watcher alone, idling on INBOX, no notifier running.
        watcher = main_pid("larkbellwatch.exe")
        time.sleep(2)  # past the last re-IDLE of the latency rounds
        (own_ticks, own_sched), (server_ticks, server_sched) = cpu_percent([watcher, server_pid(prefix)], seconds)
        memory = memory_kb(watcher)

        # Wine's background services without the watcher's share: the watcher frozen, not ended, for Wine
        # ends its services (and the server) once no program runs.
        os.kill(watcher, signal.SIGSTOP)
        try:
            [(base_ticks, base_sched)] = cpu_percent([server_pid(prefix)], seconds)
        finally:
            os.kill(watcher, signal.SIGCONT)
        stopped = rig.stop()
    finally:
        if notifier:
            notifier.kill()
        wine.end()
        dovecot.stop()

    print(f"== Watcher: delivery to count (IMAP APPEND over TLS to the rig's Dovecot, INBOX idled over implicit TLS, "
        f"a notifier already showing; count read every 10 ms inside Wine; median of {args.rounds})")
    print("  Dovecot itself tells an idling client about 0.5 s after a delivery; that delay is inside these figures.")
    print(f"  APPEND done to the watcher's \"new messages: 1\" log line (polled every 10 ms): {spread(to_log)}")
    print(f"* watcher, delivery to count: {spread(to_count)}" + (f", {failures} rounds missed" if failures else ""))
    print(f"== Watcher idle CPU ({seconds} s each, % of one core; utime+stime from /proc/PID/stat, 1 tick = "
        f"{100 / HZ / seconds:.3f} %; schedstat run time in brackets; no notifier running)")
    print(f"* idle watcher, own process: {own_ticks:.3f} % ({own_sched:.4f} %), target < {CPU_TARGET} %")
    print(f"* idle watcher, wineserver: {server_ticks:.3f} % ({server_sched:.4f} %), target < {CPU_TARGET} %; "
        f"watcher frozen (SIGSTOP): {base_ticks:.3f} % ({base_sched:.4f} %)")
    print("== Watcher private memory (idle, from /proc/PID/smaps_rollup and status, KiB)")
    print("  the watcher: " + ", ".join(f"{key} {value}" for key, value in sorted(memory.items())))
    for what, figures in (("the idle notifier", notifier_memory), ("a minimal console program", floor_memory)):
        print(f"  {what} for comparison: " + ", ".join(f"{key} {value}" for key, value in sorted(figures.items())))
    private = memory["Private_Clean"] + memory["Private_Dirty"]
    print(f"* idle watcher, private memory (Private_Clean + Private_Dirty): {private / 1024:.1f} MB "
        f"(RssAnon {memory['RssAnon'] / 1024:.1f} MB), target < {MEMORY_TARGET_KB // 1024} MB")
    if not stopped:
        print("watch_bench: the watcher did not end within 2 s of --stop", file=sys.stderr)
    return 1 if failures or not stopped else 0


if __name__ == "__main__":
    sys.exit(main())
