// SPDX-License-Identifier: GPL-3.0-or-later
// A small command-line driver for the real-sound check:
//   vorela_e2e_tool tone wav|mp3|wma PATH FREQUENCY_HZ DURATION_MS
//   vorela_e2e_tool play PATH [PACKED_VOLUME]   (hex, e.g. 0x0000FFFF for the left channel only)
// `play` plays the file through MediaPlayer on the system's audio output and exits 0 when the
// track has ended normally.
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "audio_fixtures.h"
#include "playback/media_player.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: vorela_e2e_tool tone wav|mp3|wma PATH HZ MS\n"
                 "       vorela_e2e_tool play PATH [PACKED_VOLUME]\n");
    return 2;
}

int tone(int argc, char** argv) {
    if (argc != 6) return usage();
    const std::string kind = argv[2];
    const fixtures::Format format = kind == "mp3"   ? fixtures::Format::Mp3
                                    : kind == "wma" ? fixtures::Format::Wma
                                                    : fixtures::Format::Wav;
    fixtures::writeTone(argv[3], format, std::atof(argv[4]), std::atoi(argv[5]), 44100, 2);
    return 0;
}

int play(int argc, char** argv) {
    if (argc != 3 && argc != 4) return usage();
    QCoreApplication app(argc, argv);
    if (argc == 4) playback::setWaveOutVolume(std::uint32_t(std::strtoul(argv[3], nullptr, 16)));
    playback::MediaPlayer player;
    int result = 1;
    QObject::connect(&player, &playback::MediaPlayer::notified, [&] {
        if (player.position() == player.length()) result = 0;
        // The end is reported when the server has played the last frame; the recorder reads
        // the sink's monitor a little behind.
        QTimer::singleShot(400, [] { QCoreApplication::quit(); });
    });
    QTimer::singleShot(60000, [] {
        std::fprintf(stderr, "timed out\n");
        QCoreApplication::exit(1);
    });
    try {
        player.setFileName(argv[2]);
        player.open();
        std::fprintf(stderr, "driver %s, length %lld ms\n", player.output().driver().c_str(),
                     static_cast<long long>(player.length()));
        player.play();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    if (QCoreApplication::exec() != 0) return 1;
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    try {
        if (std::strcmp(argv[1], "tone") == 0) return tone(argc, argv);
        if (std::strcmp(argv[1], "play") == 0) return play(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return usage();
}
