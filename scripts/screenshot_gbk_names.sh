#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
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
start_display_session

music="$work/$(printf '\xd2\xf4\xc0\xd6')"  # 音乐
mkdir -p "$music"
for name in '\xb3\xc9\xb6\xbc' '\x9c\x5c\x87\x5c\xb8\xe8' '\xc3\xf7\xd4\xc2\xb9\xe2'; do
    ffmpeg -nostdin -v error -y -f lavfi -i sine=d=20 "$music/$(printf "$name").mp3"
done

# The work folder is the user's home too: its desktop, downloads and music (the GBK 音乐) are
# the user's folders that the file dialog's places list.
mkdir -p "$work/.config" "$work/桌面" "$work/下载"
printf 'XDG_DESKTOP_DIR="$HOME/桌面"\nXDG_DOWNLOAD_DIR="$HOME/下载"\nXDG_MUSIC_DIR="%s"\n' \
    "$music" >"$work/.config/user-dirs.dirs"

# The player starts in the work folder, so the dialogs open there.
(cd "$work" && HOME=$work XDG_CONFIG_HOME= LOCPATH=$locales LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8 XDG_RUNTIME_DIR=$work \
    SDL_AUDIODRIVER=dummy QT_QPA_PLATFORM=xcb exec "$player") &
pid=$!
main=$(window_named 'VorelaMP3播放器-Tamsir绿色软件')
sleep 1
# 打开文件夹: from the name field back past the list to the places, down to 音乐 (after 主目录, 桌面
# and 下载), into it, then forward to the name field and choose it.
key "$main" ctrl+o
chooser=$(window_named '请选择目录')
key "$chooser" shift+Tab shift+Tab Home Down Down Down Return Tab Tab Return
# Play the first row: the list has the focus after a click on it.
xdotool mousemove --window "$main" 60 90 click 1 2>/dev/null
sleep 0.3
key "$main" Home Return
sleep 1
import -window "$main" -frame $root/docs/gbk_names_utf8.png
# 打开文件 lists the folder the folder command made current.
key "$main" ctrl+f
dialog=$(window_named '打开')
key "$dialog" shift+Tab Down Down
import -window "$dialog" -frame "$root/docs/file_dialog_zh.png"
key "$dialog" Escape
echo "wrote docs/gbk_names_utf8.png docs/file_dialog_zh.png"
