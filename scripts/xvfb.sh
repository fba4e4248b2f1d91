#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A virtual display with a window manager that docks tray icons. Sourced by ./run and the
# screenshot script: start_virtual_display [jwm-config] sets DISPLAY; stop_virtual_display ends
# what was started. key WINDOW KEY... and window_named TITLE drive windows on it;
# start_player_in and open_first_folder_and_play drive the player there.
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

# A virtual display and a scratch folder ($work) for one script; when it exits, both go, and so
# does the player it started if it kept its pid in $pid.
start_display_session() {
    start_virtual_display
    work=$(mktemp -d)
    pid=
    trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; stop_virtual_display; rm -rf "$work"' EXIT
}

# key WINDOW KEY...: key presses through the X server's test extension to the window with the focus.
key() {
    xdotool windowactivate --sync "$1" 2>/dev/null || xdotool windowfocus --sync "$1"
    for k in "${@:2}"; do
        xdotool key --clearmodifiers "$k"
        sleep 0.4
    done
}
# window_named TITLE: the id of the visible window of that exact title, once it shows.
window_named() {
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -n 1) && [ -n "$id" ] &&
            { echo "$id"; return; }
        sleep 0.1
    done
    return 1
}

# start_player_in FOLDER LOCALE [LOCPATH]: the player ($player) started in FOLDER, so its dialogs
# open there, under LOCALE; sets player_pid and main (its main window, once shown).
start_player_in() {
    (cd "$1" && LOCPATH=${3:-} LC_ALL=$2 LANG=$2 XDG_RUNTIME_DIR=$1 SDL_AUDIODRIVER=dummy \
        QT_QPA_PLATFORM=xcb exec "$player") &
    player_pid=$!
    main=$(window_named 'VorelaMP3播放器-Tamsir绿色软件')
    sleep 1
}

# open_first_folder_and_play MAIN: 打开文件夹 from the name field back to the list, onto the first
# folder listed, into it, and choose it; then play the first row (the list has the focus after
# a click on it).
open_first_folder_and_play() {
    key "$1" ctrl+o
    local chooser
    chooser=$(window_named '请选择目录')
    key "$chooser" shift+Tab Down Return Tab Return
    xdotool mousemove --window "$1" 60 90 click 1 2>/dev/null
    sleep 0.3
    key "$1" Home Return
    sleep 1
}
