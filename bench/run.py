#!/usr/bin/python3
"""make bench: every performance figure of Korvane in one run on one machine, each divided by its
reference, as a table on standard output and as JSON in build/bench/results.json.

    bench/run.py [--build DIR] [--quick] [--out FILE] [--only NAME]

Each figure is measured several times after a warm-up (--quick: once, with 2 s instead of 30 s of
polling, to prove that the benchmarks still work). The board is korvane-board on a pseudo-terminal,
in a private configuration directory. A figure that misses its aim is reported, not failed: the
exit status is non-zero only when a benchmark could not run.
"""
import argparse
import datetime
import json
import os
import platform
import pwd
import re
import resource
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
BOARD_COM = 7  # the board's COM number in the private configuration directory
BULK_COM = 31  # the bulk far end's COM number, for the CommLink client
TILT = (128, 64, 3)
VOLTS = "0,1,2,3,-5,4.5,5"
EXPECTED_VOLTS = [0.0, 1.0, 2.0, 3.0, -5.0, 4.51, 5.0]  # as the frame's bytes decode
LIMIT_S = 120  # no single benchmark process runs longer than this past its own duration


class BenchError(Exception):
    """A benchmark that could not run or gave an implausible answer."""


# ---------------------------------------------------------------------------------------------
# Processes


class Settings:
    """What this run measures with: the build's programs, the mode, and a private configuration."""

    def __init__(self, build, quick):
        self.bin = os.path.join(build, "bin")
        self.quick = quick
        self.config = tempfile.mkdtemp(prefix="korvane-bench-")
        self.env = dict(os.environ, XDG_CONFIG_HOME=self.config, QT_QPA_PLATFORM="offscreen")
        self.env.setdefault("XDG_RUNTIME_DIR", self.config)

    def program(self, name):
        return os.path.join(self.bin, name)

    def runs(self, full, warm=1):
        """(warm-up runs, measured runs)."""
        return (0, 1) if self.quick else (warm, full)

    def polling_seconds(self):
        return 2.0 if self.quick else 30.0


class Reader(threading.Thread):
    """Collects a pipe's lines with the time each arrived."""

    def __init__(self, pipe):
        super().__init__(daemon=True)
        self.pipe, self.lines = pipe, []
        self.start()

    def run(self):
        for line in self.pipe:
            self.lines.append((time.monotonic(), line.rstrip("\n")))

    def count(self, text, start, end):
        return sum(1 for at, line in self.lines if start <= at <= end and text in line)


class Board:
    """korvane-board on COM`com` for the length of a `with` block; its log is kept."""

    def __init__(self, settings, com, *args):
        cmd = [settings.program("korvane-board"), "--com", str(com), "--log", *args]
        self.process = subprocess.Popen(cmd, env=settings.env, text=True, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE)
        self.log = Reader(self.process.stderr)
        path, ready = self.process.stdout.readline(), self.process.stdout.readline()
        self.path = path.strip()
        if ready.strip() != "ready":
            self.stop()
            raise BenchError(f"korvane-board {' '.join(args)} did not start: {path.strip()}")

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            self.process.wait(timeout=10)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


def run_json(settings, cmd, timeout, whole=False):
    """Runs `cmd` and returns the JSON object on its last line of output (`whole`: all of it)."""
    done = subprocess.run(cmd, env=settings.env, text=True, capture_output=True, timeout=timeout)
    if done.returncode != 0:
        raise BenchError(f"{os.path.basename(cmd[0])} {' '.join(cmd[1:])}: exit {done.returncode}: "
                         f"{done.stderr.strip()[-400:]}")
    return json.loads(done.stdout if whole else done.stdout.strip().splitlines()[-1])


def write_profile(settings, com):
    with open(os.path.join(settings.config, "korvane.INI"), "w") as profile:
        profile.write(f"[MyKorvaneAp]\nKorvaneComPort={com}\n")


def cpu_seconds(pid):
    """CPU time of every thread of `pid`, from the scheduler's nanosecond counts."""
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/schedstat") as stat:
                total += int(stat.read().split()[0])
        except FileNotFoundError:  # a thread that ended meanwhile
            pass
    return total / 1e9


