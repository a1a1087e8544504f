#!/usr/bin/env python3
"""Measures nvram and the start-up library beside the tools users would pick
instead, in one run, and prints one table; the failover of a pair
(bench/failover.py) stands beside keepalived's defaults. Started by
bench/run.sh, which installs the tools and builds build/release first;
bench/RESULTS.md says what the figures mean. BENCH_IDLE_SECONDS shortens the 60-second idle window."""

import json
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import time
from pathlib import Path

import failover

ROOT = Path(__file__).resolve().parent.parent
BIN = ROOT / "build/release/bin"
LIB = ROOT / "build/release/lib"
PPC = ROOT / "build/board-release"  # what goes on a board: scripts/board-build.sh
WORK = ROOT / "build/bench-work"
SIM = str(BIN / "mmb-sim")

HYPERFINE_RUNS = 40
KILLS = 21                # restarts measured per supervisor
OURS_KILLS_PER_RUN = 3    # the restart rule allows three restarts per record
LIFE_MS = 1100            # longer than runsv's and s6's one-second throttle
SPEED_UP = 1000           # libfaketime: 1.1 s of life count as 1100 s for our 300-second rule
FAKETIME_LIBRARY = "/usr/$LIB/faketime/libfaketime.so.1"  # $LIB: the loader's multiarch folder
IDLE_SECONDS = int(os.environ.get("BENCH_IDLE_SECONDS", "60"))
TRACES_FEW, TRACES_MANY = 100, 1100

# The ten A/B variables of the peer's redundant environment.
AB_VARIABLES = [("boot_order", "A B"), ("boot_slot", "A"), ("A_ok", "1"), ("B_ok", "1"), ("A_left", "3"),
                ("B_left", "3"), ("A_rev", "V01L02"), ("B_rev", "V01L01"), ("upgrade_available", "0"),
                ("bootcount", "0")]
ENV_COPY_SIZE = 0x2000

# A board that last started by a reboot, with a valid NVRAM: the firmware
# header (flags zero, both revisions V01L02) and the identification block.
HEALTHY_HEADER = (bytes(10) + b"V01L02".ljust(11, b"\0") * 2).hex()
HEALTHY_ID = b"M MMBInit\0".hex()


def run(argv, **options):
    """Runs argv, failing the benchmark on a non-zero status."""
    return subprocess.run([str(a) for a in argv], check=True, **options)


def output(argv, **options):
    return run(argv, stdout=subprocess.PIPE, text=True, **options).stdout


# ---------------------------------------------------------------- set-up

class Board:
    """A simulated board; every program on it runs in the board's sandbox."""

    def __init__(self, name):
        self.path = WORK / "boards" / name
        shutil.rmtree(self.path, ignore_errors=True)
        run([SIM, "create", self.path], stdout=subprocess.DEVNULL)
        run([SIM, "reg", self.path, "0x600", "0x0000"])
        run([SIM, "patch", self.path, "0", "0", HEALTHY_HEADER])
        run([SIM, "patch", self.path, "0", "0x1f0", HEALTHY_ID])

    def wrap(self, argv):
        return [SIM, "run", self.path, "--"] + [str(a) for a in argv]

    def file(self, name):
        """A file the sandbox can write: the board's directory is bound at its own path."""
        return self.path / name


class LockNamespace:
    """fw_printenv and fw_setenv lock /var/lock/fw_printenv.lock: each run gets
    a private mount namespace with its own /var/lock."""

    def __init__(self):
        self.path = WORK / "ubootenv"
        shutil.rmtree(self.path, ignore_errors=True)
        self.path.mkdir(parents=True)

    def wrap(self, argv):
        script = 'mount -t tmpfs tmpfs /var/lock && exec "$@"'
        return ["unshare", "-m", "sh", "-c", script, "sh"] + [str(a) for a in argv]

    def file(self, name):
        return self.path / name


