// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The sound server (PulseAudio, or PipeWire's PulseAudio service) through libpulse's
// asynchronous API. The stream holds about two seconds and is refilled once it is down to one,
// so that a busy machine can keep us from running for a second without a dropout; the sink
// behind it is asked for a short latency, so that a cork (pause, stop), a flush (stop, seek) or
// a change of the stream's volume (the wave-out level) is heard at once whatever it holds.
// A track's end is reported to the source when the server has played its last frame; the
// track that follows is written behind it in the same stream. While nothing plays the stream
// is corked and asks for a long latency, so nothing wakes.
//
// One stream is kept for as long as the connection lasts, so that what the user sets on it
// from a mixer (its level, balance and mute, the device it plays on) holds across every
// command; such a change is adopted (the level the program writes becomes it) and reported to
// the mixer listener. When a new stream cannot be avoided (the stream was killed, the server
// came back), it starts with the old one's volume and mute, on the device a mixer moved it to.
//
// When the server goes away (it dies, the connection drops, the stream is killed), a track
// that is playing ends at once, as when its data ends early, and so does one that is resumed
// or played afterwards; the next open() connects anew, and fails with DeviceError while no
// server answers.
//
// Threads and locks: the members are called on the UI thread, dataArrived() on the engine's
// decoder thread; libpulse's own thread runs the callbacks (write requests, underflow, the end
// timer and its timing reply, the server's reports of our stream). Every use of the context and
// the stream, and every field below, is guarded by the main loop's lock, which the callbacks
// hold while they run. pull(), endMark() and heard() of the source, and the mixer listener, are
// called with it held (lock order: this lock, then the engine's).

#include <pulse/pulseaudio.h>

#include <memory>
#include <optional>
#include <string>

#include "playback/audio_output.h"

namespace playback {

class PulseOutput final : public AudioOutput {
public:
    // Connects to the server as `name` (what mixers show), in the music role; null when no
    // server answers.
    static std::unique_ptr<PulseOutput> connect(const std::string& name);
    ~PulseOutput() override;
    PulseOutput(const PulseOutput&) = delete;
    PulseOutput& operator=(const PulseOutput&) = delete;

    void attach(AudioSource* source) override;
    // Connects anew when the server was lost; throws DeviceError when none answers then.
    OutputFormat open() override;
    void setState(OutputState state) override;
    std::int64_t queuedFrames() override;
    void dataArrived() override;
    // The level is the stream's own volume in the server, per channel, so that a change is
    // heard within the sink's latency whatever the stream holds, and mixers show it. A level
    // written also ends a mute a mixer set on the stream.
    bool mixesLevel() const override { return true; }
    // A track ends when the server has played its last frame: a timer of the main loop is
    // armed for that moment by the stream's timing and checks it against fresh timing info.
    bool holdsFrames() const override { return true; }
    void setLevel(std::uint32_t packed) override;
    void setMixerListener(MixerListener listener) override;
    std::optional<MixerLevel> mixerLevel() override;
    std::string driver() const override { return "pulseaudio"; }
    bool lost() override;

private:
    class LoopLock {
    public:
        explicit LoopLock(pa_threaded_mainloop* loop) : loop_(loop) {
            pa_threaded_mainloop_lock(loop_);
        }
        ~LoopLock() { pa_threaded_mainloop_unlock(loop_); }
        LoopLock(const LoopLock&) = delete;
        LoopLock& operator=(const LoopLock&) = delete;

    private:
        pa_threaded_mainloop* loop_;
    };

