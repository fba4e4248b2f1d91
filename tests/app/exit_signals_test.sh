#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The program ends cleanly (exit status 0, its lock file released) on SIGTERM, SIGINT and
# SIGHUP, as it does through its exit command.
#   exit_signals_test.sh <path-to-vorela>
set -uo pipefail
player=$1
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
export XDG_RUNTIME_DIR=$runtime QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy
failures=0
for signal in TERM INT HUP; do
    rm -rf "${runtime:?}"/*
    "$player" &
    pid=$!
    # Up when its single-instance lock is taken.
    for _ in $(seq 100); do
        [ -n "$(find "$runtime" -maxdepth 2 -name '*OnlyOne*' 2>/dev/null)" ] && break
        sleep 0.05
    done
    sleep 0.3
    kill -s "$signal" "$pid"
    status=0
    wait "$pid" || status=$?
    if [ "$status" -eq 0 ]; then
        echo "ok: SIG$signal ends the program with status 0"
    else
        echo "FAILED: SIG$signal: exit status $status"
        failures=$((failures + 1))
    fi
done
exit "$failures"
