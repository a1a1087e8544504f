#!/bin/sh
# install-and-consume.sh BUILD STAGE CONSUMER
# Installs BUILD as a firmware recipe does (DESTDIR=STAGE, prefix /usr),
# checks what landed where, then builds and runs CONSUMER against the staged
# package, once with find_package and once with pkg-config; the package
# brings the closed libraries the library was built for.
# Environment: CXX, CXXFLAGS and LDFLAGS of BUILD; for a cross build
# MMB_TOOLCHAIN (its toolchain file) and MMB_EMULATOR (the command that runs
# its programs) or MMB_BUILD_ONLY=1 (build the consumer, do not run it).
set -eu
build=$1 stage=$2 consumer=$3
rm -rf "$stage"
mkdir -p "$stage"
DESTDIR=$stage/root cmake --install "$build" --prefix /usr >"$stage/install.log"
root=$stage/root/usr

missing=0
for file in sbin/nvram sbin/mmb-collect bin/mmb-decode share/man/man8/nvram.8 share/man/man8/mmb-collect.8 \
            share/man/man1/mmb-decode.1 \
            include/mmb-startup/InitMMBFirm.h include/mmb-startup/NvramLayout.h include/mmb-startup/board_devices.h; do
    [ -f "$root/$file" ] || { echo "not installed: $file"; missing=1; }
done
for pattern in 'lib*/libmmbstartup.a' 'lib*/cmake/MMBStartup/MMBStartupConfig.cmake' 'lib*/pkgconfig/mmb-startup.pc'; do
    # shellcheck disable=SC2086 # the pattern is meant to expand
    set -- $root/$pattern
    [ -f "$1" ] || { echo "not installed: $pattern"; missing=1; }
done
for program in nvram_test other-steps; do
    if find "$stage/root" -name "$program" | grep -q .; then echo "installed but internal: $program"; missing=1; fi
done
[ $missing -eq 0 ]
pcdir=$(dirname "$(find "$root" -name mmb-startup.pc)")
grep -qx 'prefix=/usr' "$pcdir/mmb-startup.pc" || { echo "pkg-config prefix is not /usr:"; cat "$pcdir/mmb-startup.pc"; exit 1; }

run() {
    [ -z "${MMB_BUILD_ONLY:-}" ] || return 0
    # shellcheck disable=SC2086 # the emulator is a command with arguments
    ${MMB_EMULATOR:-} "$@"
}

# find_package, as another CMake project finds it in a staging sysroot.
if [ -n "${MMB_TOOLCHAIN:-}" ]; then
    found="-DCMAKE_TOOLCHAIN_FILE=$MMB_TOOLCHAIN -DMMBStartup_DIR=$(dirname "$(find "$root" -name MMBStartupConfig.cmake)")"
else
    found="-DCMAKE_PREFIX_PATH=$root"
fi
# shellcheck disable=SC2086 # two options in one variable
cmake -S "$consumer" -B "$stage/consumer" -DCMAKE_CXX_COMPILER="$CXX" $found >"$stage/consumer.log"
cmake --build "$stage/consumer" >>"$stage/consumer.log"
run "$stage/consumer/consumer"

# pkg-config, with the staging tree as its sysroot.
# --static: the library is an archive, so the closed libraries it calls
# (Libs.private) go on the link line too.
flags=$(PKG_CONFIG_SYSROOT_DIR=$stage/root PKG_CONFIG_LIBDIR=$pcdir pkg-config --static --cflags --libs mmb-startup)
# shellcheck disable=SC2086 # the flags are separate words
"$CXX" -std=c++17 ${CXXFLAGS:-} -o "$stage/consumer-pc" "$consumer/consumer.cpp" $flags ${LDFLAGS:-}
run "$stage/consumer-pc"
