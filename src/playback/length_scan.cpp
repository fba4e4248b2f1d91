// SPDX-License-Identifier: GPL-3.0-or-later
// The parts of decoder.h that every decoder uses, the FFmpeg module's too.
#include <pthread.h>

#include <algorithm>

#include "playback/decoder.h"

namespace playback {

TrackLength TrackLength::ofFrames(std::int64_t frames, int rate) {
    frames = std::max<std::int64_t>(frames, 0);
    return {frames, rate > 0 ? frames * 1000 / rate : 0};
}

LengthScan::LengthScan(TrackLength estimate, Measure measure, std::function<void()> lengthFound)
    : found_(estimate) {
    thread_ =
        std::thread([this, measure = std::move(measure), lengthFound = std::move(lengthFound)] {
            pthread_setname_np(pthread_self(), "vorela-length");
            const std::optional<TrackLength> length = measure(stop_);
            if (stop_.load(std::memory_order_relaxed)) return;
            // A file that could not be measured (gone or changed since it was opened) keeps its
            // estimate.
            if (length) found_ = *length;
            done_.store(true, std::memory_order_release);
            if (lengthFound) lengthFound();
        });
}

LengthScan::~LengthScan() {
    stop();
    if (thread_.joinable()) thread_.join();
}

std::optional<TrackLength> LengthScan::found() const {
    if (!done_.load(std::memory_order_acquire)) return std::nullopt;
    return found_;
}

}  // namespace playback
