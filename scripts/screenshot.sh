#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes a screenshot of the player's main window on a virtual display.
#   scripts/screenshot.sh [player] [output.png]
set -euo pipefail
cd "$(dirname "$0")/.."
player=${1:-build/bin/vorela}
out=${2:-docs/main_window.png}
source scripts/xvfb.sh
start_virtual_display
runtime=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null; stop_virtual_display; rm -rf "$runtime"' EXIT
XDG_RUNTIME_DIR=$runtime SDL_AUDIODRIVER=dummy QT_QPA_PLATFORM=xcb "$player" &
pid=$!
caption='VorelaMP3播放器-Tamsir绿色软件'
for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "^$caption\$" 2>/dev/null | head -n 1) && [ -n "$id" ] && break
    sleep 0.1
done
sleep 1
mkdir -p "$(dirname "$out")"
import -window "$id" -frame "$out" 2>/dev/null || import -window "$id" "$out"
echo "wrote $out"
