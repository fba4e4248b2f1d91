#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Demo: the real player plays a list through by itself. On a virtual display, with SDL's silent
# dummy driver (which keeps real time), the player loads an M3U file of three generated
# 3-second tones through the File menu's playlist command (Ctrl+P, the path typed into the file
# dialog), starts the first row with a double click, and plays on until it stops after the
# third. Screenshots: docs/playing.png during the second track, docs/stopped.png after the stop.
#   scripts/demo_play_list.sh [player] [folder for the screenshots]
# Which track plays is read from the files the player holds open (/proc/PID/fd); the stop is
# seen as the change of the status bar's first panel once the last track has started.
set -euo pipefail
cd "$(dirname "$0")/.."
player=$(realpath "${1:-build/bin/vorela}")
out=${2:-docs}
for command in Xvfb jwm xdotool import sox md5sum; do
    command -v "$command" >/dev/null || { echo "missing $command (see scripts/packages.sh)" >&2; exit 1; }
done
[ -x "$player" ] || { echo "no player at $player: build it first" >&2; exit 1; }

source scripts/xvfb.sh
work=$(mktemp -d)
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    stop_virtual_display
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    if [ -n "${id:-}" ]; then
        import -window "$id" -frame "$out/demo_failed.png" 2>/dev/null &&
            echo "the window as it was: $out/demo_failed.png" >&2
    fi
    exit 1
}
# wait_for SECONDS COMMAND...: polls until COMMAND succeeds; fails after SECONDS.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        kill -0 "$pid" 2>/dev/null || fail "the player has ended"
        sleep 0.1
    done
}
# The player has this track open (the device keeps the current file open).
holds() { ls -l "/proc/$pid/fd" 2>/dev/null | grep -qF -- "-> $work/$1"; }
window_named() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
# A fingerprint of the status bar's first panel (the bottom 19 pixels, the first 270 across).
panel0() { import -window "$id" -crop "270x19+0+$((HEIGHT - 19))" +repage rgb:- 2>/dev/null | md5sum; }
shot() { import -window "$id" -frame "$1" 2>/dev/null || import -window "$id" "$1"; }

# Three tones, listed out of order: the list sorts its rows by file name.
for tone in a:330 b:440 c:550; do
    sox -n -r 44100 -c 2 "$work/${tone%%:*}.wav" synth 3 sine "${tone##*:}" gain -6
done
printf '%s\r\n' "$work/c.wav" "$work/a.wav" "$work/b.wav" >"$work/list.m3u"

start_virtual_display
mkdir -p "$work/runtime" "$out"
XDG_RUNTIME_DIR=$work/runtime SDL_AUDIODRIVER=dummy QT_QPA_PLATFORM=xcb "$player" \
    >"$work/player.log" 2>&1 &
pid=$!
caption='VorelaMP3播放器-Tamsir绿色软件'
id=
find_main() { id=$(window_named "^$caption\$") && [ -n "$id" ]; }
wait_for 20 find_main || fail "the main window did not appear"
eval "$(xdotool getwindowgeometry --shell "$id")"  # WIDTH, HEIGHT of the client area
menu_bar=$((HEIGHT - 344))                         # the client below the menu bar is 344 high
echo "main window $id, ${WIDTH}x${HEIGHT}"

# File > Open playlist (Ctrl+P): Qt's file dialog, the file name field has the focus.
xdotool windowactivate --sync "$id"
xdotool key --clearmodifiers ctrl+p
dialog=
find_dialog() { dialog=$(window_named '^Open$') && [ -n "$dialog" ]; }
wait_for 10 find_dialog || fail "Ctrl+P opened no file dialog"
xdotool windowactivate --sync "$dialog"
sleep 0.3
xdotool type --delay 20 "$work/list.m3u"
xdotool key Return
dialog_gone() { [ -z "$(window_named '^Open$')" ]; }
if ! wait_for 3 dialog_gone; then
    # The name field's completer may have taken the first Return.
    xdotool key Return
    wait_for 5 dialog_gone || fail "the file dialog did not take the typed path"
fi
echo "playlist loaded"

# A double click on the first row (a.wav): below the menu bar, the list's top at 24, its
# frame, the header (17) and half a row (17).
xdotool windowactivate --sync "$id"
xdotool mousemove --window "$id" 48 $((menu_bar + 24 + 1 + 17 + 8)) click --repeat 2 --delay 80 1
wait_for 5 holds a.wav || fail "the double click on the first row started nothing"
echo "playing a.wav"
wait_for 10 holds b.wav || fail "b.wav did not follow a.wav"
echo "playing b.wav"
sleep 1.5  # into the middle of the 3-second track
holds b.wav || fail "b.wav ended early"
shot "$out/playing.png"
echo "wrote $out/playing.png"
wait_for 10 holds c.wav || fail "c.wav did not follow b.wav"
echo "playing c.wav"
sleep 0.5
playing_text=$(panel0)
changed() { [ "$(panel0)" != "$playing_text" ]; }
wait_for 15 changed || fail "the status text did not change after the last track"
sleep 0.5
holds c.wav || fail "another track started after c.wav"
shot "$out/stopped.png"
echo "wrote $out/stopped.png"
