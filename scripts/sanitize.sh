#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the suite with sanitizers (a build folder of its own) and runs it.
#   scripts/sanitize.sh address,undefined            # ASan + UBSan, the whole suite
#   scripts/sanitize.sh thread                       # TSan, the threaded parts: the labels
#                                                    # search (finder) and device (playback)
#   scripts/sanitize.sh KIND LABEL-REGEX             # the tests with a matching label
# Any sanitizer report fails the test that caused it.
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:?usage: sanitize.sh address,undefined|thread [label-regex]}
default_labels=
[ "$kind" = thread ] && default_labels='search|device'
labels=${2:-$default_labels}
dir=build-san-${kind//,/-}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVORELA_SANITIZE="$kind" \
    "${launcher[@]}" >/dev/null
ninja -C "$dir" -j2
export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan.supp}"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
selection=()
[ -n "$labels" ] && selection=(-L "$labels")
ctest --test-dir "$dir" --output-on-failure "${selection[@]}" -j2
