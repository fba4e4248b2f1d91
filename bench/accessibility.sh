#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a benchmark on a private virtual display with an accessibility bus, as the player runs on
# a screen-reader user's desktop.
#
#   bench/accessibility.sh on|off [--listener] COMMAND [ARGS...]
#
# on:  Qt's AT-SPI bridge is on (QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1), so every model change of
#      a view becomes an accessibility event.
# off: the same display and bus, the bridge off.
# --listener also runs a client that registers for the events a screen reader follows, so that
#      the bridge sends them over D-Bus and someone receives them.
# Needs xvfb, dbus, at-spi2-core and python3-pyatspi (scripts/packages.sh).
set -euo pipefail
mode=${1:?on or off}; shift
listener=0
if [ "${1:-}" = "--listener" ]; then listener=1; shift; fi
here=$(cd "$(dirname "$0")" && pwd)

if [ -z "${VORELA_BENCH_IN_SESSION:-}" ]; then
    export VORELA_BENCH_IN_SESSION=1
    args=("$mode")
    [ $listener = 1 ] && args+=(--listener)
    exec dbus-run-session -- "$0" "${args[@]}" "$@"
fi

work=$(mktemp -d)
pids=()
cleanup() {
    local p
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A free display number, chosen by the server itself.
exec 3<> "$work/display"
Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$work/display")"
export QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/xdg"
mkdir -m 700 "$XDG_RUNTIME_DIR"
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/bus.log" 2>&1 &
pids+=($!)
sleep 0.5

if [ "$mode" = on ]; then
    export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1
else
    unset QT_LINUX_ACCESSIBILITY_ALWAYS_ON QT_ACCESSIBILITY
fi
if [ $listener = 1 ]; then
    /usr/bin/python3 "$here/a11y/listener.py" >"$work/listener.log" 2>&1 &
    pids+=($!)
    sleep 1
fi
"$@"
