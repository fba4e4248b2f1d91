// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/pulse_output.h"

#include <algorithm>

#include "playback/device.h"

namespace playback {
namespace {

// What the stream holds. The server asks for more when a request's worth has played, so the
// stream never holds less than (buffer - request), about a second, while we keep up: a busy
// machine may keep us from running that long without a dropout. The server asks the sink for
// (buffer - 2 * request) of latency: the time a cork, a flush or a volume change takes to be
// heard on a sink that cannot take back what it has rendered, so at most 30 ms less a little
// for the rest of the way. The sink wakes once per latency: the longer, the less the server
// works.
constexpr int kBufferMs = 2000;
constexpr int kSinkLatencyMs = 28;
constexpr int kRequestMs = (kBufferMs - kSinkLatencyMs) / 2;
// Playback starts, and starts again after running dry, once this much is there.
constexpr int kStartMs = 60;
// The interpolated clock behind the position is corrected this often while playing, on the
// occasion of a write.
constexpr pa_usec_t kTimingEveryUsec = 1000 * 1000;

// The end of a track counts as heard this close to it, as the stream's clock tells it.
constexpr int kEndSlackMs = 2;

constexpr std::size_t kFrameBytes = 2 * sizeof(std::int16_t);

// While corked, the stream asks for a long sink latency, so that a sink that plays nothing else
// renders silence in long blocks instead of waking every few milliseconds.
constexpr int kCorkedBufferMs = 4000;
constexpr int kCorkedRequestMs = 200;

std::uint32_t bytesFor(int ms, int rate) {
    return std::uint32_t(std::int64_t(ms) * rate / 1000) * std::uint32_t(kFrameBytes);
}

}  // namespace

void PulseOutput::forget(pa_operation* operation) {
    if (operation != nullptr) pa_operation_unref(operation);
}

std::unique_ptr<PulseOutput> PulseOutput::connect(const std::string& name) {
    std::unique_ptr<PulseOutput> output(new PulseOutput(name));
    if (!output->start()) return nullptr;
    return output;
}

bool PulseOutput::start() {
    loop_ = pa_threaded_mainloop_new();
    if (loop_ == nullptr || pa_threaded_mainloop_start(loop_) < 0) return false;
    LoopLock lock(loop_);
    return connectContext();
}

bool PulseOutput::connectContext() {
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, name_.c_str());
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "vorela");
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ICON_NAME, VORELA_APP_ID);
    pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "music");
    context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop_), name_.c_str(),
                                            properties);
    pa_proplist_free(properties);
    if (context_ == nullptr) return false;
    pa_context_set_state_callback(context_, &PulseOutput::onContextState, this);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return false;
    pa_context_state_t state;
    while ((state = pa_context_get_state(context_)) != PA_CONTEXT_READY) {
        if (!PA_CONTEXT_IS_GOOD(state)) return false;
        pa_threaded_mainloop_wait(loop_);
    }
    // The server's own rate, so that it has nothing to convert.
    struct Reply {
        pa_threaded_mainloop* loop;
        std::uint32_t rate = 0;
        bool done = false;
    } reply{loop_};
    pa_operation* operation = pa_context_get_server_info(
        context_,
        [](pa_context*, const pa_server_info* info, void* data) {
            auto* r = static_cast<Reply*>(data);
            if (info != nullptr) r->rate = info->sample_spec.rate;
            r->done = true;
            pa_threaded_mainloop_signal(r->loop, 0);
        },
        &reply);
    if (operation == nullptr) return false;
    while (!reply.done && pa_operation_get_state(operation) == PA_OPERATION_RUNNING)
        pa_threaded_mainloop_wait(loop_);
    pa_operation_unref(operation);
    if (!reply.done) return false;
    format_.sampleRate = reply.rate >= 8000 && reply.rate <= 192000 ? int(reply.rate) : 48000;
    format_.channels = 2;
    subscribe();
    return true;
}

void PulseOutput::dropContext() {
    dropStream();
    if (context_ == nullptr) return;
    // Our own disconnect is no loss.
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
}

PulseOutput::~PulseOutput() {
    if (loop_ == nullptr) return;
    {
        LoopLock lock(loop_);
        dropContext();
    }
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
}

