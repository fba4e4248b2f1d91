#!/usr/bin/env bash
# The lyrics window's fades reach an X server step by step: runs vorela_fade_steps on a private
# Xvfb. Exits 77 (skipped) when Xvfb is not installed.
#   tests/lyrics/fade_steps.sh PATH/TO/vorela_fade_steps
set -euo pipefail
tool=${1:?usage: fade_steps.sh PATH/TO/vorela_fade_steps}
command -v Xvfb >/dev/null || { echo "Xvfb is not installed"; exit 77; }
for n in $(seq 140 180); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
done
Xvfb ":$n" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null' EXIT
for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    sleep 0.1
done
DISPLAY=":$n" QT_QPA_PLATFORM=xcb "$tool"
