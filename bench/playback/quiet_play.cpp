// SPDX-License-Identifier: GPL-3.0-or-later
// Quiet playing: the real main window (offscreen, in a child process that takes its commands on
// stdin, so that the measuring costs it nothing) plays an MP3 through its default output into a
// private PulseAudio null sink, and the benchmark reads from /proc what that process and the
// sound server cost per second (CPU ms, wake-ups) while playing, paused, stopped and before
// anything was played; mpg123 (remote-control mode, PulseAudio output) plays the same file
// beside it in the same run. Then, on recordings of the sink: how much sound is still heard
// after pause, stop and a seek into silence (against the position shown at the command), the
// silence where one track joins the next in order; how late the time text changes after
// the position crosses a second, and after a play, resume or seek command (the design looks
// every 10 ms); a level a mixer sets on our stream (pactl, 25 %) against each command, and how
// soon the volume bar shows it. Medians of --runs runs (default 5). Last, once: --load seconds
// (default 60, 0 for none) of play beside 8 busy loops, ours and then mpg123's: dropouts over
// 5 ms, and the least and median audio the server holds for the stream, sampled 5 times a second.
//   bench_playback_quiet_play [--runs N] [--play SECONDS] [--rest SECONDS] [--load SECONDS] [--sdl]
// --sdl plays through SDL2 on the same server instead of the device's own PulseAudio output.
// Goals: playing at most 3 ms/s ours and 4 ms/s the server's, below mpg123; paused, stopped and
// never played under 0.1 ms/s; heard within 30 ms; joins under 5 ms; the next title and the stop
// shown within 100 ms of when they are heard; time texts within 10 ms; a mixer's level held
// (0 dB louder) across every command and shown within 100 ms; no dropout under load, with
// about a second or more queued.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "audio_fixtures.h"
#include "quiet_play.h"
#include "sink_recording.h"

using namespace bench;

namespace {

struct PerSecond {
    double oursMs = 0, oursWakeups = 0, serverMs = 0, serverWakeups = 0;
};

PerSecond measure(pid_t ours, pid_t server, double seconds) {
    const ProcCost a0 = bench::procCost(ours);
    const ProcCost s0 = bench::procCost(server);
    waitMs(int(seconds * 1000));
    const ProcCost a = bench::procCost(ours) - a0;
    const ProcCost s = bench::procCost(server) - s0;
    return {a.cpuMs / seconds, double(a.wakeups) / seconds, s.cpuMs / seconds,
            double(s.wakeups) / seconds};
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    double playSeconds = 10;
    double restSeconds = 5;
    double loadSeconds = 60;
    bool sdl = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
        if (arg == "--play" && i + 1 < argc) playSeconds = std::atof(argv[++i]);
        if (arg == "--rest" && i + 1 < argc) restSeconds = std::atof(argv[++i]);
        if (arg == "--load" && i + 1 < argc) loadSeconds = std::atof(argv[++i]);
        if (arg == "--sdl") sdl = true;
        if (arg == "--window" && i + 1 < argc) return runWindow(argc, argv, argv[i + 1]);
    }
    // Before anything talks to a sound server; its sink suspends when nothing plays, as on a
    // desktop, so that what paused, stopped and never played cost the server shows.
    PrivateSoundServer server(true);
    if (sdl) setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
    const std::string folder = server.dir() + "/";
    const int trackMs = int((playSeconds + 2 * restSeconds + 5) * 1000);
    fixtures::writeTone(folder + "track.mp3", fixtures::Format::Mp3, 440.0, trackMs, kRate, 2);
    writeToneThenSilence(folder + "cut.wav", 4000, 4000);
    // The last rows, so that the in-order advance ends after them.
    writeToneThenSilence(folder + "zz_join1.wav", 1500, 0);
    writeToneThenSilence(folder + "zz_join2.wav", 1500, 0);
    // Joins across rates and formats, in order: 22.05 kHz WAV, 48 kHz WAV, WMA.
    fixtures::writeTone(folder + "zx_a.wav", fixtures::Format::Wav, 440.0, 1500, 22050, 2);
    fixtures::writeTone(folder + "zx_b.wav", fixtures::Format::Wav, 440.0, 1500, 48000, 2);
    fixtures::writeTone(folder + "zx_c.wma", fixtures::Format::Wma, 440.0, 1500, 44100, 2);
    constexpr long kJoinFrames = 1500L * kRate / 1000;  // each zz_join file's length
    if (loadSeconds > 0)
        fixtures::writeTone(folder + "load.mp3", fixtures::Format::Mp3, 440.0,
                            int((loadSeconds + 5) * 1000), kRate, 2);