OutputFormat PulseOutput::open() {
    LoopLock lock(loop_);
    if (lost_) {
        // The old connection is dead; a new one may find the server back, at another rate.
        dropContext();
        if (!connectContext()) {
            const char* text = context_ ? pa_strerror(pa_context_errno(context_)) : nullptr;
            throw DeviceError(text != nullptr && *text != '\0' ? text : "Unknown error code");
        }
        lost_ = false;
    }
    return format_;
}

void PulseOutput::onContextState(pa_context* context, void* self) {
    auto* output = static_cast<PulseOutput*>(self);
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) output->lose();
    pa_threaded_mainloop_signal(output->loop_, 0);
}

void PulseOutput::onStreamState(pa_stream* stream, void* self) {
    auto* output = static_cast<PulseOutput*>(self);
    switch (pa_stream_get_state(stream)) {
        case PA_STREAM_READY:
            output->onStreamReady();
            break;
        case PA_STREAM_FAILED:
            // The device a mixer had moved the old stream to is gone: the server chooses.
            if (!output->movedTo_.empty() &&
                pa_context_errno(output->context_) == PA_ERR_NOENTITY &&
                pa_context_get_state(output->context_) == PA_CONTEXT_READY) {
                output->movedTo_.clear();
                output->dropStream();
                output->createStream();
                break;
            }
            output->lose();
            break;
        case PA_STREAM_TERMINATED:
            output->lose();
            break;
        default:
            break;
    }
}

void PulseOutput::onStreamReady() {
    streamSink_ = pa_stream_get_device_index(stream_);
    if (corked_) sendCork();
    if (levelPending_) {
        levelPending_ = false;
        sendLevel(true, true);
    }
    // What the server gave a stream whose level we did not set, and the echo of ours.
    askStreamInfo();
}

void PulseOutput::lose() {
    lost_ = true;
    dropStream();
    // A track that is playing ends now; one played later ends as it starts (setState).
    if (state_ == OutputState::Playing && source_ != nullptr) source_->outputLost();
}

bool PulseOutput::lost() {
    LoopLock lock(loop_);
    return lost_;
}

void PulseOutput::attach(AudioSource* source) {
    LoopLock lock(loop_);
    source_ = source;
    taken_ = 0;
}

void PulseOutput::createStream() {
    const pa_sample_spec sampleFormat{PA_SAMPLE_S16NE, std::uint32_t(format_.sampleRate), 2};
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "music");
    stream_ =
        pa_stream_new_with_proplist(context_, name_.c_str(), &sampleFormat, nullptr, properties);
    pa_proplist_free(properties);
    if (stream_ == nullptr) {
        lose();
        return;
    }
    pa_stream_set_state_callback(stream_, &PulseOutput::onStreamState, this);
    pa_stream_set_write_callback(stream_, &PulseOutput::onWrite, this);
    pa_stream_set_underflow_callback(stream_, &PulseOutput::onUnderflow, this);
    pa_stream_set_started_callback(stream_, &PulseOutput::onStarted, this);
    const pa_buffer_attr wanted = attributes(false);
    written_ = 0;
    // Made to play; a pause or stop before it is ready corks it then.
    corked_ = state_ != OutputState::Playing;
    underflow_ = false;
    timingAsked_ = 0;
    levelPending_ = false;
    streamSink_ = PA_INVALID_INDEX;
    // The stream starts at the volume, mute and device the old one had (or the level the
    // program wrote), so that its first frames are heard so; what is not known yet the server
    // decides.
    unsigned flags = PA_STREAM_INTERPOLATE_TIMING;
    if (streamMuted_) flags |= *streamMuted_ ? PA_STREAM_START_MUTED : PA_STREAM_START_UNMUTED;
    if (pa_stream_connect_playback(stream_, movedTo_.empty() ? nullptr : movedTo_.c_str(), &wanted,
                                   pa_stream_flags_t(flags),
                                   streamVolume_ ? &*streamVolume_ : nullptr, nullptr) < 0)
        lose();
}

void PulseOutput::dropStream() {
    stopEndTimer();
    if (stream_ == nullptr) return;
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_write_callback(stream_, nullptr, nullptr);
    pa_stream_set_underflow_callback(stream_, nullptr, nullptr);
    pa_stream_set_started_callback(stream_, nullptr, nullptr);
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    stream_ = nullptr;
    written_ = 0;
}

