#!/bin/sh
# Builds everything and shows a fresh simulated board.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset host >/dev/null
cmake --build --preset host -j"$(nproc)"
sim=build/host/bin/mmb-sim
rm -rf build/host/boards/demo
$sim create demo
echo "--- registers"
$sim reg demo
echo "--- running firmware file system"
$sim run demo -- cat /mnt/mmb/opt/mmb/version.dat
