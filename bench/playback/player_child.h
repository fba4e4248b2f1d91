// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The benchmarks' player: the real main window, offscreen, in a child process of its own
// (player_child.cpp, an executable that links the program's libraries and nothing else, so that
// what it maps is what the program maps), taking one-line commands on stdin and answering each
// with one line, so that the measuring costs it nothing:
//   add NAME     adds FOLDER/NAME as a row, as the open-file dialog does
//   play NAME    selects its row and clicks play, as a double click does
//   pause, resume, stop, quit
// And what a process maps: its RSS and the shared libraries it has mapped, from /proc; and the
// moment sound first reaches a private PulseAudio null sink, from its monitor.

#include <QApplication>
#include <QToolButton>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "command_lines.h"
#include "main_window/main_window.h"
#include "proc_cost.h"

namespace bench {

using SteadyClock = std::chrono::steady_clock;

inline double msBetween(SteadyClock::time_point from, SteadyClock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

inline void waitMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// In the child: runs the window and its commands until "quit" or the end of stdin.
inline int runPlayerChild(int argc, char** argv, const std::string& folder) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    main_window::MainWindow window;
    window.show();
    const auto commands = onCommandLines([&](const std::string& verb, const std::string& arg) {
        if (verb == "add") window.addRow(folder, arg);
        if (verb == "play") {
            window.selectRow(window.playlist->findPath(folder + arg));
            window.playButton->click();
        }
        if (verb == "resume") window.playButton->click();
        if (verb == "pause") window.pauseButton->click();
        if (verb == "stop") window.stopButton->click();
        if (verb == "quit") QCoreApplication::exit(0);
        std::printf("%d\n", int(window.player->mode()));
        std::fflush(stdout);
    });
    std::printf("ready\n");
    std::fflush(stdout);
    return QApplication::exec();
}

#ifdef VORELA_PLAYER_CHILD
// In the parent: the child above, started as `player_child FOLDER`.
class PlayerChild {
public:
    explicit PlayerChild(const std::string& folder) {
        int in[2];
        int out[2];
        if (pipe(in) != 0 || pipe(out) != 0) throw std::runtime_error("pipe failed");
        pid_ = spawn({VORELA_PLAYER_CHILD, folder}, in[0], {}, out[1]);
        close(in[0]);
        close(out[1]);
        to_ = in[1];
        from_ = fdopen(out[0], "r");
        if (answer() != "ready") throw std::runtime_error("the player did not start");
    }
    ~PlayerChild() {
        ask("quit");
        close(to_);
        fclose(from_);
        waitExit(pid_);
    }
    PlayerChild(const PlayerChild&) = delete;
    PlayerChild& operator=(const PlayerChild&) = delete;

    // Sends a command; returns the player's mode after it.
    std::string ask(const std::string& command) {
        const std::string line = command + "\n";
        if (write(to_, line.data(), line.size()) < 0) throw std::runtime_error("player gone");
        return answer();
    }
    pid_t pid() const { return pid_; }

private:
    std::string answer() {
        char reply[256] = {};
        if (fgets(reply, sizeof reply, from_) == nullptr) throw std::runtime_error("player gone");
        std::string text = reply;
        if (!text.empty() && text.back() == '\n') text.pop_back();
        return text;
    }

    pid_t pid_ = -1;
    int to_ = -1;
    FILE* from_ = nullptr;
};
#endif

struct Mapped {
    double rssMiB = 0;
    int libraries = 0;  // shared objects mapped
    std::set<std::string> objects;
};

inline Mapped mapped(pid_t pid) {
    Mapped m;
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    const std::string text{std::istreambuf_iterator<char>(rollup), {}};
    if (const auto at = text.find("\nRss:"); at != std::string::npos)
        m.rssMiB = std::atof(text.c_str() + at + 5) / 1024.0;
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    std::set<std::string> objects;
    for (std::string line; std::getline(maps, line);) {
        const auto slash = line.find('/');
        if (slash != std::string::npos && line.find(".so", slash) != std::string::npos)
            objects.insert(line.substr(slash));
    }
    m.libraries = int(objects.size());
    m.objects = std::move(objects);
    return m;
}

// The null sink's monitor, read as it comes: the moment the first audible frame arrives after
// arm(). Both players are heard through the same monitor, so its own delay is the same for both.
class SinkListener {
public:
    SinkListener() {
        int out[2];
        if (pipe(out) != 0) throw std::runtime_error("pipe failed");
        pid_ = spawn({"parec", "-d", "vsink.monitor", "--rate=44100", "--channels=2",
                      "--format=s16le", "--latency-msec=2", "--raw"},
                     -1, {}, out[1]);
        close(out[1]);
        fd_ = out[0];
        reader_ = std::thread([this] {
            std::vector<std::int16_t> block(256);
            for (;;) {
                const ssize_t n = read(fd_, block.data(), block.size() * 2);
                if (n <= 0) return;
                const auto now = SteadyClock::now();
                const bool loud = std::any_of(block.begin(), block.begin() + n / 2,
                                              [](std::int16_t v) { return std::abs(v) > 1000; });
                std::lock_guard lock(mutex_);
                if (loud && armed_ && !heard_) heard_ = now;
            }
        });
        waitMs(500);  // the recording runs
    }
    ~SinkListener() {
        stopChild(pid_);
        reader_.join();
        close(fd_);
    }
    void arm() {
        std::lock_guard lock(mutex_);
        armed_ = true;
        heard_.reset();
    }
    // When the first audible frame after arm() arrived; empty when none came within `ms`.
    std::optional<SteadyClock::time_point> heard(int ms) {
        for (int waited = 0; waited < ms; waited += 1) {
            {
                std::lock_guard lock(mutex_);
                if (heard_) return heard_;
            }
            waitMs(1);
        }
        return std::nullopt;
    }

private:
    pid_t pid_ = -1;
    int fd_ = -1;
    std::thread reader_;
    std::mutex mutex_;
    bool armed_ = false;                            // guarded by mutex_
    std::optional<SteadyClock::time_point> heard_;  // guarded by mutex_
};

}  // namespace bench