pa_buffer_attr PulseOutput::attributes(bool corked) const {
    pa_buffer_attr attributes{};
    attributes.maxlength = std::uint32_t(-1);
    attributes.tlength = bytesFor(corked ? kCorkedBufferMs : kBufferMs, format_.sampleRate);
    attributes.prebuf = bytesFor(kStartMs, format_.sampleRate);
    attributes.minreq = bytesFor(corked ? kCorkedRequestMs : kRequestMs, format_.sampleRate);
    attributes.fragsize = std::uint32_t(-1);
    return attributes;
}

void PulseOutput::setCorked(bool corked) {
    if (stream_ == nullptr || corked_ == corked) return;
    corked_ = corked;
    // Paused, the end comes no closer; fill() watches for it again when playing resumes.
    if (corked) stopEndTimer();
    if (pa_stream_get_state(stream_) == PA_STREAM_READY) sendCork();
}

void PulseOutput::sendCork() {
    // Corked first, so that the pause is heard at once; uncorked last, so that the short
    // latency is in place when it plays again.
    const pa_buffer_attr wanted = attributes(corked_);
    if (corked_) forget(pa_stream_cork(stream_, 1, nullptr, nullptr));
    forget(pa_stream_set_buffer_attr(stream_, &wanted, nullptr, nullptr));
    if (!corked_) forget(pa_stream_cork(stream_, 0, nullptr, nullptr));
}

void PulseOutput::flush() {
    // Nothing is written before the stream is ready.
    if (stream_ == nullptr || pa_stream_get_state(stream_) != PA_STREAM_READY) return;
    stopEndTimer();
    forget(pa_stream_flush(stream_, nullptr, nullptr));
    // The server's write position is now where the sink has read to, a sink latency ahead of
    // what has been heard; its timing, asked for at once, tells exactly.
    const pa_timing_info* timing = pa_stream_get_timing_info(stream_);
    const pa_usec_t sinkUsec = timing != nullptr ? timing->sink_usec : 0;
    written_ = heardIndex() + std::int64_t(sinkUsec * pa_usec_t(format_.sampleRate) / 1000000);
    timingAsked_ = pa_rtclock_now();
    forget(pa_stream_update_timing_info(stream_, nullptr, nullptr));
    // Nothing of what was written is left to play.
    underflow_ = true;
}

void PulseOutput::setState(OutputState state) {
    LoopLock lock(loop_);
    if (state == state_) return;
    state_ = state;
    switch (state) {
        case OutputState::Playing:
            if (lost_) {
                if (source_ != nullptr) source_->outputLost();
            } else if (stream_ == nullptr) {
                createStream();  // the server's first request fills it
            } else {
                setCorked(false);
                fill();
            }
            break;
        case OutputState::Paused:
            setCorked(true);
            break;
        case OutputState::Stopped:
            // The stream stays, with whatever a mixer set on it.
            flush();
            setCorked(true);
            break;
        case OutputState::Draining:
            if (stream_ == nullptr) break;
            if (underflow_ || queued() == 0) {
                setCorked(true);
            } else {
                setCorked(false);
                // A tail shorter than the start threshold plays too.
                forget(pa_stream_trigger(stream_, nullptr, nullptr));
            }
            break;
    }
}

void PulseOutput::dataArrived() {
    LoopLock lock(loop_);
    fill();
}

void PulseOutput::onWrite(pa_stream*, std::size_t, void* self) {
    static_cast<PulseOutput*>(self)->fill();
}

void PulseOutput::onUnderflow(pa_stream*, void* self) {
    auto* output = static_cast<PulseOutput*>(self);
    output->underflow_ = true;
    output->watchEnd(false);
    // The end of the track has been heard: nothing is left to keep the server busy for.
    if (output->state_ == OutputState::Draining) output->setCorked(true);
}

void PulseOutput::onStarted(pa_stream* stream, void* self) {
    auto* output = static_cast<PulseOutput*>(self);
    // The clock behind the position was held while the stream waited to start (after a flush,
    // the part of the old segment the sink still played is in it): it is set right at once,
    // not at the next write's correction a second later.
    output->timingAsked_ = pa_rtclock_now();
    forget(pa_stream_update_timing_info(stream, nullptr, nullptr));
}

