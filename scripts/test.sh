#!/bin/sh
# Builds and runs every test: the host build, the sanitizer build, then the
# board build (PowerPC) under qemu-ppc.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
for preset in host sanitize; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j"$(nproc)"
    ctest --preset "$preset" -j"$(nproc)"
done
scripts/test-target.sh