def peak_rss_kb(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    raise BenchError(f"no VmHWM for process {pid}")


def end_process(process):
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


# ---------------------------------------------------------------------------------------------
# Figures


class Results:
    """The figures of this run, in the order they were measured."""

    def __init__(self):
        self.figures = []
        self.failures = []
        self.skipped = []

    def add(self, name, values, unit, reference=None, reference_value=None, ratios=None, aim=None, note=""):
        """One figure: `values` are its runs; `ratios` the same runs divided by the reference
        (the figure's ratio is their median); `aim` is ("<=" or ">=", limit) on the ratio or, without
        a reference, on the value."""
        value = statistics.median(values)
        ratio = statistics.median(ratios) if ratios else None
        judged = ratio if ratio is not None else value
        met = None
        if aim:
            met = judged <= aim[1] if aim[0] == "<=" else judged >= aim[1]
        self.figures.append({
            "figure": name, "unit": unit, "median": value, "min": min(values), "max": max(values),
            "runs": len(values), "reference": reference, "reference_value": reference_value,
            "ratio": ratio, "ratio_min": min(ratios) if ratios else None,
            "ratio_max": max(ratios) if ratios else None,
            "aim": f"{aim[0]} {aim[1]:g}" if aim else None, "met": met, "note": note,
        })

    def skip(self, name, reason):
        self.skipped.append({"figure": name, "reason": reason})
        print(f"bench: {name}: skipped: {reason}", file=sys.stderr)

    def fail(self, name, error):
        self.failures.append({"figure": name, "error": str(error)})
        print(f"bench: {name}: {error}", file=sys.stderr)


def measure_connection(settings, results):
    """ConnectDevice against a board at 38400 baud, and against one that answers only at 128000."""
    cases = [("ConnectDevice, board at 38400", [], 250, "150 ms probe + 100 ms drain", 38400),
             ("ConnectDevice, board at 128000 only", ["--baud", "128000"], 400,
              "150 + 150 ms probes + 100 ms drain", 128000)]
    warm, runs = settings.runs(10)
    for name, args, reference, what, baud in cases:
        with Board(settings, BOARD_COM, *args):
            got = run_json(settings, [settings.program("bench_app"), "connect", str(BOARD_COM), str(warm + runs)],
                           LIMIT_S)
        if got["baud"] != baud:
            raise BenchError(f"{name}: connected at {got['baud']} baud")
        wall, cpu = got["wall_ms"][warm:], got["cpu_ms"][warm:]
        results.add(name, wall, "ms", what, reference, [w / reference for w in wall], ("<=", 1.05))
        results.add(f"CPU of one {name}", cpu, "ms", aim=("<=", 5),
                    note="user and system time of the connecting process: the waits sleep on the port")


def measure_reopening(settings, results):
    """Reopening a port that failed: an attempt while the device is absent (the window thread's cost
    once a second), and one while the port is back but no board answers (the probes' stall, at most
    once per 5 s)."""
    warm, runs = settings.runs(10)
    with Board(settings, BOARD_COM, "--drop-after", "2", "--return-after", "2000", "--silent-after", "1"):
        got = run_json(settings, [settings.program("bench_app"), "reopen", str(BOARD_COM), str(warm + runs)],
                       LIMIT_S)
    absent, silent = got["absent_ms"][warm:], got["silent_ms"][warm:]
    results.add("reopening attempt, device absent", absent, "ms", aim=("<=", 5),
                note="ConnectBoard of a COM link that leads nowhere, and the release")
    results.add("reopening attempt, board silent", silent, "ms", aim=("<=", 450),
                note="port opens; probes at 38400 and 128000 get no answer")


def check_readings(got):
    if got["mode"] == "tilt" and tuple(got["tilt"][:2]) != TILT[:2]:
        raise BenchError(f"TILT polling showed {got['tilt']}, not the board's {TILT[:2]}")
    if got["mode"] == "dvm" and any(abs(a - b) > 0.01 for a, b in zip(got["volts"], EXPECTED_VOLTS)):
        raise BenchError(f"DVM polling showed {got['volts']}, not the board's {EXPECTED_VOLTS}")
    if got["other_mode_ticks"]:
        raise BenchError(f"{got['other_mode_ticks']} ticks ran in the other mode")


def measure_polling(settings, results):
    """The main dialog in this process, polling in each mode: tick wall times and CPU time. Each run
    warms up with its first ticks (bench_app measures from the sixth tick in the mode on)."""
    warm, runs = settings.runs(3, warm=0)
    seconds = settings.polling_seconds()
    write_profile(settings, BOARD_COM)
    for mode, wait in (("tilt", 30), ("dvm", 50)):
        ticks, cpu, disturbed = [], [], 0
        with Board(settings, BOARD_COM, "--tilt", ",".join(map(str, TILT)), "--volts", VOLTS):
            for run in range(warm + runs):
                got = run_json(settings, [settings.program("bench_app"), "poll", mode, str(seconds)],
                               seconds + LIMIT_S)
                check_readings(got)
                if run >= warm:
                    ticks += got["ticks_ms"]
                    disturbed += got["disturbed_ticks"]
                    cpu.append(got["cpu_s"] / got["wall_s"])
        label = mode.upper()
        results.add(f"{label} tick wall time (OnTimer)", ticks, "ms", f"its {wait} ms wait", wait,
                    [t / wait for t in ticks], ("<=", 1.03),
                    note=f"{len(ticks)} ticks; 90th percentile {percentile(ticks, 90):.2f} ms; {disturbed} ticks "
                         "left out that showed or ran inside \"Error reading voltages.\" (a reply late)")
        results.add(f"CPU of the dialog polling {seconds:g} s, {label} (in-process)", [c * seconds for c in cpu],
                    "s", f"{seconds:g} s of one core", seconds, cpu, ("<=", 0.01),
                    note="bench_app: the main dialog offscreen" + (", its DVM button clicked" if mode == "dvm" else ""))


def measure_trend(settings, results):
    """The trend window: one paint of seven full channels, and the dialog polling with it open."""
    warm, runs = 20, 10 if settings.quick else 200  # the first paints load fonts: always warmed up
    got = run_json(settings, [settings.program("bench_app"), "paint", str(warm + runs)], LIMIT_S)
    paints = got["paint_ms"][warm:]
    results.add("Paint of the trend window, 7 channels x 600 points", paints, "ms", aim=("<=", 2),
                note=f"640 x 400 offscreen, DVM over 60 s; 90th percentile {percentile(paints, 90):.2f} ms")
    warm, runs = settings.runs(3, warm=0)
    seconds = settings.polling_seconds()
    write_profile(settings, BOARD_COM)
    cpu = []
    with Board(settings, BOARD_COM, "--tilt", ",".join(map(str, TILT)), "--volts", VOLTS):
        for run in range(warm + runs):
            got = run_json(settings, [settings.program("bench_app"), "poll", "tilt", str(seconds), "trend"],
                           seconds + LIMIT_S)
            check_readings(got)
            if run >= warm:
                cpu.append(got["cpu_s"] / got["wall_s"])
    results.add(f"CPU of the dialog polling {seconds:g} s, TILT, trend open", [c * seconds for c in cpu],
                "s", f"{seconds:g} s of one core", seconds, cpu, ("<=", 0.02),
                note="bench_app: the main dialog offscreen with its trend window (60 s span) repainted every tick")


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(len(ordered) * p / 100))]