void PulseOutput::fill() {
    if (state_ != OutputState::Playing || source_ == nullptr || stream_ == nullptr ||
        pa_stream_get_state(stream_) != PA_STREAM_READY)
        return;
    std::size_t writable = pa_stream_writable_size(stream_);
    bool wrote = false;
    bool ranShort = false;
    while (writable >= kFrameBytes) {
        void* data = nullptr;
        std::size_t bytes = writable;
        if (pa_stream_begin_write(stream_, &data, &bytes) < 0 || data == nullptr) break;
        const std::size_t frames = bytes / kFrameBytes;
        const std::size_t got = source_->pull(static_cast<std::int16_t*>(data), frames, false);
        taken_ += std::int64_t(got);
        if (got == 0) {
            pa_stream_cancel_write(stream_);
            ranShort = true;
            break;
        }
        if (pa_stream_write(stream_, data, got * kFrameBytes, nullptr, 0, PA_SEEK_RELATIVE) < 0)
            break;
        written_ += std::int64_t(got);
        wrote = true;
        // The source tells the engine to wake us when it has more.
        if (got < frames) {
            ranShort = true;
            break;
        }
        writable = pa_stream_writable_size(stream_);
    }
    if (wrote) {
        underflow_ = false;
        const pa_usec_t now = pa_rtclock_now();
        if (timingAsked_ == 0 || now - timingAsked_ >= kTimingEveryUsec) {
            timingAsked_ = now;
            forget(pa_stream_update_timing_info(stream_, nullptr, nullptr));
        }
    }
    watchEnd(ranShort);
}

void PulseOutput::watchEnd(bool ranShort) {
    if (state_ != OutputState::Playing || source_ == nullptr || stream_ == nullptr || corked_ ||
        pa_stream_get_state(stream_) != PA_STREAM_READY)
        return;
    const std::int64_t mark = source_->endMark();
    if (mark < 0) return;
    if (ranShort && triggeredMark_ != mark) {
        triggeredMark_ = mark;
        forget(pa_stream_trigger(stream_, nullptr, nullptr));
    }
    // Frames of this stream up to the end; those taken before it was made are gone already.
    // Once the stream has run dry, everything is with the sink (whose latency the stream's
    // clock never quite passes); else the clock says when the end is heard.
    const std::int64_t write = writeIndex();
    const std::int64_t end = mark - (taken_ - write);
    const std::int64_t heard = write - queued();
    if (underflow_ || heard + format_.sampleRate * kEndSlackMs / 1000 >= end) {
        stopEndTimer();
        // Heard up to the end at least, whatever the clock lags.
        source_->heard(std::min(queued(), taken_ - mark));
        return;
    }
    const pa_usec_t at =
        pa_rtclock_now() + pa_usec_t((end - heard) * 1000000 / format_.sampleRate) + 1000;
    if (endTimer_ != nullptr) {
        pa_context_rttime_restart(context_, endTimer_, at);
    } else {
        endTimer_ = pa_context_rttime_new(context_, at, &PulseOutput::onEndTimer, this);
    }
}

void PulseOutput::stopEndTimer() {
    if (endTimer_ == nullptr) return;
    pa_threaded_mainloop_get_api(loop_)->time_free(endTimer_);
    endTimer_ = nullptr;
}

void PulseOutput::onEndTimer(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
    auto* output = static_cast<PulseOutput*>(self);
    // The interpolated clock may have drifted since its last correction: the server's own
    // account decides.
    if (output->stream_ != nullptr)
        forget(pa_stream_update_timing_info(output->stream_, &PulseOutput::onEndTiming, self));
}

void PulseOutput::onEndTiming(pa_stream* stream, int, void* self) {
    auto* output = static_cast<PulseOutput*>(self);
    if (stream == output->stream_) output->watchEnd(false);
}

std::int64_t PulseOutput::writeIndex() const {
    const pa_timing_info* timing = pa_stream_get_timing_info(stream_);
    if (timing != nullptr && !timing->write_index_corrupt)
        return timing->write_index / std::int64_t(kFrameBytes);
    return written_;
}

std::int64_t PulseOutput::heardIndex() const {
    pa_usec_t heard = 0;
    // Before the server's first timing report nothing has been heard.
    if (pa_stream_get_time(stream_, &heard) < 0) heard = 0;
    return std::int64_t(heard * pa_usec_t(format_.sampleRate) / 1000000);
}

std::int64_t PulseOutput::queued() {
    if (stream_ == nullptr) return 0;
    return std::max<std::int64_t>(0, writeIndex() - heardIndex());
}

std::int64_t PulseOutput::queuedFrames() {
    LoopLock lock(loop_);
    return queued();
}

}  // namespace playback