def make_environment(space):
    """Two 0x2000-byte copies of a redundant environment holding the ten
    variables, written by fw_setenv itself from its default and script files."""
    copies = [space.file("env0"), space.file("env1")]
    for copy in copies:
        copy.write_bytes(b"\0" * ENV_COPY_SIZE)
    config = space.file("fw_env.config")
    config.write_text("".join(f"{copy} 0x0000 {ENV_COPY_SIZE:#x}\n" for copy in copies))
    defaults = space.file("defaults.txt")
    defaults.write_text("".join(f"{name}={value}\n" for name, value in AB_VARIABLES))
    script = space.file("script.txt")
    script.write_text("".join(f"{name} {value}\n" for name, value in AB_VARIABLES))
    run(space.wrap(["fw_setenv", "-c", config, "-f", defaults, "-s", script]), stderr=subprocess.DEVNULL)
    printed = output(space.wrap(["fw_printenv", "-c", config])).splitlines()
    if len(printed) != len(AB_VARIABLES):
        sys.exit(f"bench: fw_printenv printed {len(printed)} variables, expected {len(AB_VARIABLES)}")
    return config


# ---------------------------------------------------------------- single-run measurements

def instructions(space, argv, tag):
    """Instructions retired by the process (callgrind), and those spent in the
    simulator's device shim: the inclusive cost of every call that enters it."""
    out = space.file(f"callgrind.{tag}")
    run(space.wrap(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}"] + argv),
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    text = out.read_text()
    total = int(re.search(r"^summary:\s+(\d+)", text, re.M).group(1))
    return total, cost_of_calls_into(text, "libmmbsim-devices.so")


def cost_of_calls_into(callgrind_text, library):
    """Sums the inclusive cost of calls from outside library into it, read
    from callgrind's output format (names compressed as "(id) name")."""
    names = {}

    def name_of(value):
        found = re.match(r"\((\d+)\)(?: (.*))?$", value)
        if not found:
            return value
        if found.group(2) is not None:
            names[found.group(1)] = found.group(2)
        return names[found.group(1)]

    caller = callee = None
    pending = False
    total = 0
    for line in callgrind_text.splitlines():
        if line.startswith("ob="):
            caller = name_of(line[3:])
        elif line.startswith("cob="):
            callee = name_of(line[4:])
        elif line.startswith("calls="):
            pending = True
        elif pending and line and line[0] in "0123456789+-*":
            target = callee if callee is not None else caller
            if library in target and library not in caller:
                total += int(line.split()[-1])
            pending = False
            callee = None
    return total


def system_calls(space, argv, tag, board_dir=None):
    """System calls of the process and its children (strace -f -y), and those
    the device shim makes for its own bookkeeping (fault table, driver
    checksums, clock, event log). A call on a board file under hw/ or log/ is
    the shim's, except on a descriptor the program itself opened there (the
    shim hands the program a descriptor of the file that stands in for a
    device node, opened without close-on-exec unless the program asked for
    it): those are the program's device accesses. An emulated write shows
    on that descriptor as F_GETFL (counted as the write), the position
    (SEEK_CUR) and, after the write through the shim's own descriptor, the
    position moved on: the last two are the shim's."""
    out = space.file(f"strace.{tag}")
    run(space.wrap(["strace", "-f", "-y", "-o", out] + argv), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    board_files = re.compile(re.escape(str(board_dir)) + r"/(hw|log)/") if board_dir else None
    device_descriptors = set()
    total = shim = 0
    after_shim_close = False
    for line in out.read_text().splitlines():
        call = re.match(r"^(\d+)\s+(\w+)\((\d+)?", line)
        if not call or ("resumed>" in line and "<unfinished" not in line):
            continue  # not a call, or the second half of one already counted
        total += 1
        if not board_files or not board_files.search(line):
            continue
        pid, name, descriptor = call.groups()
        on_device = (pid, descriptor) in device_descriptors
        if name == "openat" and "O_CLOEXEC" not in line:
            if opened := re.search(r"= (\d+)<", line):
                device_descriptors.add((pid, opened.group(1)))
        elif on_device and name == "close":
            device_descriptors.discard((pid, descriptor))
        elif not on_device or (name == "lseek" and ("SEEK_CUR" in line or after_shim_close)):
            shim += 1
        after_shim_close = not on_device and name == "close"
    return total, shim


def peak_rss_kib(space, argv, tag):
    out = space.file(f"rss.{tag}")
    run(space.wrap(["/usr/bin/time", "-f", "%M", "-o", out] + argv), stdout=subprocess.DEVNULL)
    return int(out.read_text().split()[-1])


def median_ms(space, argv, tag, prepare=None):
    """hyperfine median over HYPERFINE_RUNS runs, started without a shell."""
    out = space.file(f"hyperfine.{tag}.json")
    options = ["-N", "--warmup", "5", "--runs", str(HYPERFINE_RUNS), "--export-json", out]
    if prepare:
        options += ["--prepare", " ".join(str(a) for a in prepare)]
    run(space.wrap(["hyperfine"] + options + [" ".join(str(a) for a in argv)]),
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return json.loads(out.read_text())["results"][0]["median"] * 1000


def measure(space, argv, tag, prepare=None, board_dir=None):
    """One tool, every single-run figure; prepare runs before each measured run."""
    def prepared():
        if prepare:
            run(space.wrap(prepare), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    figures = {}
    prepared()
    figures["ir"], figures["ir_shim"] = instructions(space, argv, tag)
    prepared()
    figures["sys"], figures["sys_shim"] = system_calls(space, argv, tag, board_dir)
    prepared()
    figures["rss"] = peak_rss_kib(space, argv, tag)
    figures["ms"] = median_ms(space, argv, tag, prepare)
    return figures


def above(figures, floor):
    return {key: figures[key] - floor[key] for key in ("ir", "ir_shim", "sys", "sys_shim", "rss", "ms")}


def command_benchmarks():
    board = Board("command")
    space = LockNamespace()
    config = make_environment(space)
    ours_floor = measure(board, ["/bin/true"], "floor", board_dir=board.path)
    peer_floor = measure(space, ["/bin/true"], "floor")
    ours = {
        "get": measure(board, ["nvram", "-d"], "nvram-d", board_dir=board.path),
        "set": measure(board, ["nvram", "-s", "1"], "nvram-s", prepare=["nvram", "-s", "0"], board_dir=board.path),
    }
    peer = {
        "get": measure(space, ["fw_printenv", "-c", config], "fw_printenv"),
        "set": measure(space, ["fw_setenv", "-c", config, "boot_slot", "B"], "fw_setenv",
                       prepare=["fw_setenv", "-c", config, "boot_slot", "A"]),
    }
    return ours_floor, peer_floor, ours, peer


# ---------------------------------------------------------------- field support

FULL_KEEP = 100             # records of each kind a board keeps (InitMMBStorage::KEEP_DEFAULT)
TRACE_BYTES = 1024 * 1024   # a day's start-up traces in /tmp/mmbinit.log


def full_board():
    """A board holding all it keeps: its four partitions, FULL_KEEP error log
    records, down-info files and backtraces, the start-up record, a
    megabyte of traces, both revision files."""
    board = Board("field")
    root = board.path / "root"
    logs, saved = root / "var/mmb/log/init", root / "var/mmb/core/core_save"
    for folder in (logs, saved, root / "opt/mmb"):
        folder.mkdir(parents=True, exist_ok=True)
    for index in range(FULL_KEEP):
        seconds = 1593835520 + 60 * index
        logs.joinpath(f"{seconds}.000").write_bytes(seconds.to_bytes(4, "big") + bytes(4) + bytes([1, 0xF0]) + bytes(6))
        saved.joinpath(f"init_downinfo.{seconds}").write_bytes(b"process(alpha:12) down with status(008b)\n".ljust(2048, b"\0"))
        saved.joinpath(f"bt.alpha.{seconds}").write_text("#0 0x10001000 in main ()\n")
    (root / "tmp/initlog").write_bytes(bytes(380))
    (root / "tmp/mmbinit.log").write_bytes(b"level=1 id=20001 judge MMB reset cause REBOOT\n".ljust(TRACE_BYTES, b"."))
    return board


def field_support_benchmarks():
    """Median ms of collecting the full board and of decoding its bundle, and the bundle's bytes."""
    board = full_board()
    bundle = board.file("bundle.tar")
    collect = ["mmb-collect", "--force", "-o", bundle]
    run(board.wrap(collect))
    return (median_ms(board, collect, "collect"), median_ms(board, ["mmb-decode", bundle], "decode"),
            bundle.stat().st_size)


# ---------------------------------------------------------------- supervision

def wait_for(predicate, what, seconds=10):
    limit = time.monotonic() + seconds
    while not predicate():
        if time.monotonic() > limit:
            sys.exit(f"bench: no {what} within {seconds} s")
        time.sleep(0.01)


class Supervisor:
    """One supervisor keeping the idle daemon running; pid is the supervisor's."""

    def __init__(self, kind, speed_up=False):
        self.kind = kind
        if kind == "ours":
            self.board = Board("supervisor")
            daemon = self.board.path / "root/opt/mmb/bin/benchd"
            daemon.symlink_to(BIN / "idle-daemon")
            (self.board.path / "root/etc/mmb/init/pro_file.ctl").write_text("1\nbenchd 1 0 1 x y\n")
            self.daemon_name = "benchd"
            pid_file = self.board.path / "root/tmp/supervisor.pid"
            command = "exec bench-supervisor /tmp/supervisor.pid"
            if speed_up:  # libfaketime beside the device shim, in the supervisor itself (no wrapper process)
                command = f"LD_PRELOAD=\"$LD_PRELOAD\"':{FAKETIME_LIBRARY}' FAKETIME='+0 x{SPEED_UP}' " + command
            self.process = subprocess.Popen(self.board.wrap(["sh", "-c", command]), stdout=subprocess.DEVNULL)
            wait_for(pid_file.exists, "pid file of bench-supervisor")
            wait_for(lambda: pid_file.read_text().endswith("\n"), "pid of bench-supervisor")
            self.pid = int(pid_file.read_text())
        else:
            service = WORK / kind
            shutil.rmtree(service, ignore_errors=True)
            service.mkdir(parents=True)
            (service / "run").symlink_to(BIN / "idle-daemon")
            self.daemon_name = "run"
            program = "runsv" if kind == "runsv" else "s6-supervise"
            self.process = subprocess.Popen([program, service], stdout=subprocess.DEVNULL)
            self.pid = self.process.pid

    def latencies_ms(self, kills):
        """Per kill: milliseconds until the replacement was forked and until it ran the daemon."""
        text = output([BIN / "restart-latency", self.pid, self.daemon_name, kills, LIFE_MS])
        return [tuple(int(field) / 1000 for field in line.split()) for line in text.splitlines()]

    def counters(self):
        """CPU ticks (user + system) and context switches (voluntary: wake-ups)."""
        stat = Path(f"/proc/{self.pid}/stat").read_text()
        fields = stat[stat.rindex(")") + 2:].split()
        ticks = int(fields[11]) + int(fields[12])
        status = Path(f"/proc/{self.pid}/status").read_text()
        switches = {key: int(value) for key, value in re.findall(r"^(\w+)_ctxt_switches:\s+(\d+)", status, re.M)}
        return ticks, switches["voluntary"], switches["nonvoluntary"]

    def stop(self):
        """Ends the supervisor, then its daemon: a daemon only just started may
        not have asked for its parent-death signal yet."""
        daemons = Path(f"/proc/{self.pid}/task/{self.pid}/children").read_text().split()
        if self.kind == "ours":
            os.kill(self.pid, signal.SIGTERM)
        else:
            self.process.terminate()
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        for daemon in daemons:
            try:
                os.kill(int(daemon), signal.SIGKILL)
            except ProcessLookupError:
                pass


def restart_latencies(kind):
    if kind != "ours":
        supervisor = Supervisor(kind)
        try:
            return supervisor.latencies_ms(KILLS)
        finally:
            supervisor.stop()
    samples = []
    while len(samples) < KILLS:
        supervisor = Supervisor(kind, speed_up=True)
        try:
            samples += supervisor.latencies_ms(min(OURS_KILLS_PER_RUN, KILLS - len(samples)))
        finally:
            supervisor.stop()
    return samples


def idle_counters():
    """All three supervisors idle side by side for IDLE_SECONDS."""
    supervisors = [Supervisor(kind) for kind in ("ours", "runsv", "s6")]
    try:
        time.sleep(2)
        before = [s.counters() for s in supervisors]
        time.sleep(IDLE_SECONDS)
        after = [s.counters() for s in supervisors]
    finally:
        for supervisor in supervisors:
            supervisor.stop()
    return {s.kind: tuple(b - a for a, b in zip(first, last))
            for s, first, last in zip(supervisors, before, after)}


# ---------------------------------------------------------------- trace path

def trace_benchmarks():
    """Per trace: the difference between TRACES_MANY and TRACES_FEW traces
    divided by their difference, so the start-up and the singletons cancel."""
    tree = WORK / "trace"
    shutil.rmtree(tree, ignore_errors=True)
    (tree / "var/mmb/sock").mkdir(parents=True)
    environment = dict(os.environ, MMB_DEBUG_PATH=str(tree))
    service = subprocess.Popen([BIN / "mmb-trace-service"], env=environment, stdout=subprocess.DEVNULL)
    socket = tree / "var/mmb/sock/ipcsock04"
    wait_for(socket.exists, "trace service socket")
    results = {}
    try:
        for mode in ("off", "file", "service"):
            per_count = [trace_run(tree, environment, mode, count) for count in (TRACES_FEW, TRACES_MANY)]
            results[mode] = tuple((many - few) / (TRACES_MANY - TRACES_FEW)
                                  for few, many in zip(per_count[0], per_count[1]))
    finally:
        service.terminate()
        service.wait()
    return results


def trace_run(tree, environment, mode, count):
    """Instructions, heap allocations and system calls of one bench-trace run."""
    argv = [BIN / "bench-trace", mode, count]
    callgrind = tree / f"callgrind.{mode}.{count}"
    run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={callgrind}"] + argv, env=environment,
        stderr=subprocess.DEVNULL)
    ir = int(re.search(r"^summary:\s+(\d+)", callgrind.read_text(), re.M).group(1))
    memcheck = tree / f"memcheck.{mode}.{count}"
    run(["valgrind", "--tool=memcheck", f"--log-file={memcheck}"] + argv, env=environment)
    allocations = int(re.search(r"total heap usage: ([\d,]+) allocs", memcheck.read_text()).group(1).replace(",", ""))
    strace = tree / f"strace.{mode}.{count}"
    run(["strace", "-c", "-o", strace] + argv, env=environment)
    calls = int(re.search(r"^100\.00\s+\S+\s+\S+\s+(\d+)", strace.read_text(), re.M).group(1))
    return ir, allocations, calls


# ---------------------------------------------------------------- footprint

def stripped_size(path, strip="strip"):
    copy = WORK / ("stripped-" + Path(path).name)
    run([strip, "--strip-unneeded", "-o", copy, path])
    return copy.stat().st_size


def footprint():
    sizes = {"x86-64": (stripped_size(BIN / "nvram"), stripped_size(LIB / "libmmbstartup.a"))}
    if (PPC / "bin/nvram").exists() and (PPC / "lib/libmmbstartup.a").exists():
        strip = "powerpc-linux-gnu-strip"
        sizes["PowerPC"] = (stripped_size(PPC / "bin/nvram", strip), stripped_size(PPC / "lib/libmmbstartup.a", strip))
    peers = {}
    for program in ("fw_printenv", "runsv", "s6-supervise"):
        path = shutil.which(program)
        libraries = [line.split()[2] for line in output(["ldd", path]).splitlines()
                     if "=>" in line and ("libubootenv" in line or "libskarnet" in line)]
        peers[program] = sum(stripped_size(p) for p in [path] + libraries)
    return sizes, peers


# ---------------------------------------------------------------- the table

def spread(samples):
    return f"{statistics.median(samples):.2f} ({min(samples):.2f}-{max(samples):.2f})"


def ratio(ours, peer):
    if not peer:
        return "-"
    return f"{ours / peer:.2f}" if ours / peer >= 0.1 else f"{ours / peer:.4f}"


def number(value, digits=0):
    return f"{value:,.{digits}f}"


def print_table(command, latencies, idle, traces, field, failovers, sizes, peer_sizes):
    ours_floor, peer_floor, ours, peer = command
    rows = [("Measure", "ours", "peer", "ours/peer")]
    for action, ours_name, peer_name in (("get", "nvram -d", "fw_printenv"), ("set", "nvram -s 1", "fw_setenv")):
        o, p = above(ours[action], ours_floor), above(peer[action], peer_floor)
        label = f"{ours_name} vs {peer_name}"
        rows.append((f"{label}: instructions above floor", number(o["ir"]), number(p["ir"]), ratio(o["ir"], p["ir"])))
        board = o["ir"] - o["ir_shim"]
        rows.append((f"{label}: instructions, less the device shim", number(board), number(p["ir"]),
                     ratio(board, p["ir"])))
        rows.append((f"{label}: system calls above floor", number(o["sys"]), number(p["sys"]),
                     ratio(o["sys"], p["sys"])))
        calls = o["sys"] - o["sys_shim"]
        rows.append((f"{label}: system calls, less the device shim", number(calls), number(p["sys"]),
                     ratio(calls, p["sys"])))
        rows.append((f"{label}: peak RSS KiB (floor {ours_floor['rss']} / {peer_floor['rss']})",
                     number(ours[action]["rss"]), number(peer[action]["rss"]),
                     ratio(ours[action]["rss"], peer[action]["rss"])))
        rows.append((f"{label}: wall ms above floor, median of {HYPERFINE_RUNS}", number(o["ms"], 3),
                     number(p["ms"], 3), ratio(o["ms"], p["ms"])))
    for peer_kind, peer_name in (("runsv", "runsv"), ("s6", "s6-supervise")):
        for index, event in ((0, "forked"), (1, "running the daemon")):
            ours_ms = [sample[index] for sample in latencies["ours"]]
            peer_ms = [sample[index] for sample in latencies[peer_kind]]
            rows.append((f"kill to replacement {event}, ms vs {peer_name}: median (min-max), n={len(ours_ms)}",
                         spread(ours_ms), spread(peer_ms),
                         ratio(statistics.median(ours_ms), statistics.median(peer_ms))))
    for peer_kind, peer_name in (("runsv", "runsv"), ("s6", "s6-supervise")):
        o, p = idle["ours"], idle[peer_kind]
        rows.append((f"idle {IDLE_SECONDS} s vs {peer_name}: CPU ticks / wake-ups / preemptions",
                     f"{o[0]} / {o[1]} / {o[2]}", f"{p[0]} / {p[1]} / {p[2]}", "-"))
    for mode, what in (("off", "both sinks off"), ("file", "local trace file"), ("service", "trace service")):
        ir, allocations, calls = traces[mode]
        rows.append((f"per trace, {what}: instructions / heap allocations / system calls",
                     f"{ir:,.0f} / {allocations:g} / {calls:g}", "-", "-"))
    collect_ms, decode_ms, bundle_bytes = field
    rows.append((f"full board ({FULL_KEEP} records of each kind): mmb-collect / mmb-decode of its bundle, "
                 f"wall ms median of {HYPERFINE_RUNS} / bundle bytes",
                 f"{collect_ms:.3f} / {decode_ms:.3f} / {bundle_bytes:,}", "-", "-"))
    for machine, (command_size, library_size) in sizes.items():
        peer_size = peer_sizes["fw_printenv"] if machine == "x86-64" else None  # Debian's peers are x86-64 only here
        rows.append((f"stripped bytes, {machine}: nvram / libmmbstartup.a (peer: fw_printenv with libubootenv)",
                     f"{command_size:,} / {library_size:,}", f"{peer_size:,}" if peer_size else "-",
                     ratio(command_size, peer_size)))
    if "PowerPC" not in sizes:
        rows.append(("stripped bytes, PowerPC", "not built (see bench/run.sh output)", "-", "-"))
    rows.append(("stripped bytes of the peer supervisors (with their own libraries)",
                 "-", f"runsv {peer_sizes['runsv']:,}, s6-supervise {peer_sizes['s6-supervise']:,}", "-"))
    rows += failover.rows(failovers)
    widths = [max(len(row[i]) for row in rows) for i in range(4)]
    lines = []
    for index, row in enumerate(rows):
        lines.append("| " + " | ".join(cell.ljust(width) for cell, width in zip(row, widths)) + " |")
        if index == 0:
            lines.append("|" + "|".join("-" * (width + 2) for width in widths) + "|")
    table = "\n".join(lines)
    print(table)
    (WORK / "results.md").write_text(table + "\n")


def main():
    WORK.mkdir(parents=True, exist_ok=True)
    started = time.monotonic()
    print("bench: nvram beside fw_printenv and fw_setenv", flush=True)
    command = command_benchmarks()
    print("bench: restarts beside runsv and s6-supervise", flush=True)
    latencies = {kind: restart_latencies(kind) for kind in ("ours", "runsv", "s6")}
    print(f"bench: {IDLE_SECONDS} idle seconds", flush=True)
    idle = idle_counters()
    print("bench: trace path", flush=True)
    traces = trace_benchmarks()
    print("bench: collecting and decoding a full board", flush=True)
    field = field_support_benchmarks()
    print("bench: failover of a pair beside keepalived's defaults", flush=True)
    failovers = failover.failover_samples()
    sizes, peer_sizes = footprint()
    print(f"bench: measured in {time.monotonic() - started:.0f} s on {os.uname().nodename}, "
          f"{time.strftime('%Y-%m-%d %H:%M %Z')}\n", flush=True)
    print_table(command, latencies, idle, traces, field, failovers, sizes, peer_sizes)


if __name__ == "__main__":
    main()
