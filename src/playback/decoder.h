// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One open audio file, decoded to the output's format, and the length of the track.
//
// Each format is decoded by what it needs: MP3 (MPEG audio) by libmpg123, PCM WAV by a reader
// of our own, and every other container (WMA above all) by FFmpeg, which lives in a module of
// its own that is loaded only when such a file is opened (or prepared for, on a worker).
//
// Threads: constructed on the opening thread (the UI thread: Open waits for it); afterwards only
// the engine's decoder thread calls seek() and read(). length() and lengthExact() never change
// after construction. When the length is only an estimate, a scanning thread of the decoder's
// own reads the file through a reader of its own, publishes the exact length through
// foundLength() and then calls `lengthFound` on that thread. cancel() and foundLength() may be
// called from any thread. The destructor stops and joins the scan.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "playback/audio_output.h"

namespace playback {

struct TrackLength {
    // Output frames of the whole track, counted from the decoder's samples (or the samples a
    // header states), never derived from a time.
    std::int64_t frames = 0;
    // The frames in whole milliseconds, rounded down: the position reaches it with the last
    // frame.
    std::int64_t ms = 0;

    static TrackLength ofFrames(std::int64_t frames, int rate);
};

class Decoder {
public:
    virtual ~Decoder() = default;

    // The length known when the file was opened.
    virtual TrackLength length() const = 0;
    // True when length() is the exact one and no scan runs.
    virtual bool lengthExact() const = 0;
    // The exact length once the scan has read the whole file (the estimate again when the file
    // could not be scanned); empty while it runs, and when length() was exact already.
    virtual std::optional<TrackLength> foundLength() const = 0;
    virtual OutputFormat format() const = 0;

    // The next read() starts at output frame `frame` (0 or more).
    virtual void seek(std::int64_t frame) = 0;
    // Writes up to `maxFrames` interleaved 16-bit frames; returns how many. 0 means the data
    // has ended (end of file, a read error, junk beyond the bound, or cancel()).
    virtual std::size_t read(std::int16_t* out, std::size_t maxFrames) = 0;
    // The output frame index of the next frame read() returns.
    virtual std::int64_t nextFrame() const = 0;
    // Makes a read under way end soon, and every later one return 0: a damaged file with
    // megabytes of undecodable bytes would otherwise hold its reader for seconds.
    virtual void cancel() = 0;
};

// Decoding gives up on a file after this many bytes in a row that hold no frame or packet (and
// a scan measures the track only that far): a download's preallocated zero tail of gigabytes
// ends the track where its music ends, while music that resumes within the bound plays on.
inline constexpr std::int64_t kJunkLimit = 1 << 20;

// The sample rates a decoder takes; anything else comes from damaged data.
inline constexpr int kMinSampleRate = 1000;
inline constexpr int kMaxSampleRate = 1000000;

// Opens `path` with the decoder its content asks for (never by its name) and prepares to decode
// from the start. Throws DeviceError with a readable text: the system's for a missing file,
// "Is a directory" and "Invalid argument" for what is no regular file (a FIFO, a device), the
// decoder's own otherwise. Nothing the open waits for is bounded by the clock: it is bounded by
// the bytes it reads (and, in FFmpeg, the packets it parses and the thread's CPU time), so a
// busy machine never refuses a valid file.
std::unique_ptr<Decoder> openDecoder(const std::string& path, OutputFormat format,
                                     std::function<void()> lengthFound = {});

// Maps the FFmpeg module on this thread, unless it is mapped already; false when it cannot be
// loaded. For a worker that prepares what a file in the playlist will need.
bool loadFfmpegDecoders();

// The read() of a decoder that converts into `pending` (interleaved frames of `channels`, read
// from frame `offset` on): copies up to `maxFrames` of them to `out`, calling `refill` (which
// empties `pending` and fills it again; false at the end of the data) whenever they run out, and
// moves `nextFrame` on by what it copied. Returns how many it copied.
template <typename Refill>
std::size_t readPending(std::vector<std::int16_t>& pending, std::size_t& offset, int channels,
                        std::int16_t* out, std::size_t maxFrames, std::int64_t& nextFrame,
                        Refill refill) {
    const std::size_t width = std::size_t(channels);
    std::size_t produced = 0;
    while (produced < maxFrames) {
        const std::size_t available = pending.size() / width - offset;
        if (available == 0) {
            if (!refill()) break;
            continue;
        }
        const std::size_t n = std::min(available, maxFrames - produced);
        std::copy_n(pending.data() + offset * width, n * width, out + produced * width);
        offset += n;
        produced += n;
        nextFrame += std::int64_t(n);
    }
    return produced;
}

// For a decoder of stereo output whose next output frame is `cursor`: counts the frames
// appended to `pending` from value `before` on, moves `cursor` past them, and drops those that
// lie before `target` (what a seek decodes unheard).
inline void keepFromTarget(std::vector<std::int16_t>& pending, std::size_t before,
                           std::int64_t target, std::int64_t& cursor) {
    const std::int64_t made = std::int64_t(pending.size() - before) / 2;
    const std::int64_t drop = std::clamp<std::int64_t>(target - cursor, 0, made);
    cursor += made;
    pending.erase(pending.begin() + std::ptrdiff_t(before),
                  pending.begin() + std::ptrdiff_t(before + std::size_t(drop) * 2));
}

// A length scan on a thread of its own, as decoders with an estimated length run one. `measure`
// runs on that thread with a stop flag to poll, and returns the exact length, or nothing when
// the file could not be measured (the estimate stands then).
class LengthScan {
public:
    using Measure = std::function<std::optional<TrackLength>(const std::atomic<bool>& stop)>;
    LengthScan(TrackLength estimate, Measure measure, std::function<void()> lengthFound);
    ~LengthScan();  // stops and joins
    LengthScan(const LengthScan&) = delete;
    LengthScan& operator=(const LengthScan&) = delete;

    std::optional<TrackLength> found() const;
    void stop() { stop_.store(true, std::memory_order_relaxed); }

private:
    std::atomic<bool> stop_{false};
    std::atomic<bool> done_{false};
    TrackLength found_;  // written before done_ is set
    std::thread thread_;
};

// The module's export: an FFmpeg decoder for a file no decoder of ours takes; its value is an
// FfmpegDecoderFactory.
using FfmpegDecoderFactory = std::unique_ptr<Decoder> (*)(const std::string& path,
                                                          OutputFormat format,
                                                          std::function<void()> lengthFound);
inline constexpr char kFfmpegDecoderSymbol[] = "vorela_ffmpeg_decoder";

}  // namespace playback
