#!/bin/sh
# Static analysis of the whole tree with clang-tidy (checks in .clang-tidy,
# narrowed per folder) and cppcheck (suppressions in .cppcheck-suppressions),
# on the compile commands of build/analysis. Exits 1 on any finding.
#   scripts/static-analysis.sh [PATH-PART]   only the sources whose path contains PATH-PART
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
# clang is what clang-tidy parses with; MMB_FUZZ brings fuzz/ into the commands.
cmake -S . -B build/analysis -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DMMB_FUZZ=ON >/dev/null
jobs=$(nproc)
[ "$jobs" -le 2 ] || jobs=2
status=0

echo "== clang-tidy"
nice -n 10 run-clang-tidy -quiet -j"$jobs" -p build/analysis "$@" >build/analysis/clang-tidy.raw 2>&1 || status=1
sed 's/\x1b\[[0-9;]*m//g' build/analysis/clang-tidy.raw >build/analysis/clang-tidy.log
grep -E -A3 "(warning|error):" build/analysis/clang-tidy.log || true

echo "== cppcheck"
nice -n 10 cppcheck --project=build/analysis/compile_commands.json ${1:+--file-filter="*$1*"} \
    --std=c++17 --library=posix --library=gnu --library=googletest \
    --enable=warning,style,performance,portability --inline-suppr \
    --suppressions-list=.cppcheck-suppressions --error-exitcode=1 -q -j"$jobs" \
    --template='{file}:{line}: {severity}: {message} [{id}]' || status=1

[ "$status" -eq 0 ] && echo "static analysis: no findings" || echo "static analysis: findings above"
exit "$status"
