// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// WAV of linear PCM (8-bit unsigned, 16, 24 and 32-bit signed, 32 and 64-bit float, any channel
// count, WAVE_FORMAT_EXTENSIBLE too), read by us: the samples are the file's bytes, the length
// is the data's size in whole blocks (never beyond what the file holds; a size of 0, or one past
// the end, reads to the end of the file, as a stream's writer leaves it), and a seek is exact.
// Other codecs in WAV go to FFmpeg. Threads as for every Decoder (decoder.h).

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "playback/decoder.h"
#include "playback/file_bytes.h"
#include "playback/pcm_converter.h"

namespace playback {

// What the RIFF chunks of a WAV file say about its PCM.
struct WavLayout {
    enum class Sample { UInt8, Int16, Int24, Int32, Float32, Float64 };
    Sample sample = Sample::Int16;
    int rate = 0;
    int channels = 0;
    std::uint32_t speakers = 0;  // the WAVE channel mask; 0 when the file gives none
    int blockBytes = 0;          // bytes of one frame of all channels
    std::int64_t dataStart = 0;
    std::int64_t frames = 0;
};

// What the file whose RIFF header starts at byte `start` of `file` is, and its layout when it is
// a WAV of ours.
struct WavProbe {
    enum class Kind { NotWav, Pcm, OtherCodec, Damaged };
    Kind kind = Kind::NotWav;
    WavLayout layout;
};
WavProbe probeWav(const FileBytes& file, std::int64_t start);

class WavDecoder final : public Decoder {
public:
    WavDecoder(const std::string& path, const WavLayout& layout, OutputFormat format);

    TrackLength length() const override { return length_; }
    bool lengthExact() const override { return true; }
    std::optional<TrackLength> foundLength() const override { return std::nullopt; }
    OutputFormat format() const override { return format_; }
    void seek(std::int64_t frame) override;
    std::size_t read(std::int16_t* out, std::size_t maxFrames) override;
    std::int64_t nextFrame() const override { return nextFrame_; }
    void cancel() override { cancelled_.store(true, std::memory_order_relaxed); }

private:
    bool refill();

    FileBytes file_;
    WavLayout layout_;
    PcmConverter converter_;
    OutputFormat format_;
    TrackLength length_;
    std::atomic<bool> cancelled_{false};
    // Decoder thread only.
    std::int64_t block_ = 0;   // the file's next frame to read
    std::int64_t cursor_ = 0;  // output index of the next converted frame
    std::int64_t target_ = 0;  // output frames before this are dropped
    bool finished_ = false;    // the data has ended and the converter has given all it owed
    std::vector<std::uint8_t> bytes_;
    std::vector<float> samples_;
    std::vector<std::int16_t> pending_;  // converted frames not yet read, from pendingOffset_
    std::size_t pendingOffset_ = 0;
    std::int64_t nextFrame_ = 0;
};

}  // namespace playback
