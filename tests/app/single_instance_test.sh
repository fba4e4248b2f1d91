#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Start-up with real processes on a virtual display: one instance per user, the refusal boxes
# (after which the running instance shows its window again, over a private session bus), and a
# start after the first instance was killed.
#   single_instance_test.sh <path-to-vorela> <repo-root>
set -uo pipefail
if [ -z "${VORELA_PRIVATE_BUS:-}" ] && command -v dbus-run-session >/dev/null 2>&1; then
    VORELA_PRIVATE_BUS=1 exec dbus-run-session -- "$0" "$@"
fi
player=$1
root=$2
source "$root/scripts/xvfb.sh"
start_virtual_display
runtime=$(mktemp -d)
export XDG_RUNTIME_DIR=$runtime QT_QPA_PLATFORM=xcb SDL_AUDIODRIVER=dummy
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; done
    stop_virtual_display
    rm -rf "$runtime"
}
trap cleanup EXIT

source "$root/tests/support/check.sh"

main_caption='VorelaMP3播放器-Tamsir绿色软件'
windows_named() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | wc -l; }
wait_for_window() {  # wait_for_window <caption> -> 0 when it shows within 30 s
    for _ in $(seq 300); do
        [ "$(windows_named "$1")" -ge 1 ] && return 0
        sleep 0.1
    done
    return 1
}
running() { kill -0 "$1" 2>/dev/null; }
# Answers the box captioned $1 with Return and waits for process $2 to end; prints its status.
answer_box_and_wait() {
    local id
    id=$(xdotool search --onlyvisible --name "^$1\$" | head -n 1)
    xdotool windowactivate --sync "$id" >/dev/null 2>&1 || xdotool windowfocus --sync "$id" >/dev/null 2>&1
    # Press and release as two commands: a single "key" aborts on the vanished window between
    # the two and leaves Return held down, which auto-repeats into the next box.
    xdotool keydown Return
    xdotool keyup Return
    for _ in $(seq 100); do
        running "$2" || break
        sleep 0.1
    done
    wait "$2"
}

"$player" &
first=$!
pids+=("$first")
check "the first instance shows its main window" wait_for_window "$main_caption"
xdotool windowminimize --sync "$(xdotool search --onlyvisible --name "^$main_caption\$" | head -n 1)"

"$player" &
second=$!
pids+=("$second")
check "a second start shows the box captioned OK" wait_for_window OK
check "the second start creates no main window" test "$(windows_named "$main_caption")" -eq 0
answer_box_and_wait OK "$second"
check "the second start exits 0 after the box" test $? -eq 0
check "the first instance keeps running" running "$first"
if [ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
    check "and shows its minimised window again" wait_for_window "$main_caption"
fi

kill -9 "$first"
wait "$first" 2>/dev/null
for _ in $(seq 50); do [ "$(windows_named "$main_caption")" -eq 0 ] && break; sleep 0.1; done
"$player" &
third=$!
pids+=("$third")
check "after the first was killed a start runs normally" wait_for_window "$main_caption"
check "and shows no refusal box" test "$(windows_named OK)" -eq 0
kill "$third"
wait "$third" 2>/dev/null

# The marker cannot be made at all: the failure box captioned Error, and no window.
XDG_RUNTIME_DIR=$runtime/missing/dir "$player" &
fourth=$!
pids+=("$fourth")
check "an unusable marker shows the box captioned Error" wait_for_window Error
check "and creates no main window" test "$(windows_named "$main_caption")" -eq 0
answer_box_and_wait Error "$fourth"
check "and exits 0" test $? -eq 0

summary
