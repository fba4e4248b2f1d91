// SPDX-License-Identifier: GPL-3.0-or-later
// The PulseAudio output's level: the wave-out level as our stream's own volume in the server,
// and what a mixer does to the stream from outside (its volume, balance, mute and device),
// which the server reports and the output adopts. Threads and locks as in pulse_output.h.

#include <algorithm>
#include <cmath>

#include "playback/device.h"
#include "playback/pulse_output.h"

namespace playback {
namespace {

// The packed wave-out level (0..0xFFFF a channel, linear) as the stream's volume: the same
// amplitude a gain applied to the samples would give.
pa_cvolume volumeOf(std::uint32_t packed) {
    pa_cvolume volume;
    volume.channels = 2;
    volume.values[0] = pa_sw_volume_from_linear(double(packed & 0xFFFFu) / 0xFFFF);
    volume.values[1] = pa_sw_volume_from_linear(double(packed >> 16) / 0xFFFF);
    return volume;
}

// And back: a mixer's volume as a packed level, each channel at most full (a mixer may go
// beyond, which the server keeps).
std::uint32_t packedOf(const pa_cvolume& volume) {
    auto channel = [&](unsigned c) {
        const double linear =
            pa_sw_volume_to_linear(volume.values[std::min(c, volume.channels - 1u)]);
        return std::uint32_t(std::lround(std::clamp(linear, 0.0, 1.0) * 0xFFFF));
    };
    return channel(0) | channel(1) << 16;
}

}  // namespace

void PulseOutput::setMixerListener(MixerListener listener) {
    LoopLock lock(loop_);
    mixerListener_ = std::move(listener);
}

std::optional<AudioOutput::MixerLevel> PulseOutput::mixerLevel() {
    LoopLock lock(loop_);
    if (!level_) return std::nullopt;
    return MixerLevel{*level_, streamMuted_.value_or(false)};
}

void PulseOutput::setLevel(std::uint32_t packed) {
    LoopLock lock(loop_);
    // Before the first write the stream keeps the level the server gives it.
    if (!level_ && packed == kUntouchedLevel) return;
    level_ = packed;
    applyLevel();
}

void PulseOutput::applyLevel() {
    const pa_cvolume volume = volumeOf(*level_);
    const bool volumeDiffers = !streamVolume_ || !pa_cvolume_equal(&volume, &*streamVolume_);
    // A level written is one to be heard: a mixer's mute (or one the server chose) ends.
    const bool muteDiffers = streamMuted_ != false;
    streamVolume_ = volume;
    streamMuted_ = false;
    if (stream_ == nullptr) return;  // a new stream starts so
    if (pa_stream_get_state(stream_) != PA_STREAM_READY) {
        levelPending_ = true;
        return;
    }
    sendLevel(volumeDiffers, muteDiffers);
}

void PulseOutput::sendLevel(bool volume, bool mute) {
    const std::uint32_t index = pa_stream_get_index(stream_);
    if (volume && streamVolume_)
        forget(
            pa_context_set_sink_input_volume(context_, index, &*streamVolume_, nullptr, nullptr));
    if (mute && streamMuted_)
        forget(pa_context_set_sink_input_mute(context_, index, *streamMuted_, nullptr, nullptr));
    // Reports asked for before this change answer with what the server had before it.
    if (volume || mute) infoStaleUpTo_ = infoAsked_;
}

void PulseOutput::subscribe() {
    infoAsked_ = infoAnswered_ = infoStaleUpTo_ = 0;
    pa_context_set_subscribe_callback(context_, &PulseOutput::onSubscription, this);
    forget(pa_context_subscribe(context_, PA_SUBSCRIPTION_MASK_SINK_INPUT, nullptr, nullptr));
}

void PulseOutput::onSubscription(pa_context*, pa_subscription_event_type_t type,
                                 std::uint32_t index, void* self) {
    auto* output = static_cast<PulseOutput*>(self);
    if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SINK_INPUT ||
        (type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_REMOVE ||
        output->stream_ == nullptr || pa_stream_get_state(output->stream_) != PA_STREAM_READY ||
        pa_stream_get_index(output->stream_) != index)
        return;
    output->askStreamInfo();
}

void PulseOutput::askStreamInfo() {
    pa_operation* operation = pa_context_get_sink_input_info(context_, pa_stream_get_index(stream_),
                                                             &PulseOutput::onStreamInfo, this);
    if (operation == nullptr) return;
    ++infoAsked_;
    forget(operation);
}

void PulseOutput::onStreamInfo(pa_context*, const pa_sink_input_info* info, int eol, void* self) {
    auto* output = static_cast<PulseOutput*>(self);
    // Each request ends with an end-of-list call; one with the stream comes before it when the
    // stream still exists.
    if (eol != 0) {
        ++output->infoAnswered_;
        return;
    }
    if (info == nullptr || output->stream_ == nullptr ||
        info->index != pa_stream_get_index(output->stream_) ||
        output->infoAnswered_ < output->infoStaleUpTo_)
        return;
    if (info->sink != output->streamSink_) output->rememberSink(info->sink);
    const bool muted = info->mute != 0;
    if (output->streamVolume_ && pa_cvolume_equal(&info->volume, &*output->streamVolume_) &&
        output->streamMuted_ == muted)
        return;
    // A mixer's change (or the server's own level for a stream whose level we did not set):
    // it stands, and the program's level becomes it without being written back.
    output->streamVolume_ = info->volume;
    output->streamMuted_ = muted;
    output->level_ = packedOf(info->volume);
    if (output->mixerListener_) output->mixerListener_();
}

void PulseOutput::rememberSink(std::uint32_t sink) {
    // The first report tells where the server put the stream; a later one, a move.
    const bool moved = streamSink_ != PA_INVALID_INDEX;
    streamSink_ = sink;
    if (!moved) return;
    forget(pa_context_get_sink_info_by_index(
        context_, sink,
        [](pa_context*, const pa_sink_info* info, int, void* self) {
            if (info != nullptr) static_cast<PulseOutput*>(self)->movedTo_ = info->name;
        },
        this));
}

}  // namespace playback
