// SPDX-License-Identifier: GPL-3.0-or-later
// Watches the real lyrics window fade in and out on an X server, as a compositor does: through
// the window's _NET_WM_WINDOW_OPACITY property, on a connection of its own. Prints what it saw
// and exits 1 unless each fade reached the server as a ramp of many steps spread over its
// 800 ms (not one jump at the end).
//   DISPLAY=:n QT_QPA_PLATFORM=xcb vorela_fade_steps
#include <QApplication>
#include <QTimer>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "lyrics/lyrics_window.h"

namespace {

struct Step {
    unsigned long serverMs;
    double opacity;
};

int ignoreErrors(Display*, XErrorEvent*) {
    return 0;  // the window may be gone by the time a late read reaches the server
}

// Records every opacity value of `window` until told to stop. Runs on its own thread with its
// own connection; `steps` is guarded by `lock`.
void watch(unsigned long window, std::atomic<bool>& stop, std::mutex& lock,
           std::vector<Step>& steps, std::atomic<bool>& ready) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        ready = true;
        return;
    }
    XSetErrorHandler(ignoreErrors);
    const Atom opacity = XInternAtom(display, "_NET_WM_WINDOW_OPACITY", False);
    XSelectInput(display, window, PropertyChangeMask);
    XSync(display, False);
    ready = true;
    pollfd fd{ConnectionNumber(display), POLLIN, 0};
    while (!stop) {
        if (XPending(display) == 0) {
            poll(&fd, 1, 10);
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != PropertyNotify || event.xproperty.atom != opacity) continue;
        double value = 1.0;  // a deleted property means fully opaque
        Atom type;
        int format;
        unsigned long items, after;
        unsigned char* data = nullptr;
        if (event.xproperty.state == PropertyNewValue &&
            XGetWindowProperty(display, window, opacity, 0, 1, False, XA_CARDINAL, &type, &format,
                               &items, &after, &data) == Success &&
            data != nullptr && items == 1) {
            value = double(*reinterpret_cast<unsigned long*>(data) & 0xFFFFFFFFul) / 0xFFFFFFFFul;
        }
        if (data != nullptr) XFree(data);
        const std::lock_guard<std::mutex> guard(lock);
        steps.push_back({event.xproperty.time, value});
    }
    XCloseDisplay(display);
}

// Distinct values seen between the first one after `from` and the one that reaches `to`.
bool checkRamp(const char* name, const std::vector<Step>& steps, double from, double to) {
    std::set<int> distinct;
    unsigned long first = 0, last = 0;
    bool started = false;
    for (const Step& s : steps) {
        const bool inside = (s.opacity - from) * (to - from) > 0;
        if (!started && !inside) continue;
        if (!started) first = s.serverMs;
        started = true;
        distinct.insert(int(s.opacity * 1000 + 0.5));
        last = s.serverMs;
        if (std::abs(s.opacity - to) < 1e-3) break;
    }
    const unsigned long span = last - first;
    std::printf("%s: %zu distinct opacity values over %lu ms\n", name, distinct.size(), span);
    return distinct.size() >= 20 && span >= 600;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    lyrics::LyricsWindow form;
    form.winId();  // the native window exists before it is shown, so it can be watched

    std::atomic<bool> stop{false}, ready{false};
    std::mutex lock;
    std::vector<Step> steps;
    std::thread watcher(watch, form.winId(), std::ref(stop), std::ref(lock), std::ref(steps),
                        std::ref(ready));
    while (!ready) std::this_thread::yield();

    std::vector<Step> fadeIn, fadeOut;
    QTimer::singleShot(0, &form, [&] {
        form.show();  // returns when the fade in has ended
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        {
            const std::lock_guard<std::mutex> guard(lock);
            fadeIn.swap(steps);
        }
        bool canClose = true;
        form.onCloseQuery(canClose);
        form.onClose();  // fades out, then hides; the native window stays
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        {
            const std::lock_guard<std::mutex> guard(lock);
            fadeOut.swap(steps);
        }
        app.quit();
    });
    app.exec();
    stop = true;
    watcher.join();

    const bool in = checkRamp("fade in", fadeIn, 0.0, 1.0);
    const bool out = checkRamp("fade out", fadeOut, 1.0, 0.0);
    return in && out ? 0 : 1;
}