def measure_program(settings, results):
    """The korvane program itself polling (TILT, its start-up mode) beside the minimal Qt dialog:
    CPU time over the polling window, and peak resident memory of both. Each run warms up for its
    first seconds (start-up and connection) before the window opens."""
    warm, runs = settings.runs(3, warm=0)
    seconds = settings.polling_seconds()
    settle = 1.0 if settings.quick else 2.0
    write_profile(settings, BOARD_COM)
    cpu, rss, ref_rss, polls = [], [], [], []
    for run in range(warm + runs):
        with Board(settings, BOARD_COM, "--tilt", ",".join(map(str, TILT))) as board:
            korvane = subprocess.Popen([settings.program("korvane")], env=settings.env,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            dialog = subprocess.Popen([settings.program("bench_qt_dialog")], env=settings.env,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                time.sleep(settle)
                start, before = time.monotonic(), cpu_seconds(korvane.pid)
                time.sleep(seconds)
                end, after = time.monotonic(), cpu_seconds(korvane.pid)
                peak, ref_peak = peak_rss_kb(korvane.pid), peak_rss_kb(dialog.pid)
            finally:
                end_process(korvane)
                end_process(dialog)
        answered = board.log.count("'z'", start, end)
        if answered < 0.8 * 10 * seconds:
            raise BenchError(f"korvane polled {answered} times in {seconds:g} s")
        if run >= warm:
            cpu.append((after - before) / (end - start))
            rss.append(peak)
            ref_rss.append(ref_peak)
            polls.append(answered / (end - start))
    results.add(f"CPU of korvane polling {seconds:g} s, TILT (program)", [c * seconds for c in cpu], "s",
                f"{seconds:g} s of one core", seconds, cpu, ("<=", 0.01),
                note=f"build/bin/korvane offscreen; {statistics.median(polls):.1f} polls/s seen by the board")
    results.add("Peak RSS of korvane polling", [r / 1024 for r in rss], "MiB", "minimal Qt 6 dialog",
                statistics.median(ref_rss) / 1024, [r / f for r, f in zip(rss, ref_rss)], ("<=", 1.2),
                note=f"bench_qt_dialog: median {statistics.median(ref_rss) / 1024:.1f} MiB")


class Xvfb:
    """A virtual X server of its own for the length of a `with` block; `env` reaches it."""

    def __init__(self, settings):
        if not shutil.which("Xvfb") or not shutil.which("xdotool"):
            raise BenchError("needs Xvfb and xdotool (scripts/install-deps.sh)")
        read, write = os.pipe()
        self.process = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "640x480x24",
                                         "-nolisten", "tcp"], pass_fds=(write,), stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as displays:
            display = displays.readline().strip()
        if not display:
            end_process(self.process)
            raise BenchError("Xvfb did not start")
        self.env = dict(settings.env, DISPLAY=f":{display}", QT_QPA_PLATFORM="xcb")

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        end_process(self.process)


def click_dvm(env):
    """Clicks the DVM radio button of the korvane window, as the operator does (its circle lies at 9, 25
    of the main dialog's 239 x 199 units)."""
    found = subprocess.run(["xdotool", "search", "--sync", "--name", "^Korvane$"], env=env, text=True,
                           capture_output=True, timeout=10)
    window = found.stdout.split()[0] if found.stdout.split() else None
    if not window:
        raise BenchError("no korvane window on the virtual X server")
    geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window], env=env, text=True,
                              capture_output=True, timeout=10).stdout
    size = dict(line.split("=") for line in geometry.split())
    x, y = int(size["WIDTH"]) * 9 // 239, int(size["HEIGHT"]) * 25 // 199
    subprocess.run(["xdotool", "mousemove", "--window", window, str(x), str(y), "click", "1"], env=env,
                   check=True, timeout=10)


