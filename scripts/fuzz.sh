#!/bin/sh
# Builds the libFuzzer targets (preset fuzz, build/fuzz) and runs them one
# after the other:
#   scripts/fuzz.sh [SECONDS]   each target SECONDS long (default 60), at low priority
#   scripts/fuzz.sh smoke       each target 10 s through CTest (label fuzz), as CI does
# The targets are the folders of fuzz/corpus (their seeds). New inputs
# collect in build/fuzz/fuzz/corpus/TARGET; an input that crashes a target
# is saved as build/fuzz/findings/TARGET/crash-*.
set -eu
cd "$(dirname "$0")/.."
mode=${1:-60}
case "$mode" in
    smoke) ;;
    '' | *[!0-9]* | 0) echo "usage: scripts/fuzz.sh [SECONDS | smoke]" >&2; exit 2 ;;
esac

scripts/setup.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2
if [ "$mode" = smoke ]; then
    exec ctest --preset fuzz
fi

status=0
for seeds in fuzz/corpus/*/; do
    target=$(basename "$seeds")
    findings=build/fuzz/findings/$target
    mkdir -p "$findings" "build/fuzz/fuzz/corpus/$target"
    echo "== fuzz-$target, $mode s"
    nice -n 10 "build/fuzz/bin/fuzz-$target" -max_total_time="$mode" -print_final_stats=1 \
        -dict="fuzz/dict/$target.dict" -artifact_prefix="$findings/" \
        "build/fuzz/fuzz/corpus/$target" "$seeds" || status=1
done
exit $status
