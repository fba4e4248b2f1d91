// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A timer of the progress display. The design's two timers tick every 100 and 10 ms for as long
// as they are enabled, and find nothing to do while no track plays. This one keeps the enabled
// state just as the design sets it, but fires only when armed: one period after it is enabled,
// at once after a command moved the position, and then, armed again by its handler while a
// track plays, at the moment the shown whole second can next change. While nothing plays it is
// left unarmed. The bar and the time texts change at the same moments as with the design's
// polling, without some 110 wake-ups a second.
//
// UI thread.

#include <QTimer>

namespace main_window {

class DisplayTimer final : public QTimer {
public:
    DisplayTimer(int period, QObject* parent) : QTimer(parent), period_(period) {
        setSingleShot(true);
        // A coarse timer may fire up to 5 % of its interval late: 50 ms for a second away.
        setTimerType(Qt::PreciseTimer);
        setInterval(period);
    }

    bool isEnabled() const { return enabled_; }
    // Enables the timer and arms it for one period from now.
    void enable() {
        enabled_ = true;
        start(period_);
    }
    void disable() {
        enabled_ = false;
        stop();
    }
    // Arms an enabled timer to fire in `ms`; a disabled one stays as it is.
    void armIn(int ms) {
        if (enabled_) start(ms);
    }

private:
    int period_;
    bool enabled_ = false;
};

}  // namespace main_window
