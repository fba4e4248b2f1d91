// SPDX-License-Identifier: GPL-3.0-or-later
// Every sample of a join: three tracks cut from one tone, of lengths that are no whole number of
// milliseconds (33333, 40001 and 37777 frames at 44.1 kHz), as WAV and as MP3 (LAME tags naming
// the encoder delay and padding), are played in order by the real main window (offscreen, in a
// child process) into a private PulseAudio null sink, whose monitor is recorded. The recording
// is compared sample by sample with the same files decoded back to back by ffmpeg (and, for the
// MP3s, by mpg123, whose decoder we use): frames heard against frames expected, samples that
// differ, the largest difference overall and around the two joins.
// Goal: every frame heard, none added; a WAV identical to ffmpeg's decoding, an MP3 identical to
// mpg123's, and within a few steps of ffmpeg's (another decoder's rounding) with nothing larger
// at the joins.
//   bench_playback_join_samples
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "audio_fixtures.h"
#include "player_child.h"

namespace {

constexpr int kRate = 44100;
constexpr std::int64_t kParts[] = {33'333, 40'001, 37'777};

std::vector<std::int16_t> readRaw(const std::string& path) {
    const std::string bytes = fixtures::readBytes(path);
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// A decoder's 16-bit stereo output of `file` at 44.1 kHz, by a command writing it to stdout.
std::vector<std::int16_t> decodedBy(std::vector<std::string> command, const std::string& out) {
    bench::waitExit(bench::spawn(command, -1, out));
    return readRaw(out);
}

// The offset of `reference` in `heard` (near the first sound) where the two agree best.
long alignment(const std::vector<std::int16_t>& heard, const std::vector<std::int16_t>& reference) {
    long first = 0;
    while (std::size_t(2 * first + 1) < heard.size() && heard[std::size_t(2 * first)] == 0 &&
           heard[std::size_t(2 * first + 1)] == 0)
        ++first;
    long best = -1;
    double bestError = 1e300;
    for (long offset = std::max(0L, first - 64); offset <= first + 64; ++offset) {
        double error = 0;
        for (std::size_t i = 0; i < 4000 && i < reference.size(); ++i) {
            const std::size_t at = std::size_t(2 * offset) + i;
            error += at < heard.size() ? std::abs(double(heard[at]) - reference[i]) : 1e9;
        }
        if (error < bestError) {
            bestError = error;
            best = offset;
        }
    }
    return best;
}

void compare(const char* name, const std::vector<std::int16_t>& heard,
             const std::vector<std::int16_t>& reference) {
    const long offset = alignment(heard, reference);
    std::size_t differing = 0;
    int largest = 0;
    int atJoins = 0;
    const std::int64_t joins[] = {kParts[0], kParts[0] + kParts[1]};
    for (std::size_t i = 0; i < reference.size(); ++i) {
        const std::size_t at = std::size_t(2 * offset) + i;
        const int difference = at < heard.size() ? std::abs(heard[at] - reference[i]) : 65536;
        if (difference != 0) ++differing;
        largest = std::max(largest, difference);
        for (const std::int64_t join : joins)
            if (std::abs(std::int64_t(i / 2) - join) <= 64) atJoins = std::max(atJoins, difference);
    }
    // What is heard after the reference ends.
    std::size_t after = 0;
    for (std::size_t at = std::size_t(2 * offset) + reference.size(); at < heard.size(); ++at)
        after += heard[at] != 0;
    std::printf(
        "  against %-7s %zu frames expected, %zu samples differ, largest difference %d, "
        "%d within 64 frames of a join, %zu samples heard after the end\n",
        name, reference.size() / 2, differing, largest, atJoins, after);
}

}  // namespace

int main() {
    bench::PrivateSoundServer server;
    const std::string folder = server.dir() + "/";
    std::printf(
        "three tracks cut from one tone (%lld, %lld and %lld frames at 44.1 kHz), played "
        "in order into a null sink\n",
        static_cast<long long>(kParts[0]), static_cast<long long>(kParts[1]),
        static_cast<long long>(kParts[2]));
    for (const fixtures::Format format : {fixtures::Format::Wav, fixtures::Format::Mp3}) {
        const std::string kind = fixtures::formatName(format);
        std::vector<std::string> names;
        std::vector<std::int16_t> ffmpeg, mpg123;
        std::int64_t first = 0;
        for (const std::int64_t frames : kParts) {
            names.push_back(kind + std::to_string(names.size() + 1) + fixtures::extension(format));
            const std::string file = folder + names.back();
            fixtures::writeTonePart(file, format, 440.0, first, frames, kRate, 2);
            first += frames;
            const auto part = decodedBy({"ffmpeg", "-v", "error", "-i", file, "-f", "s16le", "-ac",
                                         "2", "-ar", "44100", "-"},
                                        folder + "ffmpeg.raw");
            ffmpeg.insert(ffmpeg.end(), part.begin(), part.end());
            if (format != fixtures::Format::Mp3) continue;
            const auto own = decodedBy({"mpg123", "-q", "--gapless", "-s", "--stereo", file},
                                       folder + "mpg123.raw");
            mpg123.insert(mpg123.end(), own.begin(), own.end());
        }
        std::vector<std::int16_t> heard;
        {
            bench::PlayerChild player(folder);
            for (const std::string& name : names) player.ask("add " + name);
            bench::waitMs(1000);
            const std::string recording = folder + "heard.raw";
            const pid_t recorder = bench::spawn({"parec", "-d", "vsink.monitor", "--rate=44100",
                                                 "--channels=2", "--format=s16le", "--raw"},
                                                -1, recording);
            bench::waitMs(500);
            player.ask("play " + names[0]);
            bench::waitMs(int(first * 1000 / kRate) + 1500);
            bench::stopChild(recorder);
            heard = readRaw(recording);
        }
        std::printf("%s:\n", kind.c_str());
        compare("ffmpeg", heard, ffmpeg);
        if (!mpg123.empty()) compare("mpg123", heard, mpg123);
    }
    return 0;
}
