#pragma once
// The sound server (PulseAudio, or PipeWire's PulseAudio service) through libpulse's
// asynchronous API. The stream holds half a second, so the server asks for more a few times a
// second; the sink behind it is asked for a short latency, so that a cork (pause), a dropped
// stream (stop, seek) or a change of the stream's volume (the wave-out level) is heard at once.
// A track's end is reported to the source when the server has played its last frame; the
// track that follows is written behind it in the same stream. After the end the stream plays
// out what it holds and is then dropped, unless more frames follow. While nothing plays there
// is no stream, or a corked one that asks for a long latency, and nothing wakes.
//
// When the server goes away (it dies, the connection drops, the stream is killed), a track
// that is playing ends at once, as when its data ends early, and so does one that is resumed
// or played afterwards; the next open() connects anew, and fails with DeviceError while no
// server answers.
//
// Threads and locks: the members are called on the UI thread, dataArrived() on the engine's
// decoder thread; libpulse's own thread runs the callbacks (write requests, underflow, the end
// timer and its timing reply). Every use of the context and the stream, and every field below,
// is guarded by the main loop's lock, which the callbacks hold while they run. pull(), endMark()
// and heard() of the source are called with it held (lock order: this lock, then the engine's).

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
    // heard within the sink's latency whatever the stream holds, and mixers show it.
    bool mixesLevel() const override { return true; }
    // A track ends when the server has played its last frame: a timer of the main loop is
    // armed for that moment by the stream's timing and checks it against fresh timing info.
    bool holdsFrames() const override { return true; }
    void setLevel(std::uint32_t packed) override;
    std::string driver() const override { return "pulseaudio"; }
    bool lost() override;

private:
    explicit PulseOutput(std::string name) : name_(std::move(name)) {}
    bool start();
    // Connects a new context on the running loop and reads the server's rate. Lock held.
    bool connectContext();
    void dropContext();
    // The server, the connection or the stream is gone: drops the stream and ends a track
    // that is playing. Main loop's lock held.
    void lose();
    void createStream();
    void dropStream();
    pa_buffer_attr attributes(bool corked) const;
    void setCorked(bool corked);
    void fill();
    // Gives the stream the wave-out level when it differs from what the server has.
    void applyLevel();
    // While the source's track end is still to be heard: reports it to the source once the
    // stream's timing says it has been, else arms endTimer_ for when it will be. `ranShort`: the
    // source had no more frames, so the last ones are played even below the start threshold.
    void watchEnd(bool ranShort);
    void stopEndTimer();
    static void onEndTimer(pa_mainloop_api* api, pa_time_event* event, const struct timeval* tv,
                           void* self);
    static void onEndTiming(pa_stream* stream, int success, void* self);
    std::int64_t queued();
    static void onContextState(pa_context* context, void* self);
    static void onStreamState(pa_stream* stream, void* self);
    static void onWrite(pa_stream* stream, std::size_t bytes, void* self);
    static void onUnderflow(pa_stream* stream, void* self);

    std::string name_;
    pa_threaded_mainloop* loop_ = nullptr;
    // Guarded by the main loop's lock.
    pa_context* context_ = nullptr;
    OutputFormat format_;  // the server's rate, read by each connection
    pa_stream* stream_ = nullptr;
    AudioSource* source_ = nullptr;
    OutputState state_ = OutputState::Stopped;
    bool corked_ = false;
    bool lost_ = false;         // the server went away; the next open() connects anew
    bool underflow_ = false;    // the stream ran dry after its last write
    std::int64_t written_ = 0;  // frames written to stream_
    std::int64_t taken_ = 0;    // frames pulled from source_ since attach (across streams)
    pa_time_event* endTimer_ = nullptr;
    std::int64_t triggeredMark_ = -1;  // the end mark the stream was last triggered for
    pa_usec_t timingAsked_ = 0;
    // The wave-out level, once one has been written, and the one the stream last took (its
    // volume at connection, or the last change sent once it was ready).
    std::optional<std::uint32_t> level_;
    std::optional<std::uint32_t> streamLevel_;
};

}  // namespace playback