def measure_program_xvfb(settings, results):
    """The korvane program on a virtual X server, polling in TILT and (its radio button clicked) in DVM:
    the CPU time of all its threads over the window, as a fraction of one core."""
    warm, runs = settings.runs(3, warm=0)
    seconds = settings.polling_seconds()
    settle = 1.0 if settings.quick else 2.0
    write_profile(settings, BOARD_COM)
    for mode, command in (("tilt", "'z'"), ("dvm", "'s'")):
        cpu, polls = [], []
        for run in range(warm + runs):
            with Xvfb(settings) as xvfb, Board(settings, BOARD_COM, "--tilt", ",".join(map(str, TILT)), "--volts",
                                               VOLTS) as board:
                korvane = subprocess.Popen([settings.program("korvane")], env=xvfb.env, stdout=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL)
                try:
                    if mode == "dvm":
                        click_dvm(xvfb.env)
                    time.sleep(settle)
                    start, before = time.monotonic(), cpu_seconds(korvane.pid)
                    time.sleep(seconds)
                    end, after = time.monotonic(), cpu_seconds(korvane.pid)
                finally:
                    end_process(korvane)
            answered = board.log.count(command, start, end)
            if answered < 0.8 * 10 * seconds:
                raise BenchError(f"korvane under Xvfb polled {mode} {answered} times in {seconds:g} s")
            if run >= warm:
                cpu.append((after - before) / (end - start))
                polls.append(answered / (end - start))
        results.add(f"CPU of korvane polling {seconds:g} s, {mode.upper()} (program, Xvfb)", [c * seconds for c in cpu],
                    "s", f"{seconds:g} s of one core", seconds, cpu, ("<=", 0.005),
                    note=f"build/bin/korvane on Xvfb (xcb); {statistics.median(polls):.1f} polls/s seen by the board")


def bulk_client(settings, contender, path, rounds):
    """The command of one bulk contender on the pty at `path`, or None where it cannot run here."""
    if contender in ("raw", "non-blocking"):
        return [settings.program("bench_bulk"), contender.replace("-", ""), path, str(rounds)]
    if contender.startswith("CommLink"):  # the largest queues a port takes, or the program's
        queues = ["4096", "2048"] if contender.endswith("program's queues") else ["65535", "65535"]
        return [settings.program("bench_bulk"), "commlink", str(BULK_COM), str(rounds), str(1 << 20), *queues]
    if contender == "pySerial":
        return ["/usr/bin/python3", os.path.join(HERE, "bulk_pyserial.py"), path, str(rounds)]
    # libserialport needs the port's name under /sys/class/tty: a pty bind-mounted over /dev/tty63
    # in a private mount namespace has one (root only; see bulk_libserialport.cpp).
    program = settings.program("bench_bulk_sp")
    if not os.path.exists(program) or os.geteuid() != 0 or not shutil.which("unshare"):
        return None
    return ["unshare", "--mount", "--propagation", "private", "sh", "-c",
            'mount --bind "$0" /dev/tty63 && exec "$@"', path, program, "/dev/tty63", str(rounds)]


