// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/wav_decoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace playback {
namespace {

// Frames read from the file at a time.
constexpr std::int64_t kReadFrames = 4096;
// RIFF files have a few chunks before their data; more is damage.
constexpr int kMostChunks = 4096;
constexpr int kMaxChannels = 64;

// The tail of the GUID of WAVE_FORMAT_EXTENSIBLE's subformats, after the format tag.
constexpr std::uint8_t kSubformatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                             0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::optional<WavLayout::Sample> sampleOf(std::uint32_t tag, std::uint32_t bits) {
    using Sample = WavLayout::Sample;
    if (tag == 1 && bits == 8) return Sample::UInt8;
    if (tag == 1 && bits == 16) return Sample::Int16;
    if (tag == 1 && bits == 24) return Sample::Int24;
    if (tag == 1 && bits == 32) return Sample::Int32;
    if (tag == 3 && bits == 32) return Sample::Float32;
    if (tag == 3 && bits == 64) return Sample::Float64;
    return std::nullopt;
}

// Float samples are taken within full scale twice over; a NaN is silence.
float withinRange(double value) {
    return value == value ? float(std::clamp(value, -2.0, 2.0)) : 0.0f;
}

float sampleAt(const std::uint8_t* p, WavLayout::Sample sample) {
    switch (sample) {
        case WavLayout::Sample::UInt8:
            return float(int(p[0]) - 128) * (1.0f / 128.0f);
        case WavLayout::Sample::Int16:
            return float(std::int16_t(le16(p))) * (1.0f / 32768.0f);
        case WavLayout::Sample::Int24:
            return float(std::int32_t(std::uint32_t(p[0]) << 8 | std::uint32_t(p[1]) << 16 |
                                      std::uint32_t(p[2]) << 24)) *
                   (1.0f / 2147483648.0f);
        case WavLayout::Sample::Int32:
            return float(std::int32_t(le32(p))) * (1.0f / 2147483648.0f);
        case WavLayout::Sample::Float32: {
            const std::uint32_t bits = le32(p);
            float value = 0;
            std::memcpy(&value, &bits, sizeof value);
            return withinRange(value);
        }
        case WavLayout::Sample::Float64: {
            const std::uint64_t bits = std::uint64_t(le32(p)) | std::uint64_t(le32(p + 4)) << 32;
            double value = 0;
            std::memcpy(&value, &bits, sizeof value);
            return withinRange(value);
        }
    }
    return 0;
}

}  // namespace

WavProbe probeWav(const FileBytes& file, std::int64_t start) {
    using Kind = WavProbe::Kind;
    WavProbe probe;
    std::array<std::uint8_t, 40> head{};
    if (file.read(start, head.data(), 12) != 12 || std::memcmp(head.data(), "RIFF", 4) != 0 ||
        std::memcmp(head.data() + 8, "WAVE", 4) != 0)
        return probe;
    probe.kind = Kind::Damaged;
    WavLayout& layout = probe.layout;
    std::optional<WavLayout::Sample> sample;
    std::int64_t dataBytes = -1;
    std::int64_t at = start + 12;
    for (int chunks = 0; chunks < kMostChunks && dataBytes < 0; ++chunks) {
        if (file.read(at, head.data(), 8) != 8) break;
        const std::int64_t size = le32(head.data() + 4);
        if (std::memcmp(head.data(), "fmt ", 4) == 0) {
            const std::size_t n = std::size_t(std::min<std::int64_t>(size, 40));
            if (n < 16 || file.read(at + 8, head.data(), n) != n) return probe;
            std::uint32_t tag = le16(head.data());
            layout.channels = int(le16(head.data() + 2));
            layout.rate = int(le32(head.data() + 4));
            layout.blockBytes = int(le16(head.data() + 12));
            const std::uint32_t bits = le16(head.data() + 14);
            if (tag == 0xFFFE && n == 40 &&
                std::memcmp(head.data() + 26, kSubformatTail, 14) == 0) {
                layout.speakers = le32(head.data() + 20);
                tag = le16(head.data() + 24);
            }
            sample = sampleOf(tag, bits);
            if (!sample) {
                probe.kind = Kind::OtherCodec;
                return probe;
            }
            if (layout.channels < 1 || layout.channels > kMaxChannels ||
                layout.rate < kMinSampleRate || layout.rate > kMaxSampleRate ||
                layout.blockBytes != layout.channels * int(bits / 8))
                return probe;
        } else if (std::memcmp(head.data(), "data", 4) == 0) {
            layout.dataStart = at + 8;
            dataBytes = size;
        }
        at += 8 + size + (size & 1);
    }
    if (!sample || dataBytes < 0 || layout.dataStart > file.size()) return probe;
    layout.sample = *sample;
    // A size of 0 (a writer that never came back to fill it in) or one past the end of the
    // file: the data is what the file holds.
    const std::int64_t held = file.size() - layout.dataStart;
    if (dataBytes == 0 || dataBytes > held) dataBytes = held;
    layout.frames = dataBytes / layout.blockBytes;
    probe.kind = Kind::Pcm;
    return probe;
}

