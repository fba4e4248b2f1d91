# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the shell checks: `check <description> <command...>` runs the command and counts
# it in `passes` or `failures`; `summary` prints the closing line and fails when any failed.
failures=0
passes=0
check() {
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
        passes=$((passes + 1))
    else
        echo "FAILED: $what"
        failures=$((failures + 1))
    fi
}
summary() {
    echo "$passes passed, $failures failed"
    [ "$failures" -eq 0 ]
}
