#pragma once
// What a process costs while it runs, read from /proc: CPU time summed over its threads
// (schedstat, nanoseconds) and its wake-ups (voluntary context switches: each time a thread
// slept and was woken). Threads that end between two readings take their share with them,
// so phases are measured while the same threads live.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

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

// Starts a command (no shell) and returns at once; stdin from `stdinFd` when not -1, stdout to
// `stdoutFd` or `stdoutPath` when given (else, like stderr, to /dev/null).
inline pid_t spawn(const std::vector<std::string>& argv, int stdinFd = -1,
                   const std::string& stdoutPath = {}, int stdoutFd = -1) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (stdinFd != -1) dup2(stdinFd, 0);
        const int null = ::open("/dev/null", O_WRONLY);
        const int out = stdoutFd != -1 ? stdoutFd
                        : stdoutPath.empty()
                            ? null
                            : ::open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        dup2(null, 2);
        execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

inline int waitExit(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

inline void stopChild(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitExit(pid);
}

// A private PulseAudio server on its own socket with one null sink, "vsink", as the tests use
// (norewinds=1: without it a new stream's first buffer stalls). The environment points every
// client started afterwards, in this process or its children, at it.
class PrivateSoundServer {
public:
    PrivateSoundServer() {
        char pattern[] = "/tmp/vorela-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
        dir_ = pattern;
        std::filesystem::create_directories(dir_ + "/home");
        std::filesystem::create_directories(dir_ + "/runtime");
        setenv("HOME", (dir_ + "/home").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (dir_ + "/runtime").c_str(), 1);
        setenv("PULSE_RUNTIME_PATH", (dir_ + "/runtime").c_str(), 1);
        setenv("PULSE_SERVER", ("unix:" + dir_ + "/native").c_str(), 1);
        unsetenv("SDL_AUDIODRIVER");
        pid_ =
            spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
                   "--use-pid-file=no", "--disable-shm=yes", "-L",
                   "module-native-protocol-unix socket=" + dir_ + "/native auth-anonymous=1", "-L",
                   "module-null-sink sink_name=vsink norewinds=1", "-L", "module-always-sink"});
        for (int i = 0; i < 100; ++i) {
            if (waitExit(spawn({"pactl", "info"})) == 0) {
                waitExit(spawn({"pactl", "set-default-sink", "vsink"}));
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        throw std::runtime_error("the private PulseAudio server did not start");
    }
    ~PrivateSoundServer() {
        stopChild(pid_);
        std::error_code error;
        std::filesystem::remove_all(dir_, error);
    }
    PrivateSoundServer(const PrivateSoundServer&) = delete;
    PrivateSoundServer& operator=(const PrivateSoundServer&) = delete;

    pid_t pid() const { return pid_; }
    const std::string& dir() const { return dir_; }

private:
    std::string dir_;
    pid_t pid_ = -1;
};

}  // namespace bench
