#!/bin/sh
# Fails when a program of a build tree still runs after its tests: lists
# each one, kills it (every one stopped first, so that no supervisor among
# them restarts another) and exits with status 1.
#   scripts/no-leftover-programs.sh TREE...     e.g. build/host
set -eu
if [ $# -eq 0 ]; then
    echo "usage: $0 TREE..." >&2
    exit 2
fi
trees=
for tree in "$@"; do
    [ -d "$tree" ] && trees="$trees $(cd "$tree" && pwd -P)"
done
# The pids of the processes whose executable lies in one of the trees.
leftovers() {
    for proc in /proc/[0-9]*; do
        exe=$(readlink "$proc/exe" 2>/dev/null) || continue
        for tree in $trees; do
            case $exe in
            "$tree"/*) echo "${proc#/proc/}" ;;
            esac
        done
    done
}
found=0
rounds=0
pids=$(leftovers)
while [ -n "$pids" ] && [ "$rounds" -lt 50 ]; do
    for pid in $pids; do
        kill -STOP "$pid" 2>/dev/null || continue  # ended meanwhile
        found=1
        echo "left running: $pid $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null || true)" >&2
    done
    for pid in $pids; do
        kill -KILL "$pid" 2>/dev/null || true
    done
    sleep 0.1
    rounds=$((rounds + 1))
    pids=$(leftovers)
done
if [ "$found" -ne 0 ]; then
    echo "$0: programs of the build outlived the tests (killed)" >&2
    exit 1
fi
