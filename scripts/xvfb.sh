#!/usr/bin/env bash
# A virtual display with a window manager that docks tray icons. Sourced by ./run and the
# screenshot script: start_virtual_display [jwm-config] sets DISPLAY; stop_virtual_display ends
# what was started.
# start_xvfb [WxHxD]: the server alone, for checks that want no window manager.
start_xvfb() {
    # The server picks a free display itself and writes its number once it accepts clients: two
    # sessions started at the same moment never share one.
    local number_file n=
    number_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 "${1:-1024x768x24}" -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
    VORELA_XVFB_PID=$!
    for _ in $(seq 100); do
        n=$(head -n 1 "$number_file" 2>/dev/null)
        [ -n "$n" ] && break
        sleep 0.1
    done
    rm -f "$number_file"
    export DISPLAY=":$n"
}

start_virtual_display() {
    local config=${1:-}
    start_xvfb
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
