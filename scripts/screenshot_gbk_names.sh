#!/usr/bin/env bash
# Screenshots of GBK-named files under zh_CN.UTF-8, as archives from Chinese Windows systems
# bring them: the folder chosen and a track playing in the main window (docs/gbk_names_utf8.png),
# and the open-file dialog listing the folder (docs/file_dialog_zh.png). Driven by key presses.
# Needs the zh_CN.UTF-8 locale that the tests build (ctest -R gbk_locale.setup).
#   scripts/screenshot_gbk_names.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
locales=$build/tests/gbk_locale/locales
[ -f "$locales/zh_CN.UTF-8/LC_CTYPE" ] || tests/gbk_locale/make_gbk_locale.sh "$locales"
locales=$(cd "$locales" && pwd)
player=$PWD/$build/bin/vorela
root=$PWD
source scripts/xvfb.sh
start_virtual_display
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; stop_virtual_display; rm -rf "$work"' EXIT

music="$work/$(printf '\xd2\xf4\xc0\xd6')"  # 音乐
mkdir -p "$music"
for name in '\xb3\xc9\xb6\xbc' '\x9c\x5c\x87\x5c\xb8\xe8' '\xc3\xf7\xd4\xc2\xb9\xe2'; do
    ffmpeg -nostdin -v error -y -f lavfi -i sine=d=20 "$music/$(printf "$name").mp3"
done

start_player_in "$work" zh_CN.UTF-8 "$locales"
pid=$player_pid
open_first_folder_and_play "$main"
import -window "$main" -frame $root/docs/gbk_names_utf8.png
# 打开文件 lists the folder the folder command made current.
key "$main" ctrl+f
dialog=$(window_named '打开')
key "$dialog" shift+Tab Down Down
import -window "$dialog" -frame "$root/docs/file_dialog_zh.png"
key "$dialog" Escape
echo "wrote docs/gbk_names_utf8.png docs/file_dialog_zh.png"
