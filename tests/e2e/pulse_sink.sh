#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the real-sound checks: a private PulseAudio server with a null sink, recordings of
# what was played into it, and sox's figures for them. Nothing else on the machine is touched:
# the server runs on its own socket under a scratch folder, and the clients started after
# pulse_start (SDL among them) find it through the exported PULSE_SERVER.
#
#   pulse_require                    exits 77 (skipped) when PulseAudio or sox is missing
#   pulse_start                      makes $pulse_work and starts the server; EXIT trap cleans up
#   pulse_record CUT.wav COMMAND...  records the sink while COMMAND runs, then leaves the
#                                    recording without the silence around it in CUT.wav
#   pulse_stat CUT.wav NAME CHANNEL  one figure of `sox stat` (NAME is a regex) for one channel
#   check DESCRIPTION AWK-CONDITION VALUE   prints ok/FAIL; a failure sets failed=1

pulse_require() {
    local command
    for command in pulseaudio pactl parec sox; do
        command -v "$command" >/dev/null || { echo "skipped: $command is not installed"; exit 77; }
    done
}

pulse_server=
pulse_recorder=
pulse_work=
failed=0

pulse_cleanup() {
    [ -n "$pulse_recorder" ] && kill "$pulse_recorder" 2>/dev/null || true
    [ -n "$pulse_server" ] && kill "$pulse_server" 2>/dev/null || true
    [ -n "$pulse_server" ] && wait "$pulse_server" 2>/dev/null || true
    [ -n "$pulse_work" ] && rm -rf "$pulse_work"
    return 0
}

pulse_start() {
    pulse_work=$(mktemp -d)
    trap pulse_cleanup EXIT
    mkdir -p "$pulse_work/home" "$pulse_work/runtime"
    export HOME=$pulse_work/home XDG_RUNTIME_DIR=$pulse_work/runtime
    export PULSE_RUNTIME_PATH=$pulse_work/runtime PULSE_SERVER=unix:$pulse_work/native
    unset SDL_AUDIODRIVER
    # norewinds=1: without it the first buffer of a new stream stalls for about 2 s.
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
        --disable-shm=yes --log-target=file:"$pulse_work/pulse.log" \
        -L "module-native-protocol-unix socket=$pulse_work/native auth-anonymous=1" \
        -L "module-null-sink sink_name=vsink norewinds=1" \
        -L "module-always-sink" >/dev/null 2>&1 &
    pulse_server=$!
    local _
    for _ in $(seq 100); do
        pactl info >/dev/null 2>&1 && break
        sleep 0.1
    done
    if ! pactl info >/dev/null 2>&1; then
        echo "FAIL: the PulseAudio server did not start"
        cat "$pulse_work/pulse.log"
        exit 1
    fi
    pactl set-default-sink vsink
}

pulse_record() {
    local cut=$1
    shift
    local raw=$pulse_work/rec.wav status=0
    rm -f "$raw" "$cut"
    parec -d vsink.monitor --rate=44100 --channels=2 --format=s16le --file-format=wav "$raw" &
    pulse_recorder=$!
    sleep 0.3
    "$@" || status=$?
    sleep 0.3
    kill "$pulse_recorder"
    wait "$pulse_recorder" 2>/dev/null || true
    pulse_recorder=
    sox "$raw" "$cut" silence 1 0.01 0.5% reverse silence 1 0.01 0.5% reverse
    return "$status"
}

pulse_stat() {
    sox "$1" -n remix "$3" stat 2>&1 |
        awk -F: -v name="$2" '$1 ~ name { gsub(/ /, "", $2); print $2 }'
}

check() {
    if awk -v v="$3" "BEGIN { exit !($2) }"; then
        echo "ok   $1 ($3)"
    else
        echo "FAIL $1 ($3)"
        failed=1
    fi
}
