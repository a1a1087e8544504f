#!/bin/sh
# check.sh BUILD WORK
# What an integrator does with the guide (docs/integrating.md), from the
# installed tree only: installs BUILD (a host build: the package and the
# component simulator) into WORK/root, builds the guide's start-up program
# against it with find_package and with pkg-config, runs it on a simulated
# board with a process table of its own, and checks that it started its
# daemon and the services, and that a reboot is judged REBOOT.
set -eu
build=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
root=$work/root/usr
DESTDIR=$work/root cmake --install "$build" --prefix /usr --component Unspecified >"$work/install.log"
DESTDIR=$work/root cmake --install "$build" --prefix /usr --component simulator >>"$work/install.log"

fail() { echo "integration: $*"; exit 1; }

# The guide shows the program (its first cpp block); they must not drift apart.
awk '/^```cpp$/ { inside = 1; next } inside && /^```$/ { exit } inside' "$here/../../docs/integrating.md" >"$work/shown.cpp"
grep -v '^//' "$here/guide-program/guide-startup.cpp" | diff - "$work/shown.cpp" >"$work/shown.diff" ||
    fail "docs/integrating.md shows another program than guide-program/guide-startup.cpp: $(cat "$work/shown.diff")"

# find_package, with nothing but the installed tree to find it in.
cmake -S "$here/guide-program" -B "$work/guide" -DCMAKE_PREFIX_PATH="$root" >"$work/guide.log"
cmake --build "$work/guide" >>"$work/guide.log"
# pkg-config: the staging tree is its sysroot, and the library is static.
pcdir=$(dirname "$(find "$root" -name mmb-startup.pc)")
flags=$(PKG_CONFIG_SYSROOT_DIR=$work/root PKG_CONFIG_LIBDIR=$pcdir pkg-config --static --cflags --libs mmb-startup)
case "$flags" in *"$build"*) fail "pkg-config points into the build tree: $flags" ;; esac
# shellcheck disable=SC2086 # the flags are separate words
c++ -std=c++17 -o "$work/guide-startup-pc" "$here/guide-program/guide-startup.cpp" $flags
if grep -rq "$build" "$root/lib"*/cmake "$root/lib"*/pkgconfig; then fail "the package names the build tree"; fi

sim=$root/bin/mmb-sim
export MMBSIM_BOARDS="$work/boards"
board=$MMBSIM_BOARDS/guide
"$sim" create guide >/dev/null
# The program's own process table and daemon (the simulator's daemon under its name).
printf '/* the guide program'"'"'s daemons */\n1\nguide-daemon 1 0 7 - -\n#END\n' >"$board/root/etc/mmb/init/pro_file.ctl"
ln -s "$root/bin/mmb-daemon" "$board/root/opt/mmb/bin/guide-daemon"

# Starts PROGRAM on the board and waits until its daemon has started with
# the boot cause argument WANTED (1 AC-ON, 0 REBOOT) and the init scripts
# have been called CALLS times in all (60 seconds at most).
boot() {
    program=$1 wanted=$2 calls=$3
    "$sim" run guide -- "$program" >>"$work/startup.out" 2>&1 &
    for _ in $(seq 600); do
        if grep -qs "^daemon guide-daemon $wanted 1 0 " "$board/log/events" &&
           [ "$(wc -l 2>/dev/null <"$board/log/init.d" || echo 0)" -ge "$calls" ]; then
            return 0
        fi
        sleep 0.1
    done
    cat "$work/startup.out" "$board/root/tmp/guide.log"
    fail "$program: no start of guide-daemon with boot cause $wanted and $calls init script calls"
}

boot "$work/guide/guide-startup" 1 8
"$sim" reboot guide
boot "$work/guide-startup-pc" 0 16
"$sim" stop guide
wait
grep -qx 'boot cause AC-ON' "$work/startup.out" || fail "first start not judged AC-ON"
grep -qx 'boot cause REBOOT' "$work/startup.out" || fail "start after the reboot not judged REBOOT"
grep -q 'judge MMB reset cause REBOOT' "$board/root/tmp/guide.log" || fail "no REBOOT judgement traced"
if grep -q 'I2C reset cause AC-ON' "$board/root/tmp/guide.log"; then fail "the I2C marker outlived the reboot"; fi
echo "integration: the guide's program built from the installed tree started its daemon and the services; the reboot was judged REBOOT"
