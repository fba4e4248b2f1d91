#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Screenshots of a folder of names from older systems (a GBK folder holding Latin-1, Big5, GBK,
# Shift JIS and UTF-8 names) in the playlist, under zh_CN.UTF-8 and zh_TW.UTF-8, a track
# playing: docs/legacy_names_zh_CN.png and docs/legacy_names_zh_TW.png. Driven by key presses;
# builds the two locales into the build tree (LOCPATH) where the system lacks them.
#   scripts/screenshot_legacy_names.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
locales=$build/tests/gbk_locale/locales
mkdir -p "$locales"
locales=$(cd "$locales" && pwd)
for l in zh_CN zh_TW; do
    [ -f "$locales/$l.UTF-8/LC_CTYPE" ] || localedef -c -i $l -f UTF-8 "$locales/$l.UTF-8" || true
done
player=$PWD/$build/bin/vorela
root=$PWD
source scripts/xvfb.sh
start_display_session

music="$work/$(printf '音乐' | iconv -t GBK)"
mkdir -p "$music"
while IFS=: read -r codepage name; do
    ffmpeg -nostdin -v error -y -f lavfi -i sine=d=20 \
        "$music/$(printf '%s' "$name" | iconv -t "$codepage")"
done <<'NAMES'
CP1252:Motörhead - Ace of Spades.mp3
CP1252:Björk - Jóga.mp3
CP950:鄧麗君 - 月亮代表我的心.mp3
GBK:周杰伦 - 稻香.mp3
CP932:スピッツ - ロビンソン.mp3
UTF-8:陈奕迅 - 十年.mp3
NAMES

for locale in zh_CN zh_TW; do
    start_player_in "$work" $locale.UTF-8 "$locales"
    pid=$player_pid
    open_first_folder_and_play "$main"
    import -window "$main" -frame "$root/docs/legacy_names_$locale.png"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    pid=
done
echo "wrote docs/legacy_names_zh_CN.png docs/legacy_names_zh_TW.png"