def children_cpu_seconds():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def bulk_round_times(settings, contender, rounds):
    """Round times (ms) of one contender against a fresh far end, and the client's CPU time (s) per
    round (start-up included); None where it cannot run."""
    peer = subprocess.Popen([settings.program("bench_bulk"), "peer", str(rounds)], env=settings.env,
                            text=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        path, ready = peer.stdout.readline().strip(), peer.stdout.readline().strip()
        if ready != "ready":
            raise BenchError(f"bulk far end did not start: {peer.stderr.read()}")
        link = os.path.join(settings.config, "korvane", "devices", f"COM{BULK_COM}")
        os.makedirs(os.path.dirname(link), exist_ok=True)
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(path, link)
        cmd = bulk_client(settings, contender, path, rounds)
        if cmd is None:
            return None
        cpu_before = children_cpu_seconds()
        done = subprocess.run(cmd, env=settings.env, text=True, capture_output=True, timeout=LIMIT_S)
        cpu = (children_cpu_seconds() - cpu_before) / rounds
        if done.returncode != 0:
            raise BenchError(f"bulk {contender}: exit {done.returncode}: {done.stderr.strip()[-300:]}")
        return [float(line) for line in done.stdout.split()], cpu
    finally:
        end_process(peer)


class BusyProcesses:
    """`count` processes that keep a core busy each, for the length of a `with` block."""

    def __init__(self, count):
        self.processes = [subprocess.Popen([sys.executable, "-c", "while True: pass"]) for _ in range(count)]

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        for process in self.processes:
            end_process(process)


def bulk_sets(settings, contenders, sets, rounds):
    """Round times (ms) and client CPU seconds per round of each contender, the contenders taking
    turns so that load drifts evenly; None for one that cannot run here."""
    times = {c: [] for c in contenders}
    cpu = {c: [] for c in contenders}
    for _ in range(sets):
        for contender in contenders:
            if times[contender] is None:
                continue
            got = bulk_round_times(settings, contender, rounds + 1)
            if got is None:
                times[contender] = None
                continue
            times[contender] += got[0][1:]  # round 0 warms up
            cpu[contender].append(got[1])
    return times, cpu


def measure_bulk(settings, results):
    """1 MiB each way over a pty per round, on the idle machine and with two busy processes competing
    for its cores: throughput against the raw blocking loop, and the client's CPU time per MiB."""
    contenders = ["raw", "CommLink", "non-blocking", "CommLink, program's queues", "pySerial", "libserialport"]
    # Many short sets: a set's rate depends on where the scheduler puts its two processes (on this
    # two-core machine the rounds of a set run at about 50 or about 160 MiB/s under load), so the
    # median needs many sets of each contender to be the same figure from run to run.
    sets, rounds = (1, 1) if settings.quick else (20, 10)
    times, cpu = bulk_sets(settings, contenders, sets, rounds)
    with BusyProcesses(2):
        busy_times, busy_cpu = bulk_sets(settings, ["raw", "CommLink", "non-blocking"], 1 if settings.quick else 20,
                                         rounds)
    mib_s = {c: [2 / (t / 1000) for t in v] if v else None for c, v in times.items()}
    ours = mib_s["CommLink"]
    raw = statistics.median(mib_s["raw"])
    per_round = ", ".join(f"{c} {statistics.median(v) * 1000:.0f} ms" for c, v in cpu.items() if v)
    results.add("Bulk 1 MiB each way, CommLink vs raw read/write", ours, "MiB/s", "raw read/write loop", raw,
                [v / raw for v in ours], (">=", 0.9),
                note=f"port queues of 65535 bytes, the largest; client CPU per round: {per_round}")
    busy = {c: [2 / (t / 1000) for t in v] for c, v in busy_times.items()}
    busy_raw = statistics.median(busy["raw"])
    results.add("Bulk, two busy processes competing, CommLink vs raw", busy["CommLink"], "MiB/s",
                "raw read/write loop, same load", busy_raw, [v / busy_raw for v in busy["CommLink"]], (">=", 0.9))
    for label, spent in (("idle", cpu), ("two busy processes", busy_cpu)):
        per_mib = [c / 2 * 1000 for c in spent["CommLink"]]
        raw_per_mib = statistics.median(spent["raw"]) / 2 * 1000
        results.add(f"Bulk client CPU per MiB, CommLink vs raw ({label})", per_mib, "ms", "raw read/write loop",
                    raw_per_mib, [c / raw_per_mib for c in per_mib], ("<=", 1.2),
                    note="user and system time of the client process per MiB moved, its start included")
        floor = [c / 2 * 1000 for c in spent["non-blocking"]]
        results.add(f"Bulk client CPU per MiB, minimal non-blocking loop vs raw ({label})", floor, "ms",
                    "raw read/write loop", raw_per_mib, [c / raw_per_mib for c in floor],
                    note="poll() and non-blocking read/write in a few lines of C++: what any client that "
                         "must not block pays on this machine")
    small = mib_s["CommLink, program's queues"]
    results.add("Bulk, CommLink with the program's 4096/2048 queues", small, "MiB/s", "raw read/write loop", raw,
                [v / raw for v in small])
    for peer in ("pySerial", "libserialport"):
        if mib_s[peer] is None:
            results.skip(f"Bulk, CommLink vs {peer}", "needs bench_bulk_sp (libserialport-dev), root and unshare")
            continue
        reference = statistics.median(mib_s[peer])
        results.add(f"Bulk 1 MiB each way, CommLink vs {peer}", ours, "MiB/s", f"{peer} (Debian)", reference,
                    [v / reference for v in ours], (">=", 1.0))


FAST_SUMMARY = re.compile(r"^(\d+) replies, (\d+) missed in (\d+\.\d+) s \((\d+\.\d) per second\)$", re.M)


def fast_poll(settings, mode, count, rows):
    """korvane-cli poll --fast on the board's COM port, rows to the file `rows`: (replies per second,
    replies, missed) from its closing line."""
    cmd = [settings.program("korvane-cli"), "poll", str(BOARD_COM), "--fast", "--mode", mode, "--count", str(count),
           "--format", "csv"]
    with open(rows, "w") as out:
        done = subprocess.run(cmd, env=settings.env, text=True, stdout=out, stderr=subprocess.PIPE, timeout=LIMIT_S)
    summary = FAST_SUMMARY.search(done.stderr)
    if done.returncode != 0 or not summary:
        raise BenchError(f"poll --fast {mode}: exit {done.returncode}: {done.stderr.strip()[-300:]}")
    replies, missed, seconds = int(summary[1]), int(summary[2]), float(summary[3])
    with open(rows) as written:
        if sum(1 for _ in written) != replies + 1:
            raise BenchError(f"poll --fast {mode}: {replies} replies but not as many rows")
    return replies / seconds, replies, missed


def wire_client(settings, board, baud, mode, count):
    """The minimal C client against the same board: exchanges per second."""
    command, length = ("z", 3) if mode == "tilt" else ("s", 7)
    got = run_json(settings, [settings.program("bench_wire_client"), board.path, str(baud), command, str(length),
                              str(count)], LIMIT_S)
    return (got["exchanges"] - got["missed"]) / got["seconds"]


def measure_fast_poll(settings, results):
    """korvane-cli poll --fast against a board that keeps the wire's timing at 38400 and 128000 baud
    (each exchange's bytes take their 10 bits a byte), against the wire limit and the minimal C client
    in the same run; then on a bare pty, rows written to a file."""
    warm, runs = settings.runs(3, warm=0)
    rows = os.path.join(settings.config, "rows.csv")
    for baud in (38400, 128000):
        for mode, wire_bytes in (("tilt", 4), ("dvm", 8)):
            limit = baud / 10 / wire_bytes
            count = int(limit * (0.3 if settings.quick else 2))
            ours, reference = [], []
            with Board(settings, BOARD_COM, "--wire", "--baud", str(baud), "--tilt", ",".join(map(str, TILT)),
                       "--volts", VOLTS) as board:
                for run in range(warm + runs):
                    rate, _, missed = fast_poll(settings, mode, count, rows)
                    c_rate = wire_client(settings, board, baud, mode, count)
                    if run >= warm:
                        ours.append(rate)
                        reference.append(c_rate)
            name = f"poll --fast {mode.upper()} at {baud} (--wire)"
            results.add(f"{name} vs the wire limit", ours, "/s", f"{wire_bytes} bytes an exchange on the wire", limit,
                        [r / limit for r in ours], (">=", 0.8))
            results.add(f"{name} vs the C client", ours, "/s", "minimal C write/read client",
                        statistics.median(reference), [r / c for r, c in zip(ours, reference)], (">=", 0.9),
                        note=f"the C client reaches {statistics.median(reference) / limit:.2f} of the wire limit")
    rates, missed_all = [], 0
    with Board(settings, BOARD_COM, "--tilt", ",".join(map(str, TILT))):
        for run in range(warm + runs):
            rate, _, missed = fast_poll(settings, "tilt", 2000 if settings.quick else 30000, rows)
            if run >= warm:
                rates.append(rate)
                missed_all += missed
    results.add("poll --fast TILT on a bare pty, rows to a file", rates, "/s", aim=(">=", 10000),
                note=f"{missed_all} replies missed over the runs (aim: none)")
    if missed_all:
        results.figures[-1]["met"] = False


def measure_syscalls(settings, results):
    """System calls per status query, read and write, counted by the stand-in's terminal line."""
    names = "BM_GetStatus|BM_ReadNothingQueued|BM_ReadThreeBytes|BM_WriteOneByte|BM_WriteAfterStatus"
    got = run_json(settings, [settings.program("bench_port"), f"--benchmark_filter={names}",
                              "--benchmark_format=json", f"--benchmark_min_time={0.01 if settings.quick else 0.2}"],
                   LIMIT_S, whole=True)
    counts = {b["name"]: b["syscalls"] for b in got["benchmarks"]}
    for name, bench, limit in (("System calls per GetStatus", "BM_GetStatus", 3),
                               ("System calls per Read (3 bytes queued)", "BM_ReadThreeBytes", 2),
                               ("System calls per Read (nothing queued)", "BM_ReadNothingQueued", 2),
                               ("System calls per Write (1 byte after a status query)", "BM_WriteAfterStatus", 2),
                               ("System calls per Write (1 byte right after a write)", "BM_WriteOneByte", 2)):
        results.add(name, [counts[bench]], "calls", aim=("<=", limit))


def measure_allocations(settings, results):
    """Heap allocations per poll tick's device part; the --long board leaves bytes for the discard."""
    ticks = 3 if settings.quick else 20
    for label, args in (("", []), (", stray bytes", ["--long"])):
        with Board(settings, BOARD_COM, "--tilt", ",".join(map(str, TILT)), *args):
            got = run_json(settings, [settings.program("bench_alloc"), str(BOARD_COM), str(ticks)], LIMIT_S)
        for mode in ("tilt", "dvm"):
            row = got[mode]
            results.add(f"Heap allocations per {mode.upper()} tick{label}", row["allocations"], "allocations",
                        aim=("<=", 0),
                        note=f"{row['answered']}/{ticks} whole replies, {row['discarded']} stray bytes dropped; "
                             f"{got['connection']} allocations in the connection")


class Broker:
    """mosquitto on a free 127.0.0.1 port with a configuration of its own, for a `with` block."""

    def __init__(self, settings):
        probe = socket.socket()
        probe.bind(("127.0.0.1", 0))
        self.port = probe.getsockname()[1]
        probe.close()
        conf = os.path.join(settings.config, "mosquitto.conf")
        with open(conf, "w") as f:
            f.write(f"log_dest none\nlistener {self.port} 127.0.0.1\nallow_anonymous true\n"
                    f"user {pwd.getpwuid(os.geteuid()).pw_name}\n")
        self.process = subprocess.Popen(["mosquitto", "-c", conf], stderr=subprocess.DEVNULL)
        for _ in range(500):
            with socket.socket() as client:
                if client.connect_ex(("127.0.0.1", self.port)) == 0:
                    return
            time.sleep(0.01)
        end_process(self.process)
        raise BenchError("mosquitto did not start")

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        end_process(self.process)


def reading_rate(messages):
    """Readings per second from json rows or messages, over the whole run: from their t_ms and, where
    they have one, their seq (so that a reading the subscriber missed does not count against it)."""
    if len(messages) < 2 or messages[-1]["t_ms"] <= messages[0]["t_ms"]:
        raise BenchError(f"{len(messages)} readings")
    count = messages[-1].get("seq", len(messages)) - messages[0].get("seq", 1)
    return count / ((messages[-1]["t_ms"] - messages[0]["t_ms"]) / 1000)


def run_for(settings, cmd, seconds, **kwargs):
    """Runs `cmd` for `seconds`, then ends it with SIGINT as a user would."""
    process = subprocess.Popen(cmd, env=settings.env, text=True, **kwargs)
    time.sleep(seconds)
    process.send_signal(signal.SIGINT)
    if process.wait(timeout=LIMIT_S) != 0:
        raise BenchError(f"{' '.join(cmd[1:3])}: exit {process.returncode}")
    return process


def publish_run(settings, broker, pace, seconds):
    """One publish run of `seconds` seen by a subscriber: (receipt time, message) for each reading,
    the receipt time being mosquitto_sub's own (%U)."""
    received = os.path.join(settings.config, "received.txt")
    with open(received, "w") as out:
        sub = subprocess.Popen(["mosquitto_sub", "-p", str(broker.port), "-t", "korvane/bench/tilt", "-F", "%U %p"],
                               stdout=out)
        time.sleep(0.3)  # subscribed
        run_for(settings, [settings.program("korvane-cli"), "publish", str(BOARD_COM), "--broker",
                           f"127.0.0.1:{broker.port}", "--topic", "korvane/bench", *pace], seconds,
                stderr=subprocess.DEVNULL)
        time.sleep(0.5)
        end_process(sub)
    with open(received) as out:
        return [(float(at), json.loads(text)) for at, text in (line.split(" ", 1) for line in out)]


def latencies_ms(got):
    """From the reply to the receipt, per reading: the receipt less the message's "time"."""
    def sent(message):
        at = datetime.datetime.strptime(message["time"], "%Y-%m-%dT%H:%M:%S.%fZ")
        return at.replace(tzinfo=datetime.timezone.utc).timestamp()
    return [(at - sent(message)) * 1000 for at, message in got]


def measure_publish(settings, results):
    """korvane-cli publish to a local broker: readings per second with --fast against poll --fast to a
    file, and the latency from the reply to a subscriber's receipt at the 100 ms tick (at full --fast
    rate the broker and the subscriber queue what they cannot pass on at once). "time" has whole
    milliseconds, rounded down: each latency is up to 1 ms high."""
    cli = settings.program("korvane-cli")
    fast = "--fast" in subprocess.run([cli, "poll", "--help"], capture_output=True, text=True).stdout
    pace = ["--fast"] if fast else []
    warm, runs = settings.runs(3, warm=0)
    seconds = 2.0 if settings.quick else 10.0
    rates, refs, latencies, fast_latencies = [], [], [], []
    rows = os.path.join(settings.config, "rows.json")
    with Board(settings, BOARD_COM, "--tilt", ",".join(map(str, TILT))), Broker(settings) as broker:
        for run in range(warm + runs):
            with open(rows, "w") as out:
                run_for(settings, [cli, "poll", str(BOARD_COM), "--format", "json", *pace], seconds, stdout=out)
            with open(rows) as out:
                ref = reading_rate([json.loads(line) for line in out])
            got = publish_run(settings, broker, pace, seconds)
            at_tick = publish_run(settings, broker, [], seconds)
            if run >= warm:
                refs.append(ref)
                rates.append(reading_rate([message for _, message in got]))
                fast_latencies += latencies_ms(got)
                latencies += latencies_ms(at_tick)
    how = "--fast" if fast else "the 100 ms tick (poll --fast is not there yet)"
    results.add("Readings published per second (publish vs poll to a file)", rates, "readings/s",
                "poll to a file", statistics.median(refs), [r / f for r, f in zip(rates, refs)],
                (">=", 0.9), note=f"TILT at {how}; QoS 1; a local mosquitto and a subscriber; "
                                  f"latency at that rate: median {statistics.median(fast_latencies):.2f} ms")
    results.add("Latency reply to subscriber, at the tick (median)", [statistics.median(latencies)], "ms",
                aim=("<=", 2), note=f"{len(latencies)} readings; 99th percentile {percentile(latencies, 99):.2f} ms; "
                                    "includes up to 1 ms of the \"time\" field's rounding down")


# ---------------------------------------------------------------------------------------------
# Output


def fmt(value):
    if value is None:
        return "-"
    if abs(value) >= 100:
        return f"{value:.0f}"
    if abs(value) >= 10:
        return f"{value:.1f}"
    return f"{value:.3g}" if value else "0"


def table(figures):
    head = ("Figure", "Median", "Spread", "Reference", "Ratio", "Aim", "")
    rows = [head]
    for f in figures:
        ref = f"{f['reference']} ({fmt(f['reference_value'])} {f['unit']})" if f["reference"] else "-"
        verdict = "" if f["met"] is None else ("met" if f["met"] else "MISSED")
        rows.append((f["figure"], f"{fmt(f['median'])} {f['unit']}", f"{fmt(f['min'])}-{fmt(f['max'])}",
                     ref, fmt(f["ratio"]), f["aim"] or "-", verdict))
    widths = [max(len(r[i]) for r in rows) for i in range(len(head))]
    lines = ["| " + " | ".join(c.ljust(w) for c, w in zip(r, widths)) + " |" for r in rows]
    lines.insert(1, "|" + "|".join("-" * (w + 2) for w in widths) + "|")
    return "\n".join(lines)


def machine():
    model = "unknown"
    with open("/proc/cpuinfo") as info:
        for line in info:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    return {"cpus": os.cpu_count(), "cpu_model": model, "kernel": platform.release(),
            "load_average": os.getloadavg()}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build")
    parser.add_argument("--quick", action="store_true", help="one short run of each benchmark")
    parser.add_argument("--out", help="JSON file (default BUILD/bench/results.json)")
    parser.add_argument("--only", help="run only this benchmark (e.g. publish)")
    args = parser.parse_args()
    settings = Settings(os.path.abspath(args.build), args.quick)
    results = Results()
    started = datetime.datetime.now().astimezone()
    info = machine()
    steps = [("connection", measure_connection), ("reopening", measure_reopening), ("polling", measure_polling),
             ("program", measure_program), ("program on Xvfb", measure_program_xvfb), ("trend window", measure_trend),
             ("bulk", measure_bulk), ("fast poll", measure_fast_poll), ("system calls", measure_syscalls),
             ("allocations", measure_allocations), ("publish", measure_publish)]
    try:
        for name, step in steps:
            if args.only and name != args.only:
                continue
            print(f"bench: {name}...", file=sys.stderr, flush=True)
            try:
                step(settings, results)
            except (BenchError, subprocess.TimeoutExpired, OSError, ValueError, KeyError) as error:
                results.fail(name, error)
    finally:
        shutil.rmtree(settings.config, ignore_errors=True)
    info["load_average_after"] = os.getloadavg()
    report = {"date": started.isoformat(timespec="seconds"), "quick": args.quick, "machine": info,
              "figures": results.figures, "failures": results.failures, "skipped": results.skipped}
    out = args.out or os.path.join(args.build, "bench", "results.json")
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    with open(out, "w") as f:
        json.dump(report, f, indent=2)
    print(f"\n{started:%Y-%m-%d %H:%M %Z}, {info['cpus']} x {info['cpu_model']}, load "
          f"{info['load_average'][0]:.2f} before, {info['load_average_after'][0]:.2f} after"
          f"{' (quick: one short run each)' if args.quick else ''}\n")
    print(table(results.figures))
    for f in results.figures:
        if f["note"]:
            print(f"  {f['figure']}: {f['note']}")
    print(f"\nWritten to {out}")
    return 1 if results.failures else 0


if __name__ == "__main__":
    sys.exit(main())
