#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the seed corpus of tag_decoding_fuzz into DIR: short MP3 and WMA files tagged by
# ffmpeg, id3v2 and eyeD3 in every text encoding they offer, with GBK, UTF-8 and Latin-1 text.
# fuzz/run calls it with the target's corpus folder.
#   fuzz/seeds/tag_decoding_fuzz.sh DIR
set -euo pipefail
dir=${1:?usage: tag_decoding_fuzz.sh DIR}
mkdir -p "$dir"
gbk_title=$(printf '\xb3\xc9\xb6\xbc')
gbk_artist=$(printf '\xb8\xe8\xca\xd6')

plain() { ffmpeg -nostdin -v error -y -f lavfi -i sine=d=0.1 -id3v2_version 0 "$dir/$1"; }
tagged() {
    local name=$1
    shift
    ffmpeg -nostdin -v error -y -f lavfi -i sine=d=0.1 -metadata title=成都 \
        -metadata artist=歌手 -metadata album=专辑 "$@" "$dir/$name"
}

tagged v24.mp3
tagged v23.mp3 -id3v2_version 3
tagged short.wma -c:a wmav2
plain v1.mp3 && id3v2 -1 -t "$gbk_title" -a "$gbk_artist" "$dir/v1.mp3"
plain v23_latin1.mp3 && id3v2 -2 -t "$gbk_title" -a "$gbk_artist" "$dir/v23_latin1.mp3"
if command -v eyeD3 >/dev/null; then
    for encoding in utf16 utf8; do
        plain "eyed3_$encoding.mp3"
        LC_ALL=C.UTF-8 eyeD3 -Q --encoding $encoding -t 成都 -a 歌手 -A 专辑 \
            "$dir/eyed3_$encoding.mp3" >/dev/null
    done
    plain eyed3_v23.mp3
    LC_ALL=C.UTF-8 eyeD3 -Q --to-v2.3 --encoding utf16 -t Café "$dir/eyed3_v23.mp3" >/dev/null
fi
printf 'caf\xc3\xa9 \xc2\xb3\xc3\x89' >"$dir/text_latin1_read"
ls -l "$dir" | tail -n +2 | awk '{ total += $5 } END { print NR " seeds, " total " bytes" }'
