#!/bin/sh
# Benchmarks beside the peers: nvram beside fw_printenv and fw_setenv, the
# process manager beside runsv and s6-supervise, the trace path and the
# footprint, measured in one run and printed as one table (bench/RESULTS.md
# says what the figures mean). As root, on a fresh machine too: installs its
# packages, builds build/release and, for the PowerPC sizes, the board build.
set -eu
cd "$(dirname "$0")/.."

# The peers (libubootenv-tool: fw_printenv and fw_setenv; runit: runsv; s6:
# s6-supervise); the measuring tools (time: /usr/bin/time for the peak RSS;
# faketime: libfaketime speeds our clock past the 300-second restart rule).
scripts/setup.sh python3 valgrind strace hyperfine time faketime libfaketime libubootenv-tool runit s6

log=build/bench-build.log
mkdir -p build
echo "bench: building build/release (log: $log)"
{ cmake --preset release && nice cmake --build --preset release -j2; } >"$log" 2>&1 || { tail -40 "$log"; exit 1; }

# The board build as it goes on a board (scripts/board-build.sh). Without it
# the table shows the x86-64 sizes alone.
echo "bench: building build/board-release (log: build/board-build.log)"
if ! nice scripts/board-build.sh >build/board-build.log 2>&1; then
    echo "bench: the board build failed (build/board-build.log): sizes for x86-64 only"
fi

exec python3 bench/bench.py