    explicit PulseOutput(std::string name) : name_(std::move(name)) {}
    static void forget(pa_operation* operation);
    bool start();
    // Connects a new context on the running loop and reads the server's rate. Lock held.
    bool connectContext();
    void dropContext();
    // The server, the connection or the stream is gone: drops the stream and ends a track
    // that is playing. Main loop's lock held.
    void lose();
    void createStream();
    void dropStream();
    // Once the stream is ready: what was asked of it while it connected.
    void onStreamReady();
    pa_buffer_attr attributes(bool corked) const;
    // Sends the cork and the buffer attributes for `corked` once the stream is ready.
    void setCorked(bool corked);
    void sendCork();
    // Drops what the stream holds, heard or not: a stop or a seek.
    void flush();
    void fill();
    // Sends the wave-out level to a ready stream when it differs from what the server has,
    // lifting a mixer's mute; before the stream is ready, it is sent once it is.
    void applyLevel();
    // Sends the volume and mute we know to a ready stream.
    void sendLevel(bool volume, bool mute);
    // The mixer side (pulse_mixer.cpp): the server's reports of our stream.
    void subscribe();
    void askStreamInfo();
    static void onSubscription(pa_context* context, pa_subscription_event_type_t type,
                               std::uint32_t index, void* self);
    static void onStreamInfo(pa_context* context, const pa_sink_input_info* info, int eol,
                             void* self);
    // The stream was moved to `sink`: its name is kept for a new stream.
    void rememberSink(std::uint32_t sink);
    // While the source's track end is still to be heard: reports it to the source once the
    // stream's timing says it has been, else arms endTimer_ for when it will be. `ranShort`: the
    // source had no more frames, so the last ones are played even below the start threshold.
    void watchEnd(bool ranShort);
    void stopEndTimer();
    static void onEndTimer(pa_mainloop_api* api, pa_time_event* event, const struct timeval* tv,
                           void* self);
    static void onEndTiming(pa_stream* stream, int success, void* self);
    std::int64_t queued();
    // The stream's write and read (heard) positions in frames: the server's count, which a
    // flush moves back, as libpulse keeps it; our own between a flush and its timing reply.
    std::int64_t writeIndex() const;
    std::int64_t heardIndex() const;
    static void onContextState(pa_context* context, void* self);
    static void onStreamState(pa_stream* stream, void* self);
    static void onWrite(pa_stream* stream, std::size_t bytes, void* self);
    static void onUnderflow(pa_stream* stream, void* self);
    static void onStarted(pa_stream* stream, void* self);

    std::string name_;
    pa_threaded_mainloop* loop_ = nullptr;
    // Guarded by the main loop's lock.
    pa_context* context_ = nullptr;
    OutputFormat format_;  // the server's rate, read by each connection
    pa_stream* stream_ = nullptr;
    AudioSource* source_ = nullptr;
    OutputState state_ = OutputState::Stopped;
    bool corked_ = false;     // asked for; sent once the stream is ready
    bool lost_ = false;       // the server went away; the next open() connects anew
    bool underflow_ = false;  // the stream ran dry after its last write
    // Frames written to stream_, counted from its write position after the last flush (which
    // the server's timing then corrects: writeIndex()).
    std::int64_t written_ = 0;
    std::int64_t taken_ = 0;  // frames pulled from source_ since attach (across streams)
    pa_time_event* endTimer_ = nullptr;
    std::int64_t triggeredMark_ = -1;  // the end mark the stream was last triggered for
    pa_usec_t timingAsked_ = 0;
    // The wave-out level, once the program has written one or a mixer set one.
    std::optional<std::uint32_t> level_;
    // What the server has for our stream, as we last told it or it last reported: a report that
    // differs is a mixer's change. Unknown until the first of either; a new stream starts so.
    std::optional<pa_cvolume> streamVolume_;
    std::optional<bool> streamMuted_;
    bool levelPending_ = false;  // written while the stream connected; sent once it is ready
    // Reports of the stream asked for, and the count of them that were asked before our last
    // change of its volume or mute: those answer with what the server had before it, and are
    // not a mixer's doing. Replies come in the order asked.
    std::uint64_t infoAsked_ = 0;
    std::uint64_t infoAnswered_ = 0;
    std::uint64_t infoStaleUpTo_ = 0;
    std::uint32_t streamSink_ = PA_INVALID_INDEX;  // where the stream plays
    std::string movedTo_;  // the sink a mixer moved the stream to, where a new stream goes
    MixerListener mixerListener_;
};

}  // namespace playback
