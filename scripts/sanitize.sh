#!/usr/bin/env bash
# Builds the suite with sanitizers and runs the tests whose names match a pattern.
#   scripts/sanitize.sh thread  'Finder|Device'     # TSan
#   scripts/sanitize.sh address,undefined           # ASan + UBSan, whole suite
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:?usage: sanitize.sh address,undefined|thread [test-regex]}
pattern=${2:-.}
dir=build-san-${kind//,/-}
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVORELA_SANITIZE="$kind" >/dev/null
ninja -C "$dir"
export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan.supp}"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1 halt_on_error=1}"
ctest --test-dir "$dir" --output-on-failure -R "$pattern" -j2
