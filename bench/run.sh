#!/bin/sh
# Benchmarks beside the peers: nvram beside fw_printenv and fw_setenv, the
# process manager beside runsv and s6-supervise, the trace path and the
# footprint, measured in one run and printed as one table (bench/RESULTS.md
# says what the figures mean). As root, on a fresh machine too: installs its
# packages, builds build/release and, for the PowerPC sizes, build/bench-ppc.
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

# The board build: only the command and the library, as the release build
# builds them. Without it the table shows the x86-64 sizes alone.
echo "bench: building build/bench-ppc (log: build/bench-ppc.log)"
if ! { cmake -S . -B build/bench-ppc -DCMAKE_TOOLCHAIN_FILE=cmake/powerpc-linux-gnu.cmake \
         -DCMAKE_BUILD_TYPE=Release -DMMB_BUILD_TESTS=OFF &&
       nice cmake --build build/bench-ppc -j2 --target nvram startup; } >build/bench-ppc.log 2>&1; then
    echo "bench: the PowerPC build failed (build/bench-ppc.log): sizes for x86-64 only"
fi

exec python3 bench/bench.py