    WindowProcess window(argv[0], folder);
    const pid_t self = window.pid();
    window.ask("add track.mp3");

    Figures figures;
    auto keep = [&](const std::string& phase, const PerSecond& p) {
        figures[phase + " ours ms/s"].push_back(p.oursMs);
        figures[phase + " ours wakeups/s"].push_back(p.oursWakeups);
        figures[phase + " server ms/s"].push_back(p.serverMs);
        figures[phase + " server wakeups/s"].push_back(p.serverWakeups);
    };

    waitMs(500);
    keep("ours never played", measure(self, server.pid(), restSeconds));
    std::string properties;
    std::string driver;
    for (int run = 0; run < runs; ++run) {
        window.ask("play track.mp3");
        waitMs(1000);
        if (run == 0) {
            properties = streamProperties();
            driver = window.ask("driver");
        }
        keep("ours playing", measure(self, server.pid(), playSeconds));
        window.ask("pause");
        waitMs(500);
        keep("ours paused", measure(self, server.pid(), restSeconds));
        window.ask("resume");
        waitMs(300);
        window.ask("stop");
        waitMs(500);
        keep("ours stopped", measure(self, server.pid(), restSeconds));

        int pipeEnds[2];
        if (pipe(pipeEnds) != 0) return 1;
        const pid_t mpg123 = spawn({"mpg123", "-q", "-o", "pulse", "-R"}, pipeEnds[0]);
        close(pipeEnds[0]);
        auto say = [&](const std::string& command) {
            const std::string line = command + "\n";
            if (write(pipeEnds[1], line.data(), line.size()) < 0) std::perror("mpg123");
        };
        waitMs(300);
        say("LOAD " + folder + "track.mp3");
        waitMs(1000);
        keep("mpg123 playing", measure(mpg123, server.pid(), playSeconds));
        say("PAUSE");
        waitMs(500);
        keep("mpg123 paused", measure(mpg123, server.pid(), restSeconds));
        say("STOP");
        waitMs(500);
        keep("mpg123 stopped", measure(mpg123, server.pid(), restSeconds));
        say("QUIT");
        close(pipeEnds[1]);
        waitExit(mpg123);
        std::fprintf(stderr, "run %d of %d done\n", run + 1, runs);
    }

