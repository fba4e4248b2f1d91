#pragma once
// The machinery under MediaPlayer: one open Decoder, a decoder thread that fills a ring buffer
// and an output that drains it.
//
// Threads and locks:
//   - UI thread: open/close/play/halt/seek and the reads (positionMs, lengthMs, mode).
//   - decoder thread (one per open file): seek()/read() on the Decoder, writes to the ring.
//   - output thread (the sound server's requests, SDL's callback, or the UI thread itself for
//     the manual clock): pull().
//   - the decoder's length scan (while an estimated length awaits the exact one): only takes
//     mutex_ to wake the decoder thread.
// One mutex, mutex_, guards the ring and the segment fields below, and nothing is called while
// it is held except memcpy and condition-variable notifications. The output has locks of its
// own that it may hold while calling pull(), so the engine never calls the output with mutex_
// held (lock order: output, then mutex_).
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
#include "playback/device.h"

namespace playback {

// The position is what has been heard: the frames handed to the output less those it still
// holds. Once a track's last frame has been handed over, the track has ended (Position ==
// Length, the end is reported) while the output plays the rest; a command after the end never
// drops that rest, so the next track or a restart follows it without a gap.
class Engine final : public Device, public AudioSource {
public:
    // `onEnded(playId)` is called on the output's thread, without the lock, when the play
    // command numbered playId reached the end of the track; it must only post. `level` gives
    // the packed wave-out volume.
    Engine(std::unique_ptr<AudioOutput> output, std::function<void(std::uint64_t)> onEnded,
           std::uint32_t (*level)());
    ~Engine() override;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    void open(const std::string& path) override;
    void close() override;
    bool isOpen() const override { return decoder_ != nullptr; }
    std::uint64_t play() override;
    void halt(PlayerMode mode) override;
    void seek(std::int64_t ms) override;
    void settle() override;
    void levelChanged() override;

    // Any thread; positionMs asks the output, so never on the output's own thread.
    std::int64_t positionMs() const override;
    std::int64_t lengthMs() const override { return lengthMs_.load(std::memory_order_relaxed); }
    PlayerMode mode() const override { return PlayerMode(mode_.load(std::memory_order_acquire)); }

    AudioOutput& output() override { return *output_; }

    std::size_t pull(std::int16_t* out, std::size_t frames, bool wait) override;
    void outputLost() override;

private:
    void decodeLoop();
    void startSegment(std::int64_t frame);  // mutex_ held
    // Ends the playing track at its length, the tail that the output holds kept or not; returns
    // the play to notify. mutex_ held.
    std::uint64_t endTrack(bool keepTail);
    // mutex_ held. Takes the exact length once the decoder's scan has found it; true when the
    // length is exact.
    bool adoptFoundLength();
    std::size_t freeFrames() const { return capacity_ - count_; }
    // The output state for a halt: what it holds is dropped, unless it is the end of a track.
    OutputState haltState(OutputState state) const;

    std::unique_ptr<AudioOutput> output_;
    std::function<void(std::uint64_t)> onEnded_;
    std::uint32_t (*level_)();
    const bool outputMixesLevel_;
    OutputFormat format_;

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
    bool starved_ = false;          // a pull came up short: tell the output of the next data
    bool lengthExact_ = false;      // totalFrames_ is exact, not an estimate awaiting the scan

    // Written under mutex_, read anywhere.
    std::atomic<std::int64_t> playedFrame_{0};  // handed to the output
    // The last frame of the track has been handed over (the track has ended); cleared by the
    // next open, seek or play.
    std::atomic<bool> ended_{false};
    // What the output holds ends a track: no halt, seek or close drops it; the next play
    // follows it.
    std::atomic<bool> keepTail_{false};
    std::atomic<std::int64_t> lengthMs_{0};
    std::atomic<int> mode_{int(PlayerMode::NotReady)};
};

}  // namespace playback
