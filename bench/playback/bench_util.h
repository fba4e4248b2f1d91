// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CPU-time measurement for the playback benchmarks: this process (all its threads) and child
// processes run as references.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

namespace bench {

inline double seconds(const timeval& t) {
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

// User plus system CPU seconds used so far by this process.
inline double processCpu() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

inline double wallNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct ChildCost {
    double cpu = 0;   // user + system seconds of the child
    double wall = 0;  // seconds
};

// Runs a command (no shell) to its end; throws when it cannot start or fails.
inline ChildCost runChild(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const double start = wallNow();
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) throw std::runtime_error("wait4 failed");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(argv[0] + " failed (is it installed?)");
    return {seconds(usage.ru_utime) + seconds(usage.ru_stime), wallNow() - start};
}

}  // namespace bench
