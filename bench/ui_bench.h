// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared pieces of the benchmarks that drive real windows: whether the accessibility bridge is
// on, how long the UI thread keeps an input event waiting, and the heap in use.
//
// Threads: ResponseProbe's sender thread only posts events; everything else runs on the UI
// thread.

#include <QAccessible>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QObject>

#include <malloc.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace bench {

// Lets the accessibility bridge come up (it connects to the bus from the event loop), then
// says whether it is on. Run under bench/accessibility.sh on|off.
inline const char* accessibilityBridge() {
    QElapsedTimer waited;
    waited.start();
    while (!QAccessible::isActive() && waited.elapsed() < 1500) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return QAccessible::isActive() ? "on" : "off";
}

// Bytes of heap in use (glibc's count), for memory per row.
inline std::size_t heapInUse() {
    return mallinfo2().uordblks;
}

inline double medianOf(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// A heavily loaded machine: `n` child processes that spin until this object goes.
class BusyLoad {
public:
    explicit BusyLoad(int n) {
        for (int i = 0; i < n; ++i) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                volatile unsigned long spin = 0;
                for (;;) spin = spin + 1;
            }
            if (pid > 0) children_.push_back(pid);
        }
    }
    ~BusyLoad() {
        for (pid_t pid : children_) ::kill(pid, SIGKILL);
        for (pid_t pid : children_) ::waitpid(pid, nullptr, 0);
    }
    BusyLoad(const BusyLoad&) = delete;
    BusyLoad& operator=(const BusyLoad&) = delete;

private:
    std::vector<pid_t> children_;
};

// Stands in for a user clicking at a steady pace: a helper thread posts an event every
// `period`, and the UI thread notes how long each one waited before it was handled. The worst
// wait is the longest the window left a click unanswered.
class ResponseProbe : public QObject {
public:
    explicit ResponseProbe(std::chrono::milliseconds period = std::chrono::milliseconds(20))
        : period_(period) {}
    ~ResponseProbe() override { stop(); }

    void start() {
        stop();
        worst_ = 0;
        answered_ = 0;
        running_ = true;
        sender_ = std::thread([this] {
            std::unique_lock lock(m_);
            while (running_) {
                QCoreApplication::postEvent(this, new Stamped(Clock::now()));
                wake_.wait_for(lock, period_, [this] { return !running_; });
            }
        });
    }
    // Stops posting and lets the posted events arrive; returns the worst wait in ms.
    double stop() {
        if (sender_.joinable()) {
            {
                std::lock_guard lock(m_);
                running_ = false;
            }
            wake_.notify_all();
            sender_.join();
            QCoreApplication::sendPostedEvents(this, kType);
        }
        return worst_;
    }
    double worstMs() const { return worst_; }
    int answered() const { return answered_; }

protected:
    bool event(QEvent* e) override {
        if (e->type() != kType) return QObject::event(e);
        const auto waited = Clock::now() - static_cast<Stamped*>(e)->postedAt;
        worst_ = std::max(worst_, std::chrono::duration<double, std::milli>(waited).count());
        ++answered_;
        return true;
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr QEvent::Type kType = static_cast<QEvent::Type>(QEvent::User + 77);
    struct Stamped : QEvent {
        explicit Stamped(Clock::time_point at) : QEvent(kType), postedAt(at) {}
        Clock::time_point postedAt;
    };

    std::chrono::milliseconds period_;
    std::thread sender_;
    std::mutex m_;
    std::condition_variable wake_;
    bool running_ = false;  // guarded by m_
    double worst_ = 0;      // UI thread
    int answered_ = 0;      // UI thread
};

}  // namespace bench
