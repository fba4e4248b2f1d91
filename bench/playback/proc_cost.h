// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a process costs while it runs, read from /proc: CPU time summed over its threads
// (schedstat, nanoseconds) and its wake-ups (voluntary context switches: each time a thread
// slept and was woken). Threads that end between two readings take their share with them,
// so phases are measured while the same threads live.

#include <filesystem>
#include <fstream>
#include <string>

#include "sound_server.h"

namespace bench {

struct ProcCost {
    double cpuMs = 0;
    long long wakeups = 0;
};

inline ProcCost procCost(pid_t pid) {
    ProcCost cost;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        std::ifstream schedstat(task.path() / "schedstat");
        long long ns = 0;
        if (schedstat >> ns) cost.cpuMs += double(ns) / 1e6;
        std::ifstream status(task.path() / "status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
                cost.wakeups += std::atoll(line.c_str() + 24);
        }
    }
    return cost;
}

inline ProcCost operator-(const ProcCost& a, const ProcCost& b) {
    return {a.cpuMs - b.cpuMs, a.wakeups - b.wakeups};
}

// The process helpers and the private sound server are the tests' own.
using fixtures::PrivateSoundServer;
using fixtures::spawn;
using fixtures::stopChild;
using fixtures::waitExit;

}  // namespace bench
