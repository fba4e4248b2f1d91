// SPDX-License-Identifier: GPL-3.0-or-later
// First play: what the first play after start costs the listener and the machine. The real main
// window (offscreen, in a child process that takes its commands on stdin) starts afresh with an
// empty list; an MP3 is added as a row, and a second later, as a user's double click comes,
// played. Measured: the time from the play command to the first sound in a private PulseAudio
// null sink (and of a second play of the same process, for context); the RSS and the shared
// libraries mapped by the empty window, with the row, and while playing; and our CPU while
// playing, paused and stopped. mpg123 (remote-control mode, PulseAudio output), started afresh
// and told to load the same file, is measured the same way in the same run. Medians of --runs
// runs (default 5).
//   bench_playback_first_play [--runs N] [--play SECONDS] [--rest SECONDS]
// Goals: the first sound at most 2x mpg123's; playing an MP3 adds at most 8 MiB of RSS and 15
// shared libraries over the empty window; playing costs at most 2.2 ms of CPU a second; paused
// and stopped 0.
#include <algorithm>
#include <cstdio>
#include <map>

#include "audio_fixtures.h"
#include "player_child.h"

namespace {

using bench::msBetween;
using bench::SteadyClock;
using bench::waitMs;

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double cpuMsPerSecond(pid_t pid, double seconds) {
    const bench::ProcCost before = bench::procCost(pid);
    waitMs(int(seconds * 1000));
    return (bench::procCost(pid) - before).cpuMs / seconds;
}

// The time from `command` to the first sound it makes; -1 when none came within 3 s.
template <typename Command>
double firstSound(bench::SinkListener& sink, Command command) {
    sink.arm();
    const auto start = SteadyClock::now();
    command();
    const auto heard = sink.heard(3000);
    return heard ? msBetween(start, *heard) : -1;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    double playSeconds = 10;
    double restSeconds = 5;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
        if (arg == "--play" && i + 1 < argc) playSeconds = std::atof(argv[++i]);
        if (arg == "--rest" && i + 1 < argc) restSeconds = std::atof(argv[++i]);
    }
    bench::PrivateSoundServer server;
    const std::string folder = server.dir() + "/";
    const int trackMs = int((playSeconds + 2 * restSeconds + 10) * 1000);
    fixtures::writeTone(folder + "track.mp3", fixtures::Format::Mp3, 440.0, trackMs, 44100, 2);
    bench::SinkListener sink;

    std::map<std::string, std::vector<double>> figures;
    std::string added;  // the libraries playing maps, in the first run
    for (int run = 0; run < runs; ++run) {
        {
            bench::PlayerChild player(folder);
            waitMs(1500);
            const bench::Mapped idle = bench::mapped(player.pid());
            player.ask("add track.mp3");
            waitMs(1000);
            const bench::Mapped withRow = bench::mapped(player.pid());
            figures["ours first sound ms"].push_back(
                firstSound(sink, [&] { player.ask("play track.mp3"); }));
            waitMs(2000);
            const bench::Mapped playing = bench::mapped(player.pid());
            for (const std::string& object : playing.objects) {
                if (run == 0 && !idle.objects.count(object))
                    added += " " + object.substr(object.rfind('/') + 1);
            }
            figures["ours idle RSS MiB"].push_back(idle.rssMiB);
            figures["ours idle libraries"].push_back(idle.libraries);
            figures["ours with a row: RSS added MiB"].push_back(withRow.rssMiB - idle.rssMiB);
            figures["ours with a row: libraries added"].push_back(withRow.libraries -
                                                                  idle.libraries);
            figures["ours playing: RSS added MiB"].push_back(playing.rssMiB - idle.rssMiB);
            figures["ours playing: libraries added"].push_back(playing.libraries - idle.libraries);
            figures["ours playing ms/s"].push_back(cpuMsPerSecond(player.pid(), playSeconds));
            player.ask("pause");
            waitMs(500);
            figures["ours paused ms/s"].push_back(cpuMsPerSecond(player.pid(), restSeconds));
            player.ask("stop");
            waitMs(500);
            figures["ours stopped ms/s"].push_back(cpuMsPerSecond(player.pid(), restSeconds));
            figures["ours later play: first sound ms"].push_back(
                firstSound(sink, [&] { player.ask("play track.mp3"); }));
            player.ask("stop");
        }
        waitMs(500);

        int pipeEnds[2];
        if (pipe(pipeEnds) != 0) return 1;
        const pid_t mpg123 = bench::spawn({"mpg123", "-q", "-o", "pulse", "-R"}, pipeEnds[0]);
        close(pipeEnds[0]);
        const auto say = [&](const std::string& command) {
            const std::string line = command + "\n";
            if (write(pipeEnds[1], line.data(), line.size()) < 0) std::perror("mpg123");
        };
        waitMs(1500);
        const bench::Mapped idle = bench::mapped(mpg123);
        figures["mpg123 first sound ms"].push_back(
            firstSound(sink, [&] { say("LOAD " + folder + "track.mp3"); }));
        waitMs(2000);
        const bench::Mapped playing = bench::mapped(mpg123);
        figures["mpg123 playing RSS MiB"].push_back(playing.rssMiB);
        figures["mpg123 playing: libraries"].push_back(playing.libraries);
        figures["mpg123 playing: RSS added MiB"].push_back(playing.rssMiB - idle.rssMiB);
        figures["mpg123 playing ms/s"].push_back(cpuMsPerSecond(mpg123, playSeconds));
        say("QUIT");
        close(pipeEnds[1]);
        bench::waitExit(mpg123);
        waitMs(500);
    }

    std::printf("first play after start, %d runs (medians; min and max in brackets)\n", runs);
    for (const auto& [name, values] : figures) {
        std::printf("  %-40s %8.1f   [%.1f .. %.1f]\n", name.c_str(), median(values),
                    *std::min_element(values.begin(), values.end()),
                    *std::max_element(values.begin(), values.end()));
    }
    std::printf("mapped by playing, beyond the empty window:%s\n", added.c_str());
    const double ours = median(figures["ours first sound ms"]);
    const double peer = median(figures["mpg123 first sound ms"]);
    const double rss = median(figures["ours playing: RSS added MiB"]);
    const double libraries = median(figures["ours playing: libraries added"]);
    const double playing = median(figures["ours playing ms/s"]);
    const double resting =
        std::max(median(figures["ours paused ms/s"]), median(figures["ours stopped ms/s"]));
    std::printf("first sound: ours / mpg123 %.2fx (goal at most 2x: %s)\n", ours / peer,
                ours > 0 && ours <= 2 * peer ? "met" : "NOT met");
    std::printf("playing adds %.1f MiB and %.0f libraries (goal at most 8 MiB and 15: %s)\n", rss,
                libraries, rss <= 8 && libraries <= 15 ? "met" : "NOT met");
    std::printf(
        "CPU playing %.2f ms/s (goal at most 2.2: %s), paused/stopped %.2f ms/s (goal 0: %s)\n",
        playing, playing <= 2.2 ? "met" : "NOT met", resting, resting < 0.1 ? "met" : "NOT met");
    return 0;
}
