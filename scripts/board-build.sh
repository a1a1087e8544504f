#!/bin/sh
# Builds what goes on a board: the board-release preset (PowerPC, linked
# against the board's own closed libraries, built for size), here against
# link-only stand-ins of those libraries in build/board-sysroot. Stages
# `cmake --install` in build/board-release/stage as a recipe does, checks
# what the board gets (tests/board-build/check.sh) and prints the stripped
# size of the staged nvram. No emulator is needed: nothing built here runs.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
toolchain=$PWD/cmake/powerpc-linux-gnu.cmake
sysroot=$PWD/build/board-sysroot

cmake -S tests/board-build/stubs -B build/board-stubs -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build build/board-stubs -j"$(nproc)" >/dev/null
DESTDIR=$sysroot cmake --install build/board-stubs >/dev/null

cmake --preset board-release >/dev/null
cmake --build --preset board-release -j"$(nproc)"
tests/board-build/check.sh build/board-release "$toolchain"
