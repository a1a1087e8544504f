#!/bin/sh
# Builds and runs every test: the host build, then the sanitizer build.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
for preset in host sanitize; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j"$(nproc)"
    ctest --preset "$preset" -j"$(nproc)"
done
