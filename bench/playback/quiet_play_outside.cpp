// SPDX-License-Identifier: GPL-3.0-or-later
// What comes from outside the player while it plays: a mixer that sets our stream's level, and
// busy loops that leave it little of the machine.
#include <signal.h>

#include <cmath>
#include <cstdio>

#include "quiet_play.h"
#include "sink_recording.h"

namespace bench {
namespace {

// The left channel's RMS in blocks of 20 ms.
std::vector<double> blockLevels(const std::vector<std::int16_t>& samples) {
    constexpr std::size_t kBlock = kRate / 50;
    std::vector<double> levels;
    for (std::size_t at = 0; (at + kBlock) * 2 <= samples.size(); at += kBlock) {
        double sum = 0;
        for (std::size_t i = at; i < at + kBlock; ++i)
            sum += double(samples[2 * i]) * samples[2 * i];
        levels.push_back(std::sqrt(sum / kBlock));
    }
    return levels;
}

// After the level fell to a mixer's (below an eighth of the first tone's), how much louder
// than the mixer's level the loudest block is, in dB; NaN when the fall is not found.
double loudestAfterMixer(const std::vector<std::int16_t>& samples) {
    const std::vector<double> levels = blockLevels(samples);
    std::size_t at = 0;
    while (at < levels.size() && levels[at] < 1000) ++at;  // the tone at the program's level
    const double full = at + 5 < levels.size() ? levels[at + 5] : 0;
    while (at < levels.size() && levels[at] >= full / 8) ++at;
    if (at + 12 >= levels.size()) return std::nan("");
    std::vector<double> reference(levels.begin() + long(at) + 2, levels.begin() + long(at) + 12);
    const double mixer = median(reference);
    const double loudest = *std::max_element(levels.begin() + long(at) + 2, levels.end());
    return 20 * std::log10(loudest / mixer);
}

}  // namespace

void measureMixerHeld(WindowProcess& window, const std::string& folder, Figures& figures) {
    struct Command {
        const char* name;
        const char* track;
        std::vector<std::string> steps;  // "" waits 300 ms
    };
    // After track.mp3 come zx_a.wav, zx_b.wav (48 kHz) and zx_c.wma; after zz_join1.wav,
    // zz_join2.wav: the next track and the joins change the format too.
    const Command commands[] = {
        {"seek", "track.mp3", {"seek 6"}},
        {"2 s forward", "track.mp3", {"forward"}},
        {"2 s back", "track.mp3", {"back"}},
        {"pause, resume", "track.mp3", {"pause", "", "resume"}},
        {"stop, play", "track.mp3", {"stop", "", "resume"}},
        {"next track", "track.mp3", {"next"}},
        {"join in order", "zz_join1.wav", {}},
        {"joins across formats", "zx_a.wav", {}},
    };
    const std::string recording = folder + "mixer.raw";
    for (const Command& command : commands) {
        double followedMs = -1;
        double afterExitMs = 0;  // after pactl ended, once the server had taken the change
        const std::vector<std::int16_t> heard = record(recording, [&] {
            window.ask(std::string("play ") + command.track);
            waitMs(700);
            const std::string index = playingStream().index;
            const double before = nowUs();
            pactl({"set-sink-input-volume", index, "25%"});
            const double done = nowUs();
            for (int i = 0; i < 200 && followedMs < 0; ++i) {
                double at = 0;
                std::sscanf(window.ask("mixer").c_str(), "%lf", &at);
                if (at > before) {
                    followedMs = (at - before) / 1000;
                    afterExitMs = (at - done) / 1000;
                } else {
                    waitMs(2);
                }
            }
            waitMs(500);
            for (const std::string& step : command.steps) {
                if (step.empty())
                    waitMs(300);
                else
                    window.ask(step);
            }
            waitMs(1200);
            window.ask("stop");
        });
        // The program's own level again, for what follows.
        window.ask("volume 255");
        figures[std::string("mixer's 25% across ") + command.name + ", loudest dB"].push_back(
            loudestAfterMixer(heard));
        if (followedMs >= 0) {
            figures["volume bar shows a mixer's level, ms after pactl started"].push_back(
                followedMs);
            figures["volume bar shows a mixer's level, ms after pactl ended"].push_back(
                afterExitMs);
        }
    }
}

void measureUnderLoad(WindowProcess& window, pid_t server, const std::string& folder,
                      const std::string& track, double seconds, Figures& figures) {
    std::vector<pid_t> loops;
    for (int i = 0; i < 8; ++i) loops.push_back(spawn({"sh", "-c", "while :; do :; done"}));
    const std::string recording = folder + "load.raw";
    auto play = [&](const std::string& who, const std::function<void()>& start,
                    const std::function<void()>& stop) {
        std::vector<double> queued;
        ProcCost cost;
        const std::vector<std::int16_t> heard = record(recording, [&] {
            start();
            waitMs(1000);
            const ProcCost before = procCost(server);
            const double until = nowUs() + (seconds - 1) * 1e6;
            while (nowUs() < until) {
                const double ms = playingStream().queuedMs;
                if (ms >= 0) queued.push_back(ms);
                waitMs(200);
            }
            cost = procCost(server) - before;
            stop();
        });
        const Sound sound = analyse(heard);
        const std::string name = "under 8 busy loops, " + who + ": ";
        figures[name + "dropouts over 5 ms"].push_back(sound.gapsOver5Ms);
        figures[name + "longest dropout ms"].push_back(sound.longestGapMs);
        if (!queued.empty()) {
            figures[name + "least queued in server ms"].push_back(
                *std::min_element(queued.begin(), queued.end()));
            figures[name + "median queued in server ms"].push_back(median(queued));
        }
        figures[name + "server ms/s"].push_back(cost.cpuMs / (seconds - 1));
    };
    play(
        "ours", [&] { window.ask("play " + track); }, [&] { window.ask("stop"); });
    pid_t mpg123 = -1;
    play(
        "mpg123",
        [&] {
            mpg123 = spawn({"mpg123", "-q", "-o", "pulse", folder + track});
        },
        [&] { stopChild(mpg123); });
    for (const pid_t loop : loops) stopChild(loop, SIGKILL);
}

}  // namespace bench
