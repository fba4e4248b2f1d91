#include "playback/pcm_converter.h"

#include <syn123.h>

#include <algorithm>
#include <cmath>

#include "playback/decoder.h"

namespace playback {
namespace {

// Input frames handed to the resampler at a time, which bounds its buffers whatever the ratio.
constexpr std::size_t kBlockFrames = 4096;
constexpr int kMaxChannels = 64;

// The WAVE speaker bits in channel order, as a file without a mask lays its channels out.
enum Side { kLeft, kRight, kCentre, kNone };
constexpr Side kSpeakerSides[18] = {
    kLeft,  kRight, kCentre,  // front left, right, centre
    kNone,                    // low frequency
    kLeft,  kRight,           // back left, right
    kLeft,  kRight,           // front left and right of centre
    kCentre,                  // back centre
    kLeft,  kRight,           // side left, right
    kCentre,                  // top centre
    kLeft,  kCentre, kRight,  // top front
    kLeft,  kCentre, kRight,  // top back
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

// How late the resampler's output is, in output frames: where its answer to an impulse peaks.
std::int64_t resamplerDelay(syn123_handle* resampler, int rate, int outputRate) {
    const std::size_t frames = 64 + 4 * std::size_t(rate / outputRate);
    std::vector<float> in(frames * 2, 0.0f);
    in[0] = in[1] = 1.0f;
    std::vector<float> out(syn123_resample_count(rate, outputRate, frames) * 2);
    const std::size_t made = syn123_resample(resampler, out.data(), in.data(), frames);
    std::size_t peak = 0;
    for (std::size_t i = 0; i < made; ++i)
        if (std::abs(out[2 * i]) > std::abs(out[2 * peak])) peak = i;
    return std::int64_t(peak);
}

}  // namespace

PcmConverter::PcmConverter(OutputFormat output) : output_(output) {}

PcmConverter::~PcmConverter() {
    if (resampler_) syn123_del(resampler_);
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
        int error = 0;
        if (!resampler_) resampler_ = syn123_new(output_.sampleRate, 2, MPG123_ENC_FLOAT_32, 0, &error);
        if (!resampler_) return false;
        // Cleared first: set up again with only another rate, it would keep its history.
        const auto setUp = [&] {
            syn123_setup_resample(resampler_, 0, 0, 0, 0, 0);
            return syn123_setup_resample(resampler_, rate, output_.sampleRate, 2, 0, 0) ==
                   SYN123_OK;
        };
        if (!setUp()) return false;
        delay_ = resamplerDelay(resampler_, rate, output_.sampleRate);
        if (!setUp()) return false;
    } else {
        delay_ = 0;
    }
    dropped_ = 0;
    rate_ = rate;
    channels_ = channels;
    return true;
}

std::int64_t PcmConverter::outputFrames(int rate, int outputRate, std::int64_t frames) {
    if (rate == outputRate || frames <= 0) return std::max<std::int64_t>(frames, 0);
    const off_t total = syn123_resample_total(rate, outputRate, off_t(frames));
    return total < 0 ? 0 : std::int64_t(total);
}

std::int64_t PcmConverter::inputFrames(int rate, int outputRate, std::int64_t frames) {
    if (rate == outputRate || frames <= 0) return std::max<std::int64_t>(frames, 0);
    const off_t total = syn123_resample_intotal(rate, outputRate, off_t(frames));
    return total < 0 ? 0 : std::int64_t(total);
}

std::int64_t PcmConverter::history(int rate, int outputRate) {
    if (rate == outputRate) return 0;
    return std::int64_t(std::min<std::size_t>(syn123_resample_history(rate, outputRate, 0), 1 << 16));
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
    mixAndEmit(in, frames, out);
}

void PcmConverter::convert(const float* in, std::size_t frames, std::vector<std::int16_t>& out) {
    if (rate_ == 0) return;
    mixAndEmit(in, frames, out);
}

template <typename Sample>
void PcmConverter::mixAndEmit(const Sample* in, std::size_t frames,
                              std::vector<std::int16_t>& out) {
    const std::size_t channels = std::size_t(channels_);
    for (std::size_t done = 0; done < frames;) {
        const std::size_t n = std::min(kBlockFrames, frames - done);
        stereo_.resize(n * 2);
        const Sample* block = in + done * channels;
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
        emit(n, out);
        done += n;
    }
}

void PcmConverter::finish(std::vector<std::int16_t>& out) {
    if (rate_ == 0 || !resampling()) return;
    // Silence after the run pushes its last frames out of the filters; what comes beyond the
    // frames owed is not kept.
    std::int64_t owed = dropped_;
    dropped_ = delay_;  // nothing more is dropped
    const std::size_t step = std::size_t(PcmConverter::inputFrames(rate_, output_.sampleRate, owed)) + 2;
    for (int round = 0; owed > 0 && round < 8; ++round) {
        stereo_.assign(step * 2, 0.0f);
        resampled_.resize(syn123_resample_count(rate_, output_.sampleRate, step) * 2);
        const std::int64_t made = std::int64_t(
            syn123_resample(resampler_, resampled_.data(), stereo_.data(), step));
        const std::int64_t kept = std::min(made, owed);
        const std::size_t at = out.size();
        out.resize(at + std::size_t(kept) * 2);
        for (std::size_t i = 0; i < std::size_t(kept) * 2; ++i) out[at + i] = toInt16(resampled_[i]);
        owed -= kept;
    }
}

void PcmConverter::emit(std::size_t frames, std::vector<std::int16_t>& out) {
    const float* samples = stereo_.data();
    std::size_t count = frames;
    if (resampling()) {
        resampled_.resize(syn123_resample_count(rate_, output_.sampleRate, frames) * 2);
        count = syn123_resample(resampler_, resampled_.data(), stereo_.data(), frames);
        samples = resampled_.data();
        // The start of a run comes out late: that much of it is dropped.
        const std::size_t drop = std::size_t(std::min<std::int64_t>(delay_ - dropped_, count));
        dropped_ += std::int64_t(drop);
        samples += drop * 2;
        count -= drop;
    }
    const std::size_t at = out.size();
    out.resize(at + count * 2);
    for (std::size_t i = 0; i < count * 2; ++i) out[at + i] = toInt16(samples[i]);
}

}  // namespace playback
