#!/usr/bin/env bash
# The one list of Debian packages the project needs to build, test, run and look at itself.
# Sourced by ./run and ./test; `ensure_packages` installs what is missing.
VORELA_PACKAGES=(
    # build
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-qpa-plugins
    libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
    libsdl2-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    # running on a headless box, and screenshots of it
    xvfb xauth jwm fonts-wqy-microhei x11-utils xdotool imagemagick
    # checking real sound
    pulseaudio pulseaudio-utils sox
    # the reference tool of the decoding benchmark (bench/playback)
    ffmpeg
    # fuzz/run: clang with libFuzzer and the sanitizer runtimes
    clang libclang-rt-14-dev
)

ensure_packages() {
    local missing=()
    local p
    for p in "${VORELA_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages. Install them with:" >&2
        echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
        return 1
    fi
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
