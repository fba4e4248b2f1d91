#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The one list of Debian packages the project needs to build, test, run and look at itself.
# Sourced by ./run and ./test; `ensure_packages` installs what is missing.
VORELA_PACKAGES=(
    # build
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-qpa-plugins
    # Qt's own dialogs and buttons in the user's language
    qt6-translations-l10n
    # the zh_CN locale sources that the GBK tests build a zh_CN.GBK locale from (localedef)
    locales
    libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
    # MPEG audio by libmpg123, resampled by libsoxr
    libmpg123-dev libsoxr-dev
    libsdl2-dev libpulse-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    # the fade check watches the lyrics window's opacity on an X server of its own
    libx11-dev
    # running on a headless box, and screenshots of it
    xvfb xauth jwm fonts-wqy-microhei x11-utils xdotool imagemagick
    # checking real sound
    pulseaudio pulseaudio-utils sox
    # desktop integration: the media-player interface on a private session bus, the
    # accessibility tree as a screen reader reads it, the desktop entry and AppStream metadata
    dbus playerctl at-spi2-core python3-pyatspi gir1.2-atspi-2.0 python3-gi
    desktop-file-utils appstream
    # the Debian package (scripts/package.sh): dpkg-shlibdeps and dpkg-gencontrol, and its check
    dpkg-dev lintian
    # the player on a Wayland compositor of its own
    weston qt6-wayland
    # a user's own Qt palette (light and dark screenshots, the contrast check)
    qt6ct
    # the reference tools of the playback benchmarks (bench/playback), and the X client library
    # the start-up benchmark watches the display with (bench/app)
    ffmpeg mpg123 libxcb1-dev
    # tags written by the tag editors users have, for the tag tests
    id3v2 eyed3
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
