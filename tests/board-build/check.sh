#!/bin/sh
# check.sh BUILD TOOLCHAIN
# Checks a board build (MMB_PLATFORM=board, PowerPC): nvram needs the board's
# closed libraries and the C library and nothing else, holds nothing of the
# simulator and fits the board; `cmake --install` stages what a board and an
# integrator get, a program builds against the staged tree and links the
# board's closed libraries through the package, and nvram and the library
# call the C library's 64-bit time and file entry points. Prints the
# stripped size of the staged nvram.
set -eu
build=$(cd "$1" && pwd) toolchain=$2
here=$(cd "$(dirname "$0")" && pwd)
stage=$build/stage
max_nvram=$((120 * 1024))
failed=0
fail() { echo "board build: $*"; failed=1; }

# The board's libraries lie in the sysroot the build found them in; a
# board SDK's compiler searches its own sysroot without being told.
sysroot=$(sed -n 's/^MMB_BOARD_SYSROOT:[A-Z]*=//p' "$build/CMakeCache.txt")
CXX=powerpc-linux-gnu-g++ MMB_TOOLCHAIN=$toolchain MMB_BUILD_ONLY=1 LDFLAGS="-L$sysroot/usr/lib" \
    "$here/../tools/install-and-consume.sh" "$build" "$stage" "$here/../tools/consumer"
nvram=$stage/root/usr/sbin/nvram

# The package names the board's closed libraries, by name, and nothing of
# the simulator is installed: its programs, stand-ins or their declarations.
for consumer in "$stage/consumer/consumer" "$stage/consumer-pc"; do
    powerpc-linux-gnu-readelf -d "$consumer" | grep -q 'NEEDED.*\[liblmsg.so\]' || fail "$consumer does not link liblmsg.so"
done
grep -q '^Libs.private: -lMMBLib -ldual -llmsg -lmmbtrace$' "$stage"/root/usr/lib*/pkgconfig/mmb-startup.pc ||
    fail "the .pc file does not name the closed libraries"
if grep -rq "$sysroot" "$stage"/root/usr/lib*/cmake "$stage"/root/usr/lib*/pkgconfig; then
    fail "the package names the build's sysroot"
fi
for file in mmb-sim libmmbsim-devices.so mmb-sim-tool mmb-daemon MMBLib.h libdual.h lmsg.h mmbtrace.h; do
    if find "$stage/root" -name "$file" | grep -q .; then fail "installed on a board: $file"; fi
done

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

"$here/check-time64.sh" "$nvram" "$stage"/root/usr/lib*/libmmbstartup.a || fail "32-bit time or file calls"

powerpc-linux-gnu-strip -o "$stage/nvram.stripped" "$nvram"
size=$(stat -c %s "$stage/nvram.stripped")
[ "$size" -le $max_nvram ] || fail "stripped nvram is $size bytes, more than $max_nvram"
echo "stripped $nvram: $size bytes"
exit $failed
