// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/pcm_converter.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <type_traits>

#include "playback/decoder.h"

namespace playback {
namespace {

// Input frames handed to the resampler at a time, which bounds its buffers whatever the ratio.
constexpr std::size_t kBlockFrames = 4096;
constexpr int kMaxChannels = 64;

// The WAVE speaker bits in channel order, as a file without a mask lays its channels out.
enum Side { kLeft, kRight, kCentre, kNone };
constexpr Side kSpeakerSides[18] = {
    kLeft,   kRight,  kCentre,  // front left, right, centre
    kNone,                      // low frequency
    kLeft,   kRight,            // back left, right
    kLeft,   kRight,            // front left and right of centre
    kCentre,                    // back centre
    kLeft,   kRight,            // side left, right
    kCentre,                    // top centre
    kLeft,   kCentre, kRight,   // top front
    kLeft,   kCentre, kRight,   // top back
};

float toFloat(std::int16_t sample) {
    return float(sample) * (1.0f / 32768.0f);
}
float toFloat(float sample) {
    return sample;
}

std::int16_t toInt16(float sample) {
    const float scaled = std::nearbyint(sample * 32768.0f);
    return std::int16_t(std::clamp(scaled, -32768.0f, 32767.0f));
}

void appendInt16(const float* samples, std::size_t frames, std::vector<std::int16_t>& out) {
    const std::size_t at = out.size();
    out.resize(at + frames * 2);
    for (std::size_t i = 0; i < frames * 2; ++i) out[at + i] = toInt16(samples[i]);
}

}  // namespace

PcmConverter::PcmConverter(OutputFormat output) : output_(output) {}

PcmConverter::~PcmConverter() {
    if (resampler_) soxr_delete(resampler_);
}

bool PcmConverter::start(int rate, int channels, std::uint32_t speakers) {
    rate_ = channels_ = 0;
    if (rate < kMinSampleRate || rate > kMaxSampleRate || channels < 1 || channels > kMaxChannels)
        return false;
    left_.assign(std::size_t(channels), 0.0f);
    right_.assign(std::size_t(channels), 0.0f);
    if (channels <= 2) {
        left_[0] = 1.0f;
        right_[std::size_t(channels) - 1] = 1.0f;
    } else {
        // Each channel goes to the side its speaker stands on, a centre one to both at -3 dB,
        // the low frequencies nowhere; the sums are scaled so that nothing clips.
        int position = -1;
        for (int c = 0; c < channels; ++c) {
            do {
                ++position;
            } while (speakers != 0 && position < 32 && !(speakers >> position & 1));
            const Side side = position < 18 ? kSpeakerSides[position] : kCentre;
            const float centre = std::sqrt(0.5f);
            left_[std::size_t(c)] = side == kLeft ? 1.0f : side == kCentre ? centre : 0.0f;
            right_[std::size_t(c)] = side == kRight ? 1.0f : side == kCentre ? centre : 0.0f;
        }
        float sumLeft = 0, sumRight = 0;
        for (int c = 0; c < channels; ++c) {
            sumLeft += left_[std::size_t(c)];
            sumRight += right_[std::size_t(c)];
        }
        const float scale = 1.0f / std::max({sumLeft, sumRight, 1.0f});
        for (int c = 0; c < channels; ++c) {
            left_[std::size_t(c)] *= scale;
            right_[std::size_t(c)] *= scale;
        }
    }
    if (rate != output_.sampleRate) {
        if (resampler_ && resamplerRate_ == rate) {
            soxr_clear(resampler_);
        } else {
            if (resampler_) soxr_delete(resampler_);
            soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_INT16_I);
            io.flags |= SOXR_NO_DITHER;  // the same samples for the same file, every time
            const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
            const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
            soxr_error_t error = nullptr;
            resampler_ = soxr_create(rate, output_.sampleRate, 2, &error, &io, &quality, &runtime);
            resamplerRate_ = error ? 0 : rate;
            if (error) {
                soxr_delete(resampler_);
                resampler_ = nullptr;
                return false;
            }
        }
    }
    fed_ = made_ = 0;
    carried_.clear();
    rate_ = rate;
    channels_ = channels;
    return true;
}

std::int64_t PcmConverter::outputFrames(int rate, int outputRate, std::int64_t frames) {
    if (rate <= 0 || frames <= 0) return 0;
    if (rate == outputRate) return frames;
    // In two steps, so that no product overflows.
    return frames / rate * outputRate + frames % rate * outputRate / rate;
}

