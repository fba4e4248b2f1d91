#pragma once
// One open audio file: FFmpeg demuxing and decoding, resampled to the output's format.
//
// Threads: constructed on the UI thread (Open waits for it); afterwards only the engine's
// decoder thread calls seek() and read(). lengthMs() and totalFrames() never change after
// construction and may be read from any thread.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "playback/audio_output.h"

namespace playback {

class Decoder {
public:
    // Opens `path` (format detected from content), scans its packets for the length and
    // prepares to decode from the start. Throws DeviceError with FFmpeg's text.
    Decoder(const std::string& path, OutputFormat format);
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // The one length of the track: the span of its packets less the samples the container
    // marks for skipping (encoder delay and padding).
    std::int64_t lengthMs() const { return lengthMs_; }
    // Output frames up to lengthMs: frame i plays at i / rate seconds, and the last frame ends
    // at or just after lengthMs. read() never produces a frame at or past this index.
    std::int64_t totalFrames() const { return totalFrames_; }
    OutputFormat format() const { return format_; }

    // The next read() starts at output frame `frame` (clamped to 0..totalFrames).
    void seek(std::int64_t frame);
    // Writes up to `maxFrames` interleaved 16-bit frames; returns how many. 0 means the data
    // has ended (end of file, a read error, or totalFrames reached).
    std::size_t read(std::int16_t* out, std::size_t maxFrames);
    // The output frame index of the next frame read() returns.
    std::int64_t nextFrame() const { return nextFrame_; }

private:
    struct State;
    bool refill();
    void convert(const std::uint8_t** data, int samples, std::int64_t firstFrame);

    std::unique_ptr<State> state_;
    OutputFormat format_;
    std::int64_t lengthMs_ = 0;
    std::int64_t totalFrames_ = 0;
    std::int64_t nextFrame_ = 0;
};

// FFmpeg's text for an error code; empty when it has none.
std::string decoderErrorText(int code);

}  // namespace playback
