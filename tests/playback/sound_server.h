// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A private PulseAudio server for tests and benchmarks that play real sound, and the small
// process helpers they start it and its clients with. The server runs on its own socket under
// a scratch folder with one null sink, "vsink" (norewinds=1: without it a new stream's first
// buffer stalls); the environment points every client started afterwards, in this process or
// its children, at it. Nothing else on the machine is touched.

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace fixtures {

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

inline void stopChild(pid_t pid, int signalNumber = SIGTERM) {
    if (pid <= 0) return;
    kill(pid, signalNumber);
    waitExit(pid);
}

// True when `command` is found on PATH.
inline bool installed(const std::string& command) {
    return waitExit(spawn({"sh", "-c", "command -v " + command})) == 0;
}

// The tests and benchmarks of real sound skip where these are missing.
inline bool pulseAudioInstalled() {
    return installed("pulseaudio") && installed("pactl");
}

class PrivateSoundServer {
public:
    // With `suspendWhenIdle`, the sink is suspended a second after nothing plays on it, as a
    // desktop's server does; without, it renders silence all the time.
    explicit PrivateSoundServer(bool suspendWhenIdle = false) : suspendWhenIdle_(suspendWhenIdle) {
        char pattern[] = "/tmp/vorela-sound-XXXXXX";
        if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
        dir_ = pattern;
        std::filesystem::create_directories(dir_ + "/home");
        std::filesystem::create_directories(dir_ + "/runtime");
        setenv("HOME", (dir_ + "/home").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (dir_ + "/runtime").c_str(), 1);
        setenv("PULSE_RUNTIME_PATH", (dir_ + "/runtime").c_str(), 1);
        setenv("PULSE_SERVER", ("unix:" + dir_ + "/native").c_str(), 1);
        unsetenv("SDL_AUDIODRIVER");
        start();
    }
    ~PrivateSoundServer() {
        stopChild(pid_);
        std::error_code error;
        std::filesystem::remove_all(dir_, error);
    }
    PrivateSoundServer(const PrivateSoundServer&) = delete;
    PrivateSoundServer& operator=(const PrivateSoundServer&) = delete;

    // Starts the server (again, on the same socket) and waits until it answers.
    void start() {
        std::vector<std::string> argv{
            "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
            "--use-pid-file=no", "--disable-shm=yes", "-L",
            "module-native-protocol-unix socket=" + dir_ + "/native auth-anonymous=1", "-L",
            "module-null-sink sink_name=vsink norewinds=1", "-L", "module-always-sink"};
        if (suspendWhenIdle_) argv.insert(argv.end(), {"-L", "module-suspend-on-idle timeout=1"});
        pid_ = spawn(argv);
        for (int i = 0; i < 100; ++i) {
            if (waitExit(spawn({"pactl", "info"})) == 0) {
                waitExit(spawn({"pactl", "set-default-sink", "vsink"}));
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        throw std::runtime_error("the private PulseAudio server did not start");
    }
    // Ends the server at once, as a crash would: no client is told.
    void kill() {
        stopChild(pid_, SIGKILL);
        pid_ = -1;
    }

    pid_t pid() const { return pid_; }
    // The server's scratch folder, removed with it: a place for the files a test plays too.
    const std::string& dir() const { return dir_; }

private:
    bool suspendWhenIdle_;
    std::string dir_;
    pid_t pid_ = -1;
};

}  // namespace fixtures
