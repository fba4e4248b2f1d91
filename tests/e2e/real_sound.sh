#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Real sound: a private PulseAudio server with a null sink; generated 440 Hz stereo WAV and MP3
# files are played through the device while the sink's monitor is recorded, and sox checks
# that the tone arrives at about 440 Hz in both channels, and that with the left channel only
# the right one is silent.
#   tests/e2e/real_sound.sh PATH/TO/vorela_e2e_tool
# Exits 77 (skipped) when PulseAudio or sox is not installed.
set -euo pipefail
tool=${1:?usage: real_sound.sh PATH/TO/vorela_e2e_tool}
source "$(dirname "$0")/pulse_sink.sh"
pulse_require
pulse_start
work=$pulse_work

"$tool" tone wav "$work/tone.wav" 440 2000
"$tool" tone mp3 "$work/tone.mp3" 440 2000

for file in tone.wav tone.mp3; do
    pulse_record "$work/cut.wav" "$tool" play "$work/$file" 0xFFFFFFFF
    check "$file: length of the recorded tone, s" "v > 1.8 && v < 2.3" "$(pulse_stat "$work/cut.wav" 'Length' 1)"
    for channel in 1 2; do
        check "$file: channel $channel frequency, Hz" "v > 430 && v < 450" "$(pulse_stat "$work/cut.wav" 'Rough' $channel)"
        check "$file: channel $channel RMS" "v > 0.25 && v < 0.45" "$(pulse_stat "$work/cut.wav" 'RMS.*amplitude' $channel)"
    done
done

pulse_record "$work/cut.wav" "$tool" play "$work/tone.wav" 0x0000FFFF
check "left only: left channel frequency, Hz" "v > 430 && v < 450" "$(pulse_stat "$work/cut.wav" 'Rough' 1)"
check "left only: left channel RMS" "v > 0.25" "$(pulse_stat "$work/cut.wav" 'RMS.*amplitude' 1)"
check "left only: right channel RMS" "v < 0.001" "$(pulse_stat "$work/cut.wav" 'RMS.*amplitude' 2)"
check "left only: right channel maximum" "v < 0.001" "$(pulse_stat "$work/cut.wav" 'Maximum.*amplitude' 2)"

[ "$failed" = 0 ] && echo "real sound: all checks passed"
exit "$failed"
