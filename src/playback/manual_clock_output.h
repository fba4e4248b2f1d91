// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A null output for tests, driven by a manual clock: nothing plays until the test calls
// advance(), which consumes exactly that much audio on the calling thread, waiting for the
// decoder when it lags. With a sample rate that is a multiple of 1000 (the default 48000),
// Position() then has moved by exactly the milliseconds advanced, or reached Length(), and a
// finished track's end is pending as a queued event: process events to get notified.
// With a latency, it stands for a sound server's buffer: it keeps that much audio taken ahead
// of what it has played (dropped when stopped), so a track's last frame is handed over that
// long before it is heard and the track that follows may be queued meanwhile.
//
// Threads: UI thread only (the player's thread). The test keeps a raw pointer after handing
// ownership to MediaPlayer, or casts MediaPlayer::output().

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "playback/audio_output.h"

namespace playback {

class ManualClockOutput final : public AudioOutput {
public:
    explicit ManualClockOutput(OutputFormat format = OutputFormat{48000, 2},
                               std::chrono::milliseconds latency = std::chrono::milliseconds(0));

    void attach(AudioSource* source) override { source_ = source; }
    OutputFormat open() override;
    void setState(OutputState state) override;
    bool holdsFrames() const override { return latencyFrames_ > 0; }
    std::int64_t queuedFrames() override { return queued_; }
    std::string driver() const override { return "manual"; }
    void setMixerListener(MixerListener listener) override { mixerListener_ = std::move(listener); }
    std::optional<MixerLevel> mixerLevel() override { return mixer_; }
    // Stands for a mixer that sets the stream's level and mute from outside.
    void setFromMixer(std::uint32_t packed, bool muted) {
        mixer_ = MixerLevel{packed, muted};
        if (mixerListener_) mixerListener_();
    }

    // Plays `duration` of audio, or less when the track ends or is not playing; returns the
    // frames played. The frames taken are kept for samples().
    std::int64_t advance(std::chrono::milliseconds duration);

    // Every frame taken so far, interleaved, with the gain the source applied.
    const std::vector<std::int16_t>& samples() const { return samples_; }
    void clearSamples() { samples_.clear(); }
    // Off, samples() keeps only the last piece consumed (for long runs such as benchmarks).
    void setKeepSamples(bool keep) { keepSamples_ = keep; }
    OutputFormat format() const { return format_; }
    // What the player last said: true while it has something to play.
    bool running() const { return state_ == OutputState::Playing; }
    OutputState state() const { return state_; }
    int opens() const { return opens_; }
    // The states the player set, in order.
    const std::vector<OutputState>& states() const { return states_; }

private:
    OutputFormat format_;
    AudioSource* source_ = nullptr;
    OutputState state_ = OutputState::Stopped;
    std::vector<OutputState> states_;
    std::int64_t latencyFrames_ = 0;
    std::int64_t queued_ = 0;  // taken, not yet played
    int opens_ = 0;
    bool keepSamples_ = true;
    std::vector<std::int16_t> samples_;
    MixerListener mixerListener_;
    std::optional<MixerLevel> mixer_;
};

}  // namespace playback
