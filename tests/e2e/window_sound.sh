#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Dropping an MP3 on the real main window is heard: the window, offscreen, with its default
# output (SDL2 on the system's sound server), gets a generated 440 Hz stereo MP3 dropped on it,
# and plays it while a private PulseAudio null sink is recorded; sox checks the tone in both
# channels and its length.
#   tests/e2e/window_sound.sh PATH/TO/vorela_e2e_tool PATH/TO/vorela_e2e_window
# Exits 77 (skipped) when PulseAudio or sox is not installed.
set -euo pipefail
tool=${1:?usage: window_sound.sh PATH/TO/vorela_e2e_tool PATH/TO/vorela_e2e_window}
window=${2:?usage: window_sound.sh PATH/TO/vorela_e2e_tool PATH/TO/vorela_e2e_window}
source "$(dirname "$0")/pulse_sink.sh"
pulse_require
pulse_start
work=$pulse_work

"$tool" tone mp3 "$work/dropped.mp3" 440 2000
pulse_record "$work/cut.wav" env QT_QPA_PLATFORM=offscreen "$window" "$work/dropped.mp3" ||
    { echo "FAIL the window did not play the dropped file to its end and stop"; failed=1; }
check "dropped.mp3: length of the recorded tone, s" "v > 1.8 && v < 2.3" "$(pulse_stat "$work/cut.wav" 'Length' 1)"
for channel in 1 2; do
    check "dropped.mp3: channel $channel frequency, Hz" "v > 430 && v < 450" "$(pulse_stat "$work/cut.wav" 'Rough' $channel)"
    check "dropped.mp3: channel $channel RMS" "v > 0.25 && v < 0.45" "$(pulse_stat "$work/cut.wav" 'RMS.*amplitude' $channel)"
done

[ "$failed" = 0 ] && echo "dropped file heard: all checks passed"
exit "$failed"