WavDecoder::WavDecoder(const std::string& path, const WavLayout& layout, OutputFormat format)
    : file_(path), layout_(layout), converter_(format), format_(format) {
    length_ = TrackLength::ofFrames(
        PcmConverter::outputFrames(layout.rate, format.sampleRate, layout.frames),
        format.sampleRate);
    seek(0);
}

void WavDecoder::seek(std::int64_t frame) {
    frame = std::max<std::int64_t>(frame, 0);
    converter_.start(layout_.rate, layout_.channels, layout_.speakers);
    // At another rate, from where a fresh resampler has its history, counted alike.
    std::int64_t from = frame;
    if (converter_.resampling()) {
        from = std::max<std::int64_t>(
            0, PcmConverter::inputFrames(layout_.rate, format_.sampleRate, frame) -
                   converter_.history());
    }
    block_ = std::min(from, layout_.frames);
    cursor_ = PcmConverter::outputFrames(layout_.rate, format_.sampleRate, block_);
    target_ = frame;
    finished_ = false;
    pending_.clear();
    pendingOffset_ = 0;
    nextFrame_ = frame;
}

std::size_t WavDecoder::read(std::int16_t* out, std::size_t maxFrames) {
    return readPending(pending_, pendingOffset_, 2, out, maxFrames, nextFrame_,
                       [this] { return refill(); });
}

// Reads and converts the next frames of the file; false at the end of the data and after
// cancel().
bool WavDecoder::refill() {
    pending_.clear();
    pendingOffset_ = 0;
    while (pending_.empty() && !finished_) {
        if (cancelled_.load(std::memory_order_relaxed)) return false;
        const std::int64_t frames = std::min(kReadFrames, layout_.frames - block_);
        const std::size_t block = std::size_t(layout_.blockBytes);
        bytes_.resize(std::size_t(std::max<std::int64_t>(frames, 0)) * block);
        const std::size_t got = file_.read(layout_.dataStart + block_ * std::int64_t(block),
                                           bytes_.data(), bytes_.size());
        const std::size_t whole = got / block;
        if (whole == 0) {
            // The end of the data, or of what the file still holds (cut short under us).
            finished_ = true;
            converter_.finish(pending_);
            keepFromTarget(pending_, 0, target_, cursor_);
            break;
        }
        block_ += std::int64_t(whole);
        const std::size_t values = whole * std::size_t(layout_.channels);
        if (layout_.sample == WavLayout::Sample::Int16 &&
            std::endian::native == std::endian::little) {
            converter_.convert(reinterpret_cast<const std::int16_t*>(bytes_.data()), whole,
                               pending_);
        } else {
            const std::size_t width = block / std::size_t(layout_.channels);
            samples_.resize(values);
            for (std::size_t i = 0; i < values; ++i)
                samples_[i] = sampleAt(bytes_.data() + i * width, layout_.sample);
            converter_.convert(samples_.data(), whole, pending_);
        }
        keepFromTarget(pending_, 0, target_, cursor_);
    }
    return !pending_.empty();
}

}  // namespace playback
