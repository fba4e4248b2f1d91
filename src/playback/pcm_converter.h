// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Turns the samples our decoders make (MP3 through libmpg123, WAV through our reader) into what
// the output takes: interleaved 16-bit stereo at the output's rate. Mono is doubled; more
// channels are mixed down by where their speakers stand; another rate is resampled by libsoxr
// (its high quality, on this thread alone). A run of n input frames makes exactly
// outputFrames(n) output frames, whatever pieces they come in, so that a track's length in
// output frames is exact too.
//
// Threads: one object on one thread at a time (the opening thread, then the decoder thread).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "playback/audio_output.h"

struct soxr;

namespace playback {

class PcmConverter {
public:
    explicit PcmConverter(OutputFormat output);
    ~PcmConverter();
    PcmConverter(const PcmConverter&) = delete;
    PcmConverter& operator=(const PcmConverter&) = delete;

    // Starts a run of input at `rate` with `channels` channels, whose speakers the WAVE channel
    // mask `speakers` names (0: the usual order), the resampler's history cleared. False when
    // that shape cannot be converted.
    bool start(int rate, int channels, std::uint32_t speakers = 0);
    int rate() const { return rate_; }
    int channels() const { return channels_; }
    // True when the run goes through the resampler (the rates differ).
    bool resampling() const { return rate_ != output_.sampleRate; }

    // Appends to `out` the output frames that `frames` interleaved input frames make.
    void convert(const std::int16_t* in, std::size_t frames, std::vector<std::int16_t>& out);
    void convert(const float* in, std::size_t frames, std::vector<std::int16_t>& out);
    // Ends the run: appends what the resampler still holds of it, up to the run's exact count.
    void finish(std::vector<std::int16_t>& out);

    // The output frames a run makes of `frames` input frames at `rate`, whatever the pieces
    // they come in.
    static std::int64_t outputFrames(int rate, int outputRate, std::int64_t frames);
    // The input frames at `rate` a run needs to make at least `frames` output frames.
    static std::int64_t inputFrames(int rate, int outputRate, std::int64_t frames);
    // The input frames that bring a fresh resampler close to the state it has after a long run.
    std::int64_t history() const;

private:
    template <typename Sample>
    void mixAndDeliver(const Sample* in, std::size_t frames, std::vector<std::int16_t>& out);
    // Resamples (when the rates differ) and appends the `frames` frames mixed into stereo_, or
    // with null, the resampler's last frames.
    void deliver(const float* stereo, std::size_t frames, std::vector<std::int16_t>& out);

    OutputFormat output_;
    soxr* resampler_ = nullptr;
    int resamplerRate_ = 0;              // the input rate resampler_ is made for
    std::int64_t fed_ = 0;               // input frames of the run
    std::int64_t made_ = 0;              // output frames of the run appended
    std::vector<std::int16_t> carried_;  // resampled, not yet appended (beyond the run's count)
    int rate_ = 0;
    int channels_ = 0;
    std::vector<float> left_;    // each input channel's share of the left output channel
    std::vector<float> right_;   // and of the right one
    std::vector<float> stereo_;  // mixed input, interleaved
};

}  // namespace playback
