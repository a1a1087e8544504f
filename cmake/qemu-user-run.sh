#!/bin/sh
# qemu-user-run.sh EMULATOR [OPTION...] PROGRAM [ARG...]
# Runs a qemu-user emulator with the caller's LD_PRELOAD handed to the
# emulated program only. Loaded into the emulator itself, the device shim
# would also serve the emulator's own calls (it reads the board clock a
# dozen times at start-up, moving a test's fixed time stamps on).
emulator=$1
shift
if [ -n "${LD_PRELOAD-}" ]; then
    set -- -E "LD_PRELOAD=$LD_PRELOAD" "$@"
    unset LD_PRELOAD
fi
exec "$emulator" "$@"