std::int64_t PcmConverter::inputFrames(int rate, int outputRate, std::int64_t frames) {
    if (outputRate <= 0 || frames <= 0) return 0;
    if (rate == outputRate) return frames;
    // The least n whose outputFrames(n) reaches `frames`.
    std::int64_t n =
        frames / outputRate * rate + (frames % outputRate * rate + outputRate - 1) / outputRate;
    while (n > 0 && outputFrames(rate, outputRate, n - 1) >= frames) --n;
    while (outputFrames(rate, outputRate, n) < frames) ++n;
    return n;
}

std::int64_t PcmConverter::history() const {
    if (!resampling() || !resampler_) return 0;
    // The resampler's delay, in input frames, twice over.
    return 2 * std::int64_t(std::ceil(soxr_delay(resampler_) * rate_ / output_.sampleRate)) + 16;
}

void PcmConverter::convert(const std::int16_t* in, std::size_t frames,
                           std::vector<std::int16_t>& out) {
    if (rate_ == 0) return;
    if (!resampling() && channels_ <= 2) {
        // The common case needs no arithmetic: copied, or mono doubled.
        const std::size_t at = out.size();
        out.resize(at + frames * 2);
        if (channels_ == 2) {
            std::copy(in, in + frames * 2, out.begin() + std::ptrdiff_t(at));
        } else {
            for (std::size_t i = 0; i < frames; ++i) out[at + 2 * i] = out[at + 2 * i + 1] = in[i];
        }
        return;
    }
    mixAndDeliver(in, frames, out);
}

void PcmConverter::convert(const float* in, std::size_t frames, std::vector<std::int16_t>& out) {
    if (rate_ == 0) return;
    mixAndDeliver(in, frames, out);
}

template <typename Sample>
void PcmConverter::mixAndDeliver(const Sample* in, std::size_t frames,
                                 std::vector<std::int16_t>& out) {
    const std::size_t channels = std::size_t(channels_);
    for (std::size_t done = 0; done < frames;) {
        const std::size_t n = std::min(kBlockFrames, frames - done);
        const Sample* block = in + done * channels;
        done += n;
        if constexpr (std::is_same_v<Sample, float>) {
            if (channels == 2) {
                deliver(block, n, out);
                continue;
            }
        }
        stereo_.resize(n * 2);
        if (channels == 2) {
            for (std::size_t i = 0; i < n * 2; ++i) stereo_[i] = toFloat(block[i]);
        } else {
            for (std::size_t i = 0; i < n; ++i) {
                float left = 0, right = 0;
                for (std::size_t c = 0; c < channels; ++c) {
                    const float v = toFloat(block[i * channels + c]);
                    left += v * left_[c];
                    right += v * right_[c];
                }
                stereo_[2 * i] = left;
                stereo_[2 * i + 1] = right;
            }
        }
        deliver(stereo_.data(), n, out);
    }
}

void PcmConverter::deliver(const float* stereo, std::size_t frames,
                           std::vector<std::int16_t>& out) {
    if (!resampling()) {
        appendInt16(stereo, frames, out);
        return;
    }
    fed_ += std::int64_t(frames);
    // The resampler writes behind what it carried over; a flush gives what it holds in as many
    // calls as it takes.
    const std::size_t room =
        std::size_t(outputFrames(rate_, output_.sampleRate, std::int64_t(frames)) +
                    std::int64_t(soxr_delay(resampler_)) + 64);
    for (;;) {
        const std::size_t at = carried_.size();
        carried_.resize(at + room * 2);
        std::size_t done = 0;
        soxr_process(resampler_, stereo, stereo ? frames : 0, nullptr, carried_.data() + at, room,
                     &done);
        carried_.resize(at + done * 2);
        if (stereo || done == 0) break;
    }
    // What goes beyond the run's count so far waits: the resampler lags by its delay, so that
    // is rare.
    const std::int64_t due = outputFrames(rate_, output_.sampleRate, fed_) - made_;
    const std::size_t take =
        std::size_t(std::clamp<std::int64_t>(due, 0, std::int64_t(carried_.size() / 2)));
    out.insert(out.end(), carried_.begin(), carried_.begin() + std::ptrdiff_t(take * 2));
    carried_.erase(carried_.begin(), carried_.begin() + std::ptrdiff_t(take * 2));
    made_ += std::int64_t(take);
}

void PcmConverter::finish(std::vector<std::int16_t>& out) {
    if (rate_ == 0 || !resampling()) return;
    deliver(nullptr, 0, out);
    // Should the resampler have given fewer than the run's count, silence makes it up.
    const std::int64_t owed = outputFrames(rate_, output_.sampleRate, fed_) - made_;
    if (owed > 0) out.resize(out.size() + std::size_t(owed) * 2, 0);
    made_ += std::max<std::int64_t>(owed, 0);
    carried_.clear();
}

}  // namespace playback
