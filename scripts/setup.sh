#!/bin/sh
# Installs the Debian packages the build (libarchive-dev: mmb-decode reads
# support bundles with it), the simulator, the API reference (doxygen), the
# tests (pkgconf: the install tests read the installed .pc file; chromium,
# fonts-dejavu-core and poppler-utils: the timeline page is read and printed
# in a headless browser), the fuzzers (clang, libFuzzer), the static analysis
# and the board build run under emulation (PowerPC cross compiler,
# qemu-user) need, and any further packages named as arguments (the memory
# check's and the benchmarks' tools).
set -eu
packages="cmake make g++ libgtest-dev libarchive-dev bubblewrap pkgconf chromium fonts-dejavu-core poppler-utils doxygen clang libclang-rt-14-dev clang-tidy cppcheck g++-powerpc-linux-gnu qemu-user $*"
missing=""
for package in $packages; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing="$missing $package"
done
if [ -n "$missing" ]; then
    apt-get update
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
fi
