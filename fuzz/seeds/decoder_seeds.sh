#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the seed corpus of the decoder fuzz targets (mp3_, wav_ and ffmpeg_decoder_fuzz, whose
# seed scripts link here) into DIR: short tones in every format the player takes, joined and
# cut ones, and odd WAV formats, made with ffmpeg (a few kilobytes each). fuzz/run calls it with
# the target's corpus folder.
#   fuzz/seeds/decoder_seeds.sh DIR
set -euo pipefail
dir=${1:?usage: decoder_seeds.sh DIR}
mkdir -p "$dir"

# tone NAME SECONDS RATE CHANNELS [encoder options...]
tone() {
    local name=$1 seconds=$2 rate=$3 channels=$4
    shift 4
    ffmpeg -nostdin -v error -y -f lavfi -i "sine=frequency=440:duration=$seconds:sample_rate=$rate" \
        -ac "$channels" "$@" "$dir/$name"
}

tone cbr.mp3 0.3 44100 2 -c:a libmp3lame -b:a 64k -id3v2_version 0
tone mono22.mp3 0.3 22050 1 -c:a libmp3lame -b:a 32k -id3v2_version 0
tone vbr.mp3 0.3 48000 2 -c:a libmp3lame -q:a 4 -id3v2_version 0
tone no_xing.mp3 0.3 44100 1 -c:a libmp3lame -q:a 6 -write_xing 0 -id3v2_version 0
tone tagged.mp3 0.2 32000 2 -c:a libmp3lame -b:a 48k -metadata title=seed
tone low8k.mp3 0.3 8000 1 -c:a libmp3lame -b:a 8k -id3v2_version 0
tone short.wma 0.2 22050 1 -c:a wmav2 -b:a 32k
tone s16.wav 0.05 8000 2 -c:a pcm_s16le
tone u8.wav 0.1 8000 1 -c:a pcm_u8
tone f32.wav 0.02 48000 2 -c:a pcm_f32le
tone six.wav 0.02 8000 6 -c:a pcm_s16le
tone adpcm.wav 0.1 8000 1 -c:a adpcm_ms
tone alaw.wav 0.1 8000 1 -c:a pcm_alaw
tone s24.wav 0.02 44100 2 -c:a pcm_s24le
tone mp2.mp2 0.3 44100 2 -c:a mp2 -b:a 64k
tone short.flac 0.1 8000 1 -c:a flac

cat "$dir/cbr.mp3" "$dir/mono22.mp3" >"$dir/joined.mp3"
cat "$dir/cbr.mp3" "$dir/cbr.mp3" >"$dir/joined_same.mp3"
head -c 600 "$dir/vbr.mp3" >"$dir/cut.mp3"
# A last byte of 0xF6 or 0xF7 makes the targets put 600 MB or 2 GB of zero bytes behind the
# input (a sparse file), as a download client's preallocation leaves them.
for seed in cbr.mp3 no_xing.mp3 short.wma s16.wav; do
    { cat "$dir/$seed"; printf '\xf6'; } >"$dir/tail600_$seed"
    { cat "$dir/$seed"; printf '\xf7'; } >"$dir/tail2g_$seed"
done
head -c 3000 "$dir/short.wma" >"$dir/cut.wma"
ls -l "$dir" | tail -n +2 | awk '{ total += $5 } END { print NR " seeds, " total " bytes" }'
