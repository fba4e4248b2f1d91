// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// MPEG audio (MP3, and MP2 and MP1 alike) through libmpg123.
//
// Samples are counted as libmpg123 decodes them, every frame whole, and the decoder cuts what is
// not music itself: the encoder delay and the decoder's 529 samples at the start, and the
// padding at the end of the frames that the header frame's LAME tag counts (a `cat` join plays
// on after them whole). Its length scan walks the same frames without decoding them and applies
// the same cuts, so a scanned length is exactly what decodes; a header frame whose counts cover
// the whole file gives that length at once. A join of files at different rates is resampled by
// pieces, each from a fresh start, and counted so. Threads as for every Decoder (decoder.h).

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "playback/decoder.h"
#include "playback/pcm_converter.h"
#include "playback/track_length.h"

namespace playback {

class Mp3Stream;

class Mp3Decoder final : public Decoder {
public:
    // Decodes `path` from byte `start` on (zero bytes before it skipped). Throws DeviceError
    // with libmpg123's text when no frame is found within the junk bound.
    Mp3Decoder(const std::string& path, std::int64_t start, OutputFormat format,
               std::function<void()> lengthFound = {});
    ~Mp3Decoder() override;

    TrackLength length() const override { return length_; }
    bool lengthExact() const override { return !scan_; }
    std::optional<TrackLength> foundLength() const override;
    OutputFormat format() const override { return format_; }
    void seek(std::int64_t frame) override;
    std::size_t read(std::int16_t* out, std::size_t maxFrames) override;
    std::int64_t nextFrame() const override { return nextFrame_; }
    void cancel() override;

    // A run of frames at one rate, in the order they decode; a join of files at other rates
    // has several.
    struct Segment {
        std::int64_t firstFrame = 0;   // libmpg123's frame number
        std::int64_t firstSample = 0;  // of all samples decoded before it
        int rate = 0;
        int samplesPerFrame = 0;
    };

    // The samples of music among the first `sample` decoded: the cuts at the start and at the
    // end of the frames the header frame counts left out.
    std::int64_t keptBefore(std::int64_t sample) const;
    // The output frame where the music of sample `samples` of `segments[index]` (counted from
    // its start) comes out.
    std::int64_t segmentOutput(const std::vector<Segment>& segments, std::size_t index,
                               std::int64_t samples) const;
    // The exact length: every frame of the file walked without decoding, on a stream of its
    // own, and the cuts applied. What the background scan runs; public so that a fuzz target
    // can hold the decoding against it. Empty when the file cannot be read (or `stop` is set).
    std::optional<TrackLength> scanLength(const std::string& path, const std::atomic<bool>& stop);

private:
    std::vector<Segment> knownSegments() const;
    bool refill();
    void takeFrame(const std::uint8_t* audio, std::size_t bytes);
    bool takeFormat();

    std::atomic<bool> cancelled_{false};
    std::unique_ptr<Mp3Stream> stream_;
    PcmConverter converter_;
    OutputFormat format_;
    std::int64_t start_;
    // The cuts, in samples of the first segment: [0, headCut_) and [tailFrom_, tailTo_).
    std::int64_t headCut_ = 0;
    std::int64_t tailFrom_ = 0;
    std::int64_t tailTo_ = 0;
    TrackLength length_;
    std::unique_ptr<LengthScan> scan_;

    mutable std::mutex segmentsMutex_;
    std::vector<Segment> scanned_;  // the whole file's, once the scan has walked it; guarded

    // Decoder thread only.
    std::vector<Segment> segments_;  // the first, and those met decoding on from a known place
    std::size_t segment_ = 0;        // the segment being decoded
    std::int64_t sample_ = -1;       // the sample index of the next frame's first; -1 unknown
    std::int64_t frameNumber_ = 0;   // of the next frame
    std::int64_t skipBefore_ = 0;    // samples before this index are not converted (a seek)
    std::int64_t cursor_ = 0;        // output index of the next converted frame
    std::int64_t target_ = 0;        // output frames before this are dropped
    bool floats_ = false;            // the frames come as floats
    bool done_ = false;
    std::vector<std::int16_t> pending_;  // converted frames not yet read, from pendingOffset_
    std::size_t pendingOffset_ = 0;
    std::int64_t nextFrame_ = 0;
};

}  // namespace playback
