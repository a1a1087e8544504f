#!/bin/sh
# Runs the tests of one CTest label N times in a row on an existing build
# and reports how many runs failed, naming the tests that failed; exit
# status 1 when any run failed. A flake seen once in a few hundred runs
# shows here; the output of each failed run is kept in
# build/repeat/LABEL-RUN.log.
#   scripts/repeat.sh LABEL N      e.g. scripts/repeat.sh peer 100
# PRESET (default host) picks the test preset, JOBS (default 1) the tests
# run at once within a run.
set -eu
if [ $# -ne 2 ]; then
    echo "usage: $0 LABEL N" >&2
    exit 2
fi
label=$1
runs=$2
cd "$(dirname "$0")/.."
mkdir -p build/repeat
log=build/repeat/$label.log
failed=0
run=1
trap 'echo "$label: $failed of $((run - 1)) runs failed (stopped)"; exit 1' INT TERM
while [ "$run" -le "$runs" ]; do
    if ! ctest --preset "${PRESET:-host}" -L "^$label\$" -j"${JOBS:-1}" --no-tests=error --output-on-failure >"$log" 2>&1; then
        failed=$((failed + 1))
        echo "run $run failed:"
        sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (.*)$/  \1/p' "$log"
        mv "$log" "build/repeat/$label-$run.log"
    fi
    run=$((run + 1))
done
rm -f "$log"
echo "$label: $failed of $runs runs failed"
[ "$failed" -eq 0 ]
