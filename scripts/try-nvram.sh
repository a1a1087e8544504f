#!/bin/sh
# Builds everything and runs nvram on a fresh simulated board.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset host >/dev/null
cmake --build --preset host -j"$(nproc)"
sim=build/host/bin/mmb-sim
rm -rf build/host/boards/demo
$sim create demo >/dev/null
$sim run demo -- nvram
