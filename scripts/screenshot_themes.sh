#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The main window with its Control menu open, once in Qt's own light palette and once in a dark
# one chosen the way a desktop user chooses it (qt6ct's "darker" colour scheme), then the
# contrast of each transport glyph against its button measured in the pictures.
#   scripts/screenshot_themes.sh [player] [folder]
# Writes docs/theme_light.png and docs/theme_dark.png and prints the contrast ratios.
set -euo pipefail
cd "$(dirname "$0")/.."
player=$(realpath "${1:-build/bin/vorela}")
out=${2:-docs}
for command in Xvfb jwm xdotool import convert; do
    command -v "$command" >/dev/null || { echo "missing $command (see scripts/packages.sh)" >&2; exit 1; }
done
[ -f /usr/share/qt6ct/colors/darker.conf ] || { echo "missing qt6ct (see scripts/packages.sh)" >&2; exit 1; }
source scripts/xvfb.sh
work=$(mktemp -d)
pid=
cleanup() {
    [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null
    stop_virtual_display
    rm -rf "$work"
}
trap cleanup EXIT
start_virtual_display

mkdir -p "$work/config/qt6ct"
cat >"$work/config/qt6ct/qt6ct.conf" <<CONF
[Appearance]
color_scheme_path=/usr/share/qt6ct/colors/darker.conf
custom_palette=true
style=Fusion
CONF

caption='VorelaMP3播放器-Tamsir绿色软件'
shoot() {  # shoot <name> [environment...]
    local name=$1 id geometry
    shift
    mkdir -p "$work/runtime-$name" && chmod 700 "$work/runtime-$name"
    env XDG_RUNTIME_DIR="$work/runtime-$name" XDG_CONFIG_HOME="$work/config" SDL_AUDIODRIVER=dummy \
        QT_QPA_PLATFORM=xcb "$@" "$player" >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "^$caption\$" 2>/dev/null | head -n 1) && [ -n "$id" ] && break
        sleep 0.1
    done
    xdotool windowactivate --sync "$id" >/dev/null 2>&1 || true
    sleep 0.5
    xdotool keydown alt+c; xdotool keyup alt+c
    sleep 0.8
    # The window and the menu that drops out of it, from the screen.
    eval "$(xdotool getwindowgeometry --shell "$id")"
    import -window root -crop "$((WIDTH + 40))x$((HEIGHT + 60))+$((X - 20))+$((Y - 50))" \
        "$out/theme_$name.png"
    # The client area alone, for the measurement.
    import -window "$id" "$work/client_$name.png"
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null || true
    pid=
    echo "wrote $out/theme_$name.png"
    /usr/bin/python3 scripts/glyph_contrast.py "$work/client_$name.png" "$name"
}
shoot light
shoot dark QT_QPA_PLATFORMTHEME=qt6ct
