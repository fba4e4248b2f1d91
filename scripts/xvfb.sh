#!/usr/bin/env bash
# A virtual display with a window manager that docks tray icons. Sourced by ./run and the
# screenshot script: start_virtual_display [jwm-config] sets DISPLAY; stop_virtual_display ends
# both.
start_virtual_display() {
    local config=${1:-}
    local n
    for n in $(seq 90 130); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
    done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    VORELA_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do
        [ -e "/tmp/.X11-unix/X$n" ] && break
        sleep 0.1
    done
    jwm ${config:+-f "$config"} >/dev/null 2>&1 &
    VORELA_WM_PID=$!
    sleep 0.5
}

stop_virtual_display() {
    [ -n "${VORELA_WM_PID:-}" ] && kill "$VORELA_WM_PID" 2>/dev/null
    [ -n "${VORELA_XVFB_PID:-}" ] && kill "$VORELA_XVFB_PID" 2>/dev/null
    VORELA_WM_PID= VORELA_XVFB_PID=
    return 0
}
