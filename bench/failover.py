#!/usr/bin/env python3
"""Failover of a simulated pair: from the Active board's loss to the Standby's
services running, split into the heartbeat's detection and the start-up
library's mode-change sequence, with the simulator's default heartbeat
(beats 500 ms apart, a peer lost after 6 unanswered). bench/bench.py puts
the figures in its table; run alone it prints them, measuring with the
programs of BENCH_BIN (default build/release/bin), e.g.
    BENCH_BIN=build/host/bin python3 bench/failover.py"""

import os
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BIN = Path(os.environ.get("BENCH_BIN", ROOT / "build/release/bin")).resolve()
WORK = ROOT / "build/bench-work/failover"
SIM = str(BIN / "mmb-sim")
ROUNDS = 6

READY = "dualprocess request 0x80020021 data 80020021"
PEER_UP = "heartbeat peer up"
PEER_LOST = "heartbeat peer lost"
CHANGE_START = "dualprocess request 0x80020031 data 80020031"  # sent once the services are set up
CHANGE_COMPLETE = "dualprocess request 0x80020041 data 80020041"

# keepalived's defaults: advert_int 1 s, priority 100; a backup declares the
# master down after 3 adverts plus the skew (256 - priority) / 256 s.
KEEPALIVED_ADVERT_S = 1.0
KEEPALIVED_MASTER_DOWN_S = 3 * KEEPALIVED_ADVERT_S + (256 - 100) / 256


class PairBoard:
    """One board of the pair, running the reference start-up program."""

    def __init__(self, name, mmb):
        self.path = WORK / name
        shutil.rmtree(self.path, ignore_errors=True)
        subprocess.run([SIM, "create", self.path, "--mmb", str(mmb)], check=True, stdout=subprocess.DEVNULL)
        self.process = None

    def count(self, line):
        events = self.path / "log/events"
        return events.read_text().splitlines().count(line) if events.exists() else 0

    def start(self):
        ready = self.count(READY)
        with open(self.path / "startup.out", "a") as log:
            self.process = subprocess.Popen([SIM, "run", self.path, "--", "mmb-startup"], stdout=log, stderr=log)
        wait_until(lambda: self.count(READY) > ready, "start-up of " + self.path.name)

    def lose(self):
        """Every program of the board stops at once, as when its power goes."""
        subprocess.run([SIM, "stop", self.path], check=True)
        self.process.wait()
        subprocess.run([SIM, "power-cycle", self.path], check=True)


def wait_until(predicate, what, seconds=60):
    limit = time.monotonic() + seconds
    while not predicate():
        if time.monotonic() > limit:
            sys.exit(f"bench: no {what} within {seconds} s")
        time.sleep(0.001)


def when(board, line, times):
    """Seconds (monotonic) at which the board's event log first holds the line `times` times."""
    wait_until(lambda: board.count(line) >= times, line)
    return time.monotonic()


def measure_round(active, standby):
    """The Active board is lost; returns detection, services and completion in ms."""
    lost, started, completed = (standby.count(line) + 1 for line in (PEER_LOST, CHANGE_START, CHANGE_COMPLETE))
    loss = time.monotonic()
    active.lose()
    detected = when(standby, PEER_LOST, lost)
    services = when(standby, CHANGE_START, started)
    complete = when(standby, CHANGE_COMPLETE, completed)
    return [(moment - base) * 1000 for moment, base in ((detected, loss), (services, detected),
                                                        (complete, detected))]


def failover_samples(rounds=ROUNDS):
    """Per round: detection, loss-detected to services running, to change complete (ms)."""
    a, b = PairBoard("A", 0), PairBoard("B", 1)
    subprocess.run([SIM, "pair", a.path, b.path], check=True)
    samples = []
    try:
        a.start()
        b.start()
        wait_until(lambda: b.count(PEER_UP) > 0, "heartbeat")
        active, standby = a, b
        for _ in range(rounds):
            samples.append(measure_round(active, standby))
            heard = active.count(PEER_UP)
            active.start()  # back as Standby, once it hears the new Active board
            wait_until(lambda: active.count(PEER_UP) > heard, "heartbeat of the board back")
            active, standby = standby, active
    finally:
        for board in (a, b):
            subprocess.run([SIM, "stop", board.path], check=False)
            if board.process is not None:
                board.process.wait()
    return samples


def spread(values):
    return f"{statistics.median(values):,.0f} ({min(values):,.0f}-{max(values):,.0f})"


def rows(samples):
    """Table rows: measure, ours, peer, ours/peer."""
    detection, services, complete = ([sample[i] for sample in samples] for i in range(3))
    total = [d + s for d, s in zip(detection, services)]
    keepalived_ms = KEEPALIVED_MASTER_DOWN_S * 1000
    n = len(samples)
    return [
        (f"failover, loss to Standby's services running, ms vs keepalived master-down: median (min-max), n={n}",
         spread(total), f"{keepalived_ms:,.0f} + its notify script", f"{statistics.median(total) / keepalived_ms:.2f}"),
        (f"failover, detection (heartbeat 500 ms x 6) vs keepalived (advert {KEEPALIVED_ADVERT_S:.0f} s x 3 + skew)",
         spread(detection), f"{keepalived_ms:,.0f}", f"{statistics.median(detection) / keepalived_ms:.2f}"),
        (f"failover, mode change: loss detected to services running / to change complete, ms",
         f"{spread(services)} / {spread(complete)}", "-", "-"),
    ]


def main():
    WORK.mkdir(parents=True, exist_ok=True)
    for row in rows(failover_samples()):
        print(" | ".join(row))


if __name__ == "__main__":
    main()
