// SPDX-License-Identifier: GPL-3.0-or-later
// Decode cost: CPU time to open, decode and resample a 5-minute MP3 (libmpg123), WMA (FFmpeg)
// and WAV (our reader) through the device's pipeline (manual-clock null output, consumed as
// fast as the decoder goes), at the file's own rate and resampled to 48 kHz (libsoxr for MP3
// and WAV, swresample for WMA), against `ffmpeg -v error -i FILE -f null -` on the same file in
// the same run. Goal: at most 1.2x.
#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "audio_fixtures.h"
#include "bench_util.h"
#include "playback/manual_clock_output.h"
#include "playback/media_player.h"

namespace {

constexpr int kTrackMs = 5 * 60 * 1000;
constexpr int kRuns = 3;

struct Cost {
    double cpu = 1e9;
    double wall = 1e9;
};

// The best of kRuns: open, play through, close.
Cost pipeline(const std::string& file, int outputRate) {
    Cost best;
    for (int run = 0; run < kRuns; ++run) {
        auto output =
            std::make_unique<playback::ManualClockOutput>(playback::OutputFormat{outputRate, 2});
        output->setKeepSamples(false);
        auto* clock = output.get();
        playback::MediaPlayer player(std::move(output));
        const double cpu0 = bench::processCpu();
        const double wall0 = bench::wallNow();
        player.setFileName(file);
        player.open();
        player.play();
        while (player.mode() == playback::PlayerMode::Playing) {
            clock->advance(std::chrono::milliseconds(1000));
        }
        if (player.position() != player.length()) std::fprintf(stderr, "did not reach the end\n");
        best.cpu = std::min(best.cpu, bench::processCpu() - cpu0);
        best.wall = std::min(best.wall, bench::wallNow() - wall0);
    }
    return best;
}

Cost reference(const std::string& file) {
    Cost best;
    for (int run = 0; run < kRuns; ++run) {
        const auto cost =
            bench::runChild({"ffmpeg", "-nostdin", "-v", "error", "-i", file, "-f", "null", "-"});
        best.cpu = std::min(best.cpu, cost.cpu);
        best.wall = std::min(best.wall, cost.wall);
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    struct Input {
        const char* name;
        fixtures::Format format;
    };
    const Input inputs[] = {{"mp3", fixtures::Format::Mp3},
                            {"wma", fixtures::Format::Wma},
                            {"wav", fixtures::Format::Wav}};
    std::printf("decode cost, 5-minute 44.1 kHz stereo files, best of %d runs\n", kRuns);
    for (const Input& input : inputs) {
        const std::string file =
            dir.filePath(QString::fromLatin1(input.name)).toStdString() + "." + input.name;
        fixtures::writeTone(file, input.format, 440.0, kTrackMs, 44100, 2);
        const Cost ffmpeg = reference(file);
        const Cost same = pipeline(file, 44100);
        const Cost resampled = pipeline(file, 48000);
        std::printf("%s: ffmpeg -f null %.0f ms CPU (%.0f ms wall)\n", input.name, ffmpeg.cpu * 1e3,
                    ffmpeg.wall * 1e3);
        std::printf("%s: device to 44.1 kHz  %.0f ms CPU (%.0f ms wall)  ratio %.2fx\n", input.name,
                    same.cpu * 1e3, same.wall * 1e3, same.cpu / ffmpeg.cpu);
        std::printf("%s: device to 48 kHz    %.0f ms CPU (%.0f ms wall)  ratio %.2fx\n", input.name,
                    resampled.cpu * 1e3, resampled.wall * 1e3, resampled.cpu / ffmpeg.cpu);
    }
    return 0;
}