    // Heard after the command: sound recorded beyond the position shown when it was given.
    window.ask("add cut.wav");
    window.ask("add zz_join1.wav");
    window.ask("add zz_join2.wav");
    for (const char* name : {"zx_a.wav", "zx_b.wav", "zx_c.wma"})
        window.ask(std::string("add ") + name);
    const std::string recording = folder + "rec.raw";
    for (int run = 0; run < runs; ++run) {
        for (const std::string command : {"pause", "stop", "seek 6"}) {
            double at = 0;
            const Sound sound = analyse(record(recording, [&] {
                window.ask("play cut.wav");
                waitMs(1500);
                at = window.askNumber(command);  // the position when the command came
                waitMs(800);
                window.ask("stop");
            }));
            figures["heard after " + command.substr(0, command.find(" ")) + " ms"].push_back(
                sound.lengthMs - at);
        }
        // Two rows in order, then the end of the list. The position read mid-track ties the
        // recording to the clock: frame i of it is heard at anchorUs + (i - start) / rate -
        // anchorPosition.
        double anchorPosition = 0, anchorUs = 0, joinShownUs = 0, stopShownUs = 0;
        const std::vector<std::int16_t> joinRecording = record(recording, [&] {
            window.ask("play zz_join1.wav");
            waitMs(700);
            std::sscanf(window.ask("anchor").c_str(), "%lf %lf", &anchorPosition, &anchorUs);
            waitMs(2900);
            joinShownUs = window.askNumber("shown zz_join2.wav");
            stopShownUs = window.askNumber("shown stop");
        });
        const Sound joined = analyse(joinRecording);
        figures["join silence ms"].push_back(joined.longestGapMs);
        figures["joined length ms (3000 played)"].push_back(joined.lengthMs);
        const long start = firstAudible(joinRecording);
        if (start >= 0 && joinShownUs > 0 && stopShownUs > 0) {
            auto heardUs = [&](long frame) {
                return anchorUs + (double(frame - start) * 1000.0 / kRate - anchorPosition) * 1000;
            };
            const long last = start + long(joined.lengthMs * kRate / 1000);
            figures["next title shown after join heard ms"].push_back(
                (joinShownUs - heardUs(start + kJoinFrames)) / 1000);
            figures["stop shown after last sound ms"].push_back((stopShownUs - heardUs(last)) /
                                                                1000);
        }

        const Sound across = analyse(record(recording, [&] {
            window.ask("play zx_a.wav");
            waitMs(3800);
            window.ask("stop");
        }));
        figures["join silence across formats ms"].push_back(across.longestGapMs);
        figures["joined length across formats ms (3800 played)"].push_back(across.lengthMs);

        // The controls that change the level: a steady tone, the command 1.5 s in (after a
        // mute 1 s in, for the un-mute), where the recorded level changes. Channel 0 is the
        // left one.
        struct Control {
            const char* name;
            std::vector<std::string> before;  // at 1 s
            std::string command;
            std::string undo;
            int channel;
            int threshold;
            bool falling;
        };
        const Control controls[] = {
            {"mute", {}, "mute", "mute", 0, 300, true},
            {"un-mute", {"mute"}, "mute", "", 0, 3000, false},
            {"volume 255->40", {}, "volume 40", "volume 255", 0, 5000, true},
            {"left channel", {}, "left", "stereo", 1, 300, true},
            {"right channel", {}, "right", "stereo", 0, 300, true},
            {"stereo from left", {"left"}, "stereo", "", 1, 3000, false},
        };
        for (const Control& control : controls) {
            double at = 0;
            const std::vector<std::int16_t> heard = record(recording, [&] {
                window.ask("play cut.wav");
                waitMs(1000);
                for (const std::string& command : control.before) window.ask(command);
                waitMs(500);
                at = window.askNumber(control.command);
                waitMs(600);
                window.ask("stop");
                if (!control.undo.empty()) window.ask(control.undo);
            });
            const long toneStart = firstAudible(heard);
            const long change =
                levelChange(heard, control.channel, toneStart + long(at * kRate / 1000),
                            control.threshold, control.falling);
            if (toneStart >= 0 && change >= 0)
                figures[std::string("heard after ") + control.name + " ms"].push_back(
                    double(change - toneStart) * 1000.0 / kRate - at);
        }
        if (!sdl) measureMixerHeld(window, folder, figures);
        std::fprintf(stderr, "recordings %d of %d done\n", run + 1, runs);
    }
    if (loadSeconds > 0) {
        window.ask("add load.mp3");
        measureUnderLoad(window, server.pid(), folder, "load.mp3", loadSeconds, figures);
    }

    std::printf(
        "quiet play: %s output (%s), MP3 %.0f s, private PulseAudio null sink, %d runs, "
        "medians\n",
        sdl ? "SDL2" : "default", driver.c_str(), trackMs / 1000.0, runs);
    std::printf("  our stream:\n%s", properties.c_str());
    for (const auto& [name, values] : figures)
        std::printf("  %-52s %8.3f   (min %.3f, max %.3f)\n", name.c_str(), median(values),
                    *std::min_element(values.begin(), values.end()),
                    *std::max_element(values.begin(), values.end()));
    for (const auto& [verb, what] :
         {std::pair{"textlate", "time text changed after the second crossed"},
          std::pair{"ticklate", "  its tick came after the moment armed for"},
          std::pair{"afterplay", "time text shown after a play (the design: its first tick)"},
          std::pair{"aftermove", "time text shown after a resume or a seek"}}) {
        double count = 0, lateMedian = 0, lateMax = 0;
        std::sscanf(window.ask(verb).c_str(), "%lf %lf %lf", &count, &lateMedian, &lateMax);
        std::printf("  %s: median %.1f ms, max %.1f ms (%.0f)\n", what, lateMedian, lateMax, count);
    }
    const double ours = median(figures["ours playing ours ms/s"]);
    const double theirs = median(figures["mpg123 playing ours ms/s"]);
    std::printf("playing: ours %.2f ms/s against mpg123 %.2f ms/s: ratio %.2fx\n", ours, theirs,
                theirs > 0 ? ours / theirs : 0.0);
    std::printf("server while playing: ours %.2f ms/s against mpg123's %.2f ms/s\n",
                median(figures["ours playing server ms/s"]),
                median(figures["mpg123 playing server ms/s"]));
    return 0;
}
