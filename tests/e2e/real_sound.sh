#!/usr/bin/env bash
# Real sound: a private PulseAudio server with a null sink; generated 440 Hz stereo WAV and MP3
# files are played through the device while the sink's monitor is recorded, and sox checks
# that the tone arrives at about 440 Hz in both channels, and that with the left channel only
# the right one is silent.
#   tests/e2e/real_sound.sh PATH/TO/vorela_e2e_tool
# Exits 77 (skipped) when PulseAudio or sox is not installed.
set -euo pipefail
tool=${1:?usage: real_sound.sh PATH/TO/vorela_e2e_tool}
for command in pulseaudio pactl parec sox; do
    command -v "$command" >/dev/null || { echo "skipped: $command is not installed"; exit 77; }
done

work=$(mktemp -d)
server=
recorder=
cleanup() {
    [ -n "$recorder" ] && kill "$recorder" 2>/dev/null || true
    [ -n "$server" ] && kill "$server" 2>/dev/null || true
    [ -n "$server" ] && wait "$server" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A server of our own, on our own socket, so that nothing else on the machine is touched.
mkdir -p "$work/home" "$work/runtime"
export HOME=$work/home XDG_RUNTIME_DIR=$work/runtime PULSE_RUNTIME_PATH=$work/runtime
export PULSE_SERVER=unix:$work/native
unset SDL_AUDIODRIVER
pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
    --disable-shm=yes --log-target=file:"$work/pulse.log" \
    -L "module-native-protocol-unix socket=$work/native auth-anonymous=1" \
    -L "module-null-sink sink_name=vsink norewinds=1" \
    -L "module-always-sink" >/dev/null 2>&1 &
server=$!
for _ in $(seq 100); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.1
done
pactl info >/dev/null || { echo "FAIL: the PulseAudio server did not start"; cat "$work/pulse.log"; exit 1; }
pactl set-default-sink vsink

"$tool" tone wav "$work/tone.wav" 440 2000
"$tool" tone mp3 "$work/tone.mp3" 440 2000

# Plays $1 with the packed volume $2 and leaves the recording, stripped of the silence around
# the tone, in $work/cut.wav.
record() {
    rm -f "$work/rec.wav" "$work/cut.wav"
    parec -d vsink.monitor --rate=44100 --channels=2 --format=s16le --file-format=wav \
        "$work/rec.wav" &
    recorder=$!
    sleep 0.3
    "$tool" play "$1" "$2"
    sleep 0.3
    kill "$recorder"
    wait "$recorder" 2>/dev/null || true
    recorder=
    sox "$work/rec.wav" "$work/cut.wav" silence 1 0.01 0.5% reverse silence 1 0.01 0.5% reverse
}
# stat VALUE-NAME CHANNEL: one figure of `sox stat` for one channel of the cut recording.
stat() {
    sox "$work/cut.wav" -n remix "$2" stat 2>&1 | awk -F: -v name="$1" '$1 ~ name { gsub(/ /, "", $2); print $2 }'
}
check() {  # check DESCRIPTION AWK-CONDITION VALUE
    if awk -v v="$3" "BEGIN { exit !($2) }"; then
        echo "ok   $1 ($3)"
    else
        echo "FAIL $1 ($3)"
        failed=1
    fi
}

failed=0
for file in tone.wav tone.mp3; do
    record "$work/$file" 0xFFFFFFFF
    check "$file: length of the recorded tone, s" "v > 1.8 && v < 2.3" "$(stat 'Length' 1)"
    for channel in 1 2; do
        check "$file: channel $channel frequency, Hz" "v > 430 && v < 450" "$(stat 'Rough' $channel)"
        check "$file: channel $channel RMS" "v > 0.25 && v < 0.45" "$(stat 'RMS.*amplitude' $channel)"
    done
done

record "$work/tone.wav" 0x0000FFFF
check "left only: left channel frequency, Hz" "v > 430 && v < 450" "$(stat 'Rough' 1)"
check "left only: left channel RMS" "v > 0.25" "$(stat 'RMS.*amplitude' 1)"
check "left only: right channel RMS" "v < 0.001" "$(stat 'RMS.*amplitude' 2)"
check "left only: right channel maximum" "v < 0.001" "$(stat 'Maximum.*amplitude' 2)"

[ "$failed" = 0 ] && echo "real sound: all checks passed"
exit "$failed"
