#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A desktop session for end-to-end checks of the real player, as a user's desktop runs it: a
# virtual display with a window manager that docks tray icons and binds the media keys to MPRIS
# (jwmrc), the accessibility bus, and the player on SDL's silent driver, all on a private
# session bus of their own:
#   session.sh <player> <repo-root> <client> [args...]
# The client (a Python script, run with the system's python3 for pyatspi) finds the player's
# pid in VORELA_PID and a scratch folder in VORELA_WORK; its exit status is the session's, 77
# when a tool is missing. With VORELA_CLIENT_STARTS_PLAYER=1 the client starts the player
# itself (VORELA_PLAYER), once it has set up what must be there first. With VORELA_DESKTOP=weston the desktop is a Wayland compositor
# instead (weston in a window of the virtual display), and the player runs on Wayland.
set -uo pipefail
if [ -z "${VORELA_PRIVATE_BUS:-}" ]; then
    command -v dbus-run-session >/dev/null 2>&1 || { echo "skipped: dbus-run-session is missing"; exit 77; }
    VORELA_PRIVATE_BUS=1 exec dbus-run-session -- "$0" "$@"
fi
player=$1
root=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)

desktop=${VORELA_DESKTOP:-jwm}
for tool in Xvfb "$desktop" playerctl xdotool /usr/libexec/at-spi-bus-launcher; do
    command -v "$tool" >/dev/null 2>&1 || { echo "skipped: $tool is missing"; exit 77; }
done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "skipped: pyatspi is missing"; exit 77; }

work=$(mktemp -d)
export VORELA_WORK=$work
export XDG_RUNTIME_DIR=$work/runtime HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
mkdir -p "$XDG_RUNTIME_DIR" "$HOME" && chmod 700 "$XDG_RUNTIME_DIR"
source "$root/scripts/xvfb.sh"
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    sleep 0.3
    for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null && wait "$p" 2>/dev/null; done
    stop_virtual_display
    rm -rf "$work"
}
trap cleanup EXIT

platform=xcb
if [ "$desktop" = weston ]; then
    ls /usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so >/dev/null 2>&1 ||
        { echo "skipped: Qt's Wayland platform (qt6-wayland) is missing"; exit 77; }
    start_xvfb
    weston --backend=x11-backend.so --socket=vorela-wayland --idle-time=0 >"$work/weston.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/vorela-wayland" ] && break; sleep 0.1; done
    export WAYLAND_DISPLAY=vorela-wayland
    platform=wayland
else
    start_virtual_display "$here/jwmrc"
fi
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/a11y-bus.log" 2>&1 &
pids+=($!)
sleep 0.5
export QT_QPA_PLATFORM=$platform SDL_AUDIODRIVER=dummy
if [ -n "${VORELA_CLIENT_STARTS_PLAYER:-}" ]; then
    export VORELA_PLAYER=$player
    : >"$work/player.log"
else
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 "$player" >"$work/player.log" 2>&1 &
    export VORELA_PID=$!
    pids=("$VORELA_PID" "${pids[@]}")
fi

PYTHONPATH="$here${PYTHONPATH:+:$PYTHONPATH}" /usr/bin/python3 "$@"
status=$?
if [ "$status" -ne 0 ]; then
    echo "--- player output"
    cat "$work/player.log"
fi
exit "$status"
