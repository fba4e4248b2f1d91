#pragma once
// The machinery under MediaPlayer: one open Decoder, a decoder thread that fills a ring buffer
// and an output that drains it.
//
// Threads and locks:
//   - UI thread: open/close/play/halt/seek and the reads (positionMs, lengthMs, mode).
//   - decoder thread (one per open file): seek()/read() on the Decoder, writes to the ring.
//   - output thread (SDL's callback, or the UI thread itself for the manual clock): pull().
// One mutex, mutex_, guards the ring and the segment fields below; nothing else is locked, and
// nothing is called while it is held except memcpy and condition-variable notifications.
// Every open and seek starts a new segment (a command number); the decoder thread drops what
// it decoded for an older one. The reads are atomics so that timers can poll them cheaply.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "playback/audio_output.h"
#include "playback/decoder.h"
#include "playback/media_player.h"

namespace playback {

class Engine final : public AudioSource {
public:
    // `onEnded(playId)` is called on the output's thread, without the lock, when the play
    // command numbered playId reached the end of the track; it must only post.
    Engine(std::unique_ptr<AudioOutput> output, std::function<void(std::uint64_t)> onEnded);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // UI thread. Closes the open file, then opens `path` stopped at 0. Throws DeviceError.
    void open(const std::string& path);
    // UI thread. Stops, joins the decoder thread and forgets the file.
    void close();
    bool isOpen() const { return decoder_ != nullptr; }

    // UI thread. Plays from the current position, from 0 when at the end; returns the play's
    // number, which a later end of track reports.
    std::uint64_t play();
    // UI thread. Stops pulling; the position stays. `mode` is PlayerMode::Stopped or PlayerMode::Paused.
    void halt(PlayerMode mode);
    // UI thread. Moves to `ms` (0..lengthMs) and leaves the device stopped.
    void seek(std::int64_t ms);
    // UI thread, after an end of track: lets the output rest unless a new play has begun.
    void settle();

    // Any thread.
    std::int64_t positionMs() const;
    std::int64_t lengthMs() const { return lengthMs_.load(std::memory_order_relaxed); }
    PlayerMode mode() const { return PlayerMode(mode_.load(std::memory_order_acquire)); }

    AudioOutput& output() { return *output_; }

    std::size_t pull(std::int16_t* out, std::size_t frames, bool wait) override;

private:
    void decodeLoop();
    void startSegment(std::int64_t frame);  // mutex_ held
    std::size_t freeFrames() const { return capacity_ - count_; }

    std::unique_ptr<AudioOutput> output_;
    std::function<void(std::uint64_t)> onEnded_;
    OutputFormat format_;
    bool outputOpen_ = false;

    // Set by the UI thread; the decoder thread uses decoder_ between its start and its join.
    std::unique_ptr<Decoder> decoder_;
    std::thread thread_;

    mutable std::mutex mutex_;
    std::condition_variable decoderWake_;  // new segment, room in the ring, or quit
    std::condition_variable dataReady_;    // data, end of data, or a halt (for waiting pulls)
    // Guarded by mutex_.
    std::vector<std::int16_t> ring_;
    std::size_t capacity_ = 0;  // frames
    std::size_t readAt_ = 0;    // frame slot of the oldest unread frame
    std::size_t count_ = 0;     // unread frames
    std::uint64_t segment_ = 0;
    std::int64_t segmentStart_ = 0;
    bool finished_ = false;  // the decoder has written the segment's last frame
    bool quit_ = false;
    std::uint64_t playId_ = 0;
    std::int64_t totalFrames_ = 0;  // the open file's frame count at the output's rate

    // Written under mutex_, read anywhere.
    std::atomic<std::int64_t> playedFrame_{0};
    std::atomic<std::int64_t> lengthMs_{0};
    std::atomic<int> mode_{int(PlayerMode::NotReady)};
};

}  // namespace playback
