// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/manual_clock_output.h"

#include <algorithm>

namespace playback {

ManualClockOutput::ManualClockOutput(OutputFormat format, std::chrono::milliseconds latency)
    : format_(format), latencyFrames_(latency.count() * format.sampleRate / 1000) {}

void ManualClockOutput::setState(OutputState state) {
    state_ = state;
    states_.push_back(state);
    if (state == OutputState::Stopped) queued_ = 0;
}

OutputFormat ManualClockOutput::open() {
    ++opens_;
    return format_;
}

std::int64_t ManualClockOutput::advance(std::chrono::milliseconds duration) {
    if (!source_ || duration.count() <= 0) return 0;
    const std::size_t channels = std::size_t(format_.channels);
    const std::int64_t toPlay = duration.count() * format_.sampleRate / 1000;
    // Taken so that the latency's worth is still held after playing.
    const std::size_t wanted =
        state_ == OutputState::Playing
            ? std::size_t(std::max<std::int64_t>(0, toPlay + latencyFrames_ - queued_))
            : 0;
    std::size_t done = 0;
    if (!keepSamples_) samples_.clear();
    while (done < wanted) {
        if (!keepSamples_) samples_.clear();
        const std::size_t at = samples_.size();
        samples_.resize(at + (wanted - done) * channels);
        const std::size_t got = source_->pull(samples_.data() + at, wanted - done, true);
        samples_.resize(at + got * channels);
        done += got;
        if (got == 0) break;  // ended, or not playing
    }
    queued_ += std::int64_t(done);
    const std::int64_t played = state_ == OutputState::Paused ? 0 : std::min(toPlay, queued_);
    queued_ -= played;
    if (latencyFrames_ > 0) {
        source_->heard(queued_);
    } else if (done == wanted && wanted > 0) {
        // Settles whether the last frame taken was the end, so that the end is reported now.
        source_->pull(nullptr, 0, true);
    }
    return played;
}

}  // namespace playback
