// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up and idle memory: the time from starting the program to its first window being
// mapped on a private Xvfb display (no window manager), and its RSS and PSS after two idle
// seconds, against a bare Qt 6 window (bench_app_bare_window) measured in the same run,
// alternately, --runs times (default 7). Also whether anything of the playback stack (FFmpeg,
// libpulse, SDL2), or any image-format plugin, is mapped while nothing has been played or shown
// that needs it. This harness links no Qt, so it shares no pages with the programs it measures.
// Goals: under 50 ms (minimum) to the first mapped window; at most 35 MiB RSS and 25 MiB PSS.
#include <poll.h>
#include <sys/wait.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "../playback/proc_cost.h"

namespace {

double nowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Sample {
    double startupMs = 0;
    double rssMiB = 0;
    double pssMiB = 0;
    bool playbackMapped = false;
    bool imagePluginsMapped = false;
};

double field(const std::string& text, const char* name) {
    const auto at = text.find(name);
    return at == std::string::npos ? 0 : std::atof(text.c_str() + at + std::string(name).size());
}

// Starts `program`, waits for its first MapNotify on the root window, then idles and reads
// its memory.
Sample measureOnce(xcb_connection_t* connection, const std::string& program,
                   const std::string& runtime) {
    Sample sample;
    std::filesystem::remove_all(runtime);
    std::filesystem::create_directories(runtime);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    const double start = nowMs();
    const pid_t pid = bench::spawn({program});
    const int fd = xcb_get_file_descriptor(connection);
    for (bool mapped = false; !mapped;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) mapped = true;
            free(event);
        }
        if (mapped) break;
        pollfd wait{fd, POLLIN, 0};
        if (poll(&wait, 1, 10000) <= 0) throw std::runtime_error(program + ": no window");
    }
    sample.startupMs = nowMs() - start;
    std::this_thread::sleep_for(std::chrono::seconds(2));
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    const std::string text{std::istreambuf_iterator<char>(rollup), {}};
    sample.rssMiB = field(text, "\nRss:") / 1024.0;
    sample.pssMiB = field(text, "\nPss:") / 1024.0;
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    const std::string mapped{std::istreambuf_iterator<char>(maps), {}};
    for (const char* library : {"libavcodec", "libavformat", "libpulse", "libSDL2"})
        sample.playbackMapped |= mapped.find(library) != std::string::npos;
    sample.imagePluginsMapped = mapped.find("/imageformats/") != std::string::npos;
    bench::stopChild(pid);
    return sample;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 7;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
    int display = 140;
    while (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(display))) ++display;
    const std::string name = ":" + std::to_string(display);
    const pid_t xvfb =
        bench::spawn({"Xvfb", name, "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    setenv("DISPLAY", name.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    xcb_connection_t* connection = nullptr;
    for (int i = 0; i < 100; ++i) {
        connection = xcb_connect(name.c_str(), nullptr);
        if (!xcb_connection_has_error(connection)) break;
        xcb_disconnect(connection);
        connection = nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (connection == nullptr) {
        bench::stopChild(xvfb);
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);

    const std::string runtime = "/tmp/vorela-bench-startup-" + std::to_string(getpid());
    struct Program {
        const char* label;
        std::string path;
        std::vector<Sample> samples;
    } programs[] = {{"bare Qt 6 window", VORELA_BARE_WINDOW, {}}, {"vorela", VORELA_PLAYER, {}}};
    for (int run = 0; run < runs; ++run)
        for (Program& program : programs)
            program.samples.push_back(measureOnce(connection, program.path, runtime));
    xcb_disconnect(connection);
    bench::stopChild(xvfb);
    std::filesystem::remove_all(runtime);

    std::printf("start-up to the first mapped window and idle memory, %d runs each, Xvfb\n", runs);
    double ours[3] = {};
    double bare[3] = {};
    for (Program& program : programs) {
        std::vector<double> startup, rss, pss;
        bool mapped = false;
        bool images = false;
        for (const Sample& s : program.samples) {
            startup.push_back(s.startupMs);
            rss.push_back(s.rssMiB);
            pss.push_back(s.pssMiB);
            mapped |= s.playbackMapped;
            images |= s.imagePluginsMapped;
        }
        double* keep = &program == &programs[0] ? bare : ours;
        keep[0] = *std::min_element(startup.begin(), startup.end());
        keep[1] = median(rss);
        keep[2] = median(pss);
        std::printf(
            "  %-17s start-up min %.1f ms, median %.1f ms; RSS %.1f MiB, PSS %.1f MiB "
            "(medians); playback stack mapped: %s; image plugins mapped: %s\n",
            program.label, keep[0], median(startup), keep[1], keep[2], mapped ? "yes" : "no",
            images ? "yes" : "no");
    }
    std::printf("ours against the bare window: start-up %+.1f ms, RSS %+.1f MiB, PSS %+.1f MiB\n",
                ours[0] - bare[0], ours[1] - bare[1], ours[2] - bare[2]);
    std::printf("goals (under 50 ms; at most 35 / 25 MiB): start-up %s, memory %s\n",
                ours[0] < 50 ? "met" : "NOT met",
                ours[1] <= 35 && ours[2] <= 25 ? "met" : "NOT met");
    return 0;
}
