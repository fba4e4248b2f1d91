// SPDX-License-Identifier: GPL-3.0-or-later
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
// it decoded for an older one, and so does a queued track that starts to be decoded behind the
// playing one. The reads are atomics so that timers can poll them cheaply.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "playback/audio_output.h"
#include "playback/decoder.h"
#include "playback/device.h"

namespace playback {

// The position is what has been heard: the frames handed to the output less those it still
// holds. For an output that holds frames, a track ends when its last frame is heard (Position ==
// Length from then on, the end reported); meanwhile the track that follows may be queued, and is
// decoded and handed over behind it, so that the join is gapless and the advance is shown when
// the join is heard. For any other output a track ends when its last frame is handed over.
// After the end, a command never drops what the output still holds of the track; the next open
// of the queued file (or a seek to 0 when it is the same) takes up the queued track.
class Engine final : public Device, public AudioSource {
public:
    Engine(std::unique_ptr<AudioOutput> output, DeviceEvents events, std::uint32_t (*level)());
    ~Engine() override;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    void open(const std::string& path) override;
    void close() override;
    bool isOpen() const override { return current_.decoder != nullptr; }
    std::uint64_t play() override;
    void halt(PlayerMode mode) override;
    void seek(std::int64_t ms) override;
    void settle() override;
    void levelChanged() override;
    void queueNext(const std::string& path) override;
    bool endComing() const override;

    // Any thread; positionMs asks the output, so never on the output's own thread.
    std::int64_t positionMs() const override;
    std::int64_t lengthMs() const override { return lengthMs_.load(std::memory_order_relaxed); }
    PlayerMode mode() const override { return PlayerMode(mode_.load(std::memory_order_acquire)); }

    AudioOutput& output() override { return *output_; }

    std::size_t pull(std::int16_t* out, std::size_t frames, bool wait) override;
    void outputLost() override;
    std::int64_t endMark() override;
    void heard(std::int64_t queued) override;

private:
    // One open file. The decoder thread holds a reference to the decoder while it reads, so a
    // queued track can be dropped while it is being decoded.
    struct Track {
        std::shared_ptr<Decoder> decoder;
        std::string path;
        std::int64_t totalFrames = 0;  // at the output's rate
        std::int64_t lengthMs = 0;
        bool lengthExact = false;      // totalFrames is exact, not an estimate awaiting the scan
    };

    void decodeLoop();
    std::shared_ptr<Decoder> openDecoder(const std::string& path);
    // The track whose frames the ring holds and the decoder thread decodes. mutex_ held.
    Track& fed() { return feedingNext_ ? *next_ : current_; }
    void startSegment(std::int64_t frame);  // mutex_ held
    // Ends the playing track at its length, what the output holds kept or not; returns the
    // play to notify. mutex_ held.
    std::uint64_t endTrack(bool keepTail);
    // Drops the queued track and its frames in the ring; returns it, to be destroyed once mutex_
    // is released (a decoder joins its length scan, whose callback takes mutex_). mutex_ held.
    std::optional<Track> dropNext();
    // Makes the queued track, already sounding, the open one, when it is `path`. UI thread.
    bool takeUpNext(const std::string& path);
    // mutex_ held. Takes the exact length of `track` once the decoder's scan has found it;
    // true when the length is exact.
    bool adoptFoundLength(Track& track);
    std::size_t freeFrames() const { return capacity_ - count_; }
    // The output state for a halt: what it holds is dropped, unless it is the end of a track.
    OutputState haltState(OutputState state) const;
    // The frame of the open track heard so far. Not on the output's thread.
    std::int64_t heardFrame() const;

    std::unique_ptr<AudioOutput> output_;
    DeviceEvents events_;
    std::uint32_t (*level_)();
    const bool outputMixesLevel_;
    const bool outputHoldsFrames_;
    OutputFormat format_;

    std::thread thread_;

    mutable std::mutex mutex_;
    std::condition_variable decoderWake_;  // new segment, room in the ring, or quit
    std::condition_variable dataReady_;    // data, end of data, or a halt (for waiting pulls)
    // Guarded by mutex_ (current_.decoder is also read by the UI thread, which alone sets it).
    Track current_;
    std::optional<Track> next_;  // queued behind the open track
    bool feedingNext_ = false;   // the ring holds, and the decoder thread decodes, next_
    std::int64_t nextHanded_ = 0;  // frames of next_ handed over
    std::int64_t nextMark_ = 0;    // handed_ before next_'s first frame
    std::vector<std::int16_t> ring_;
    std::size_t capacity_ = 0;  // frames
    std::size_t readAt_ = 0;    // frame slot of the oldest unread frame
    std::size_t count_ = 0;     // unread frames
    std::uint64_t segment_ = 0;
    std::int64_t segmentStart_ = 0;  // the open track's frame where its segment starts
    std::int64_t feedStart_ = 0;     // the fed track's frame where the decoder starts
    bool finished_ = false;  // the decoder has written the fed segment's last frame
    bool quit_ = false;
    // Frames pull() may hand over: a play, and after a heard end the queued track until a
    // command takes it up or drops it.
    bool flowing_ = false;
    std::uint64_t playId_ = 0;
    bool starved_ = false;  // a pull came up short: tell the output of the next data
    std::int64_t handed_ = 0;        // frames handed over since attach
    std::int64_t segmentMark_ = 0;   // handed_ before the segment's first frame
    std::int64_t endMark_ = -1;      // handed_ after the open track's last frame, until heard

    // Written under mutex_, read anywhere.
    std::atomic<std::int64_t> playedFrame_{0};  // the open track's frames handed to the output
    // The end of the track has been reached (heard); cleared by the next open, seek or play.
    std::atomic<bool> ended_{false};
    // What the output holds ends a track: no halt, seek or close drops it; the next play
    // follows it.
    std::atomic<bool> keepTail_{false};
    std::atomic<std::int64_t> lengthMs_{0};
    std::atomic<int> mode_{int(PlayerMode::NotReady)};
};

}  // namespace playback
