#!/bin/sh
# Builds and runs every test: the host build, the sanitizer build, then the
# board build (PowerPC) under qemu-ppc. After each, no program of the build
# may still run.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
for preset in host sanitize; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j"$(nproc)"
    status=0
    ctest --preset "$preset" -j"$(nproc)" || status=$?
    scripts/no-leftover-programs.sh "build/$preset"
    [ "$status" -eq 0 ]
done
status=0
scripts/test-target.sh || status=$?
scripts/no-leftover-programs.sh build/ppc build/ppc-host
[ "$status" -eq 0 ]
