#!/bin/sh
# check.sh BUILD TOOLCHAIN
# Checks a board build (MMB_PLATFORM=board, PowerPC): nvram needs the board's
# closed libraries and the C library and nothing else, holds nothing of the
# simulator and fits the board; `cmake --install` stages what a board and an
# integrator get, and a program builds against the staged tree. Prints the
# stripped size of the staged nvram.
set -eu
build=$(cd "$1" && pwd) toolchain=$2
here=$(cd "$(dirname "$0")" && pwd)
stage=$build/stage
max_nvram=$((120 * 1024))
failed=0
fail() { echo "board build: $*"; failed=1; }

CXX=powerpc-linux-gnu-g++ MMB_TOOLCHAIN=$toolchain MMB_BUILD_ONLY=1 \
    "$here/../tools/install-and-consume.sh" "$build" "$stage" "$here/../tools/consumer"
nvram=$stage/root/usr/sbin/nvram

# The closed libraries nvram calls (libdual only serves the peer-board
# classes) and the C library with its loader.
needed=$(powerpc-linux-gnu-readelf -d "$nvram" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort | tr '\n' ' ')
[ "$needed" = "ld.so.1 libMMBLib.so libc.so.6 liblmsg.so libmmbtrace.so " ] || fail "nvram needs: $needed"
if powerpc-linux-gnu-readelf -d "$nvram" | grep -q 'R.*PATH'; then fail "nvram carries a run path"; fi

# The simulator's code lives in namespace sim and reads MMBSIM_* settings.
for file in "$nvram" "$stage"/root/usr/lib*/libmmbstartup.a; do
    if powerpc-linux-gnu-nm -C "$file" 2>/dev/null | grep -q ' sim::'; then
        fail "simulator code in $file"
    fi
    if grep -q MMBSIM "$file"; then fail "simulator settings in $file"; fi
done

powerpc-linux-gnu-strip -o "$stage/nvram.stripped" "$nvram"
size=$(stat -c %s "$stage/nvram.stripped")
[ "$size" -le $max_nvram ] || fail "stripped nvram is $size bytes, more than $max_nvram"
echo "stripped $nvram: $size bytes"
exit $failed
