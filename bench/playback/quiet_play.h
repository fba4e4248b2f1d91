// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The parts of the quiet-play benchmark (bench_playback_quiet_play): the real main window in a
// child process driven by one-line commands, and the phases measured on the private sound
// server's recordings.

#include <stdio.h>
#include <unistd.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "proc_cost.h"

namespace bench {

// Each figure's values, one per run, by name.
using Figures = std::map<std::string, std::vector<double>>;

// The child: the main window, offscreen, answering one line for each command line on stdin.
int runWindow(int argc, char** argv, const std::string& folder);

class WindowProcess {
public:
    WindowProcess(const char* self, const std::string& folder) {
        int in[2];
        int out[2];
        if (pipe(in) != 0 || pipe(out) != 0) throw std::runtime_error("pipe failed");
        pid_ = spawn({self, "--window", folder}, in[0], {}, out[1]);
        close(in[0]);
        close(out[1]);
        to_ = in[1];
        from_ = fdopen(out[0], "r");
    }
    ~WindowProcess() {
        ask("quit");
        close(to_);
        fclose(from_);
        waitExit(pid_);
    }
    std::string ask(const std::string& command) {
        const std::string line = command + "\n";
        if (write(to_, line.data(), line.size()) < 0) throw std::runtime_error("window gone");
        char reply[256] = {};
        if (fgets(reply, sizeof reply, from_) == nullptr) throw std::runtime_error("window gone");
        std::string text = reply;
        if (!text.empty() && text.back() == '\n') text.pop_back();
        return text;
    }
    double askNumber(const std::string& command) { return std::atof(ask(command).c_str()); }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int to_ = -1;
    FILE* from_ = nullptr;
};

// A level a mixer sets on the stream (25 %) and what each command does to it, and how soon the
// volume bar shows it. The rows `track.mp3`, `zz_join1.wav`, `zx_a.wav` are in the list.
void measureMixerHeld(WindowProcess& window, const std::string& folder, Figures& figures);
// Dropouts and what the server holds while `track` plays beside 8 busy loops, for us and for
// mpg123 on the same file.
void measureUnderLoad(WindowProcess& window, pid_t server, const std::string& folder,
                      const std::string& track, double seconds, Figures& figures);

}  // namespace bench
