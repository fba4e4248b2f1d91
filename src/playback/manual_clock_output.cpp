#include "playback/manual_clock_output.h"

namespace playback {

ManualClockOutput::ManualClockOutput(OutputFormat format) : format_(format) {}

OutputFormat ManualClockOutput::open() {
    ++opens_;
    return format_;
}

std::int64_t ManualClockOutput::advance(std::chrono::milliseconds duration) {
    if (!source_ || duration.count() <= 0) return 0;
    const std::size_t channels = std::size_t(format_.channels);
    const std::size_t wanted =
        std::size_t(duration.count()) * std::size_t(format_.sampleRate) / 1000;
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
    // Settles whether the last frame taken was the end, so that the end is reported now.
    if (done == wanted) source_->pull(nullptr, 0, true);
    return std::int64_t(done);
}

}  // namespace playback
