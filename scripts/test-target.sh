#!/bin/sh
# Builds the board build (32-bit big-endian PowerPC) and runs the test suite
# on it under qemu-ppc. The simulator's own programs are built for the host
# in build/ppc-host by the same build (cmake/Emulation.cmake).
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset ppc >/dev/null
cmake --build --preset ppc -j"$(nproc)"
ctest --preset ppc -j"$(nproc)"
