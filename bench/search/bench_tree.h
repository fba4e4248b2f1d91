// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared pieces of the finder benchmarks: generated trees (made once, kept between runs),
// wall-clock timing, and running a reference tool with its output discarded.

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

inline double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

inline bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

inline void makeDir(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
        throw std::runtime_error("cannot create " + path);
    }
}

// Runs argv with stdout to /dev/null; returns the wall seconds. Throws when it fails.
inline double runQuiet(const std::vector<std::string>& argv, int okStatusMask = 0) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const double start = now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
        throw std::runtime_error("cannot run " + argv[0]);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const double took = now() - start;
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || (WEXITSTATUS(status) & ~okStatusMask) != 0) {
        throw std::runtime_error(argv[0] + " failed");
    }
    return took;
}

// Counts the lines a command prints.
inline long countLines(const std::string& command) {
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) throw std::runtime_error("cannot run " + command);
    long n = 0;
    for (int c; (c = std::fgetc(p)) != EOF;) n += c == '\n';
    ::pclose(p);
    return n;
}

// 5,000 folders (50 with 99 subfolders each) holding 100,000 files: per folder 8 MP3, 4 WMA
// and 8 others, names in mixed letter case.
inline std::string walkTree(const std::string& base) {
    const std::string root = base + "/walk-tree";
    if (exists(root + "/.complete")) return root;
    makeDir(base);
    makeDir(root);
    const char* others[] = {".txt", ".jpg", ".lrc", ".m3u"};
    int folder = 0;
    auto fill = [&](const std::string& dir) {
        for (int i = 0; i < 20; ++i) {
            std::string name = "track" + std::to_string(folder) + "_" + std::to_string(i);
            name += i < 8 ? (i % 2 ? ".mp3" : ".MP3") : i < 12 ? ".wma" : others[i % 4];
            std::ofstream(dir + "/" + name) << "x";
        }
        ++folder;
    };
    for (int a = 0; a < 50; ++a) {
        const std::string top = root + "/artist" + std::to_string(a);
        makeDir(top);
        fill(top);
        for (int b = 0; b < 99; ++b) {
            const std::string sub = top + "/album" + std::to_string(b);
            makeDir(sub);
            fill(sub);
        }
    }
    std::ofstream(root + "/.complete") << folder;
    return root;
}

}  // namespace bench
