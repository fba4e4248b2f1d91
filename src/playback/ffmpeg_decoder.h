// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The decoder for every container no decoder of ours takes (WMA in ASF above all; also FLAC,
// Ogg, AAC, AIFF, MP4 audio and WAV of other codecs): FFmpeg demuxing and decoding, converted to
// the output's format by swresample. It lives in the module vorela_ffmpeg, which the device
// loads only when such a file is opened, so that playing an MP3 or a WAV never maps FFmpeg and
// its dependencies. Threads as for every Decoder (decoder.h).

#include <memory>
#include <string>

#include "playback/decoder.h"

namespace playback {

class FfmpegDecoder final : public Decoder {
public:
    // Opens `path` (format detected from content) and prepares to decode from the start.
    // Throws DeviceError with FFmpeg's text. The length is exact when the file states it (the
    // data size of PCM WAV) or is small enough to scan at once; otherwise it is the demuxer's
    // estimate and a background scan finds the exact one. Only the containers the player plays
    // are opened, never a playlist or a demuxer that opens other files, and only local files.
    // Opening reads at most 64 MiB while probing (zero bytes before the first packet) and 5 MB
    // more, and spends at most a few tens of milliseconds of its thread's CPU time: a slow disk
    // or a busy machine makes it wait, never fail.
    FfmpegDecoder(const std::string& path, OutputFormat format,
                  std::function<void()> lengthFound = {});
    ~FfmpegDecoder() override;

    TrackLength length() const override { return length_; }
    bool lengthExact() const override { return lengthExact_; }
    std::optional<TrackLength> foundLength() const override;
    OutputFormat format() const override { return format_; }
    void seek(std::int64_t frame) override;
    std::size_t read(std::int16_t* out, std::size_t maxFrames) override;
    std::int64_t nextFrame() const override { return nextFrame_; }
    void cancel() override;

private:
    struct State;
    void open(const std::string& path);
    void measureLength();
    TrackLength lengthOf(double seconds) const;
    bool refill();
    bool acceptFrame();
    void convertSlice();
    void resample(const std::uint8_t* const* data, int samples);

    std::unique_ptr<State> state_;
    std::unique_ptr<LengthScan> scan_;
    OutputFormat format_;
    TrackLength length_;
    bool lengthExact_ = false;
    double maxSeconds_ = 0;  // the most the file's size can hold
    std::int64_t nextFrame_ = 0;
};

}  // namespace playback
