// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/track_length.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "playback/decoder.h"
#include "playback/file_bytes.h"

namespace playback {
namespace {

// How far beyond the junk limit zero bytes must run before a decoder surely gave up on them.
constexpr std::int64_t kJunkMargin = 1 << 16;

// The CRC-16 of LAME tags (polynomial 0x8005, bits reflected, starting from 0).
std::uint16_t lameCrc(const std::uint8_t* data, std::size_t size) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

// The Layer III header of an MPEG audio frame, as far as the length needs it.
struct Layer3Header {
    bool mpeg1 = false;
    bool mono = false;
    int sampleRate = 0;
    int samplesPerFrame = 0;
    // Bytes a frame of this kind takes at the lowest and the highest bit rate.
    int smallestFrame = 0;
    int largestFrame = 0;
};

std::optional<Layer3Header> layer3Header(std::uint32_t h) {
    const int version = int(h >> 19) & 3;  // 0 MPEG 2.5, 1 reserved, 2 MPEG 2, 3 MPEG 1
    const int layer = int(h >> 17) & 3;    // 1 Layer III
    const int bitrateIndex = int(h >> 12) & 15;
    const int rateIndex = int(h >> 10) & 3;
    if ((h & 0xFFE00000u) != 0xFFE00000u || version == 1 || layer != 1 || bitrateIndex == 0 ||
        bitrateIndex == 15 || rateIndex == 3)
        return std::nullopt;
    constexpr int kRates[3] = {44100, 48000, 32000};
    Layer3Header header;
    header.mpeg1 = version == 3;
    header.mono = (int(h >> 6) & 3) == 3;
    header.sampleRate = kRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    header.samplesPerFrame = header.mpeg1 ? 1152 : 576;
    // Frame bytes = bits per frame / 8 = samplesPerFrame / 8 * bit rate / sample rate.
    const int lowestKbps = header.mpeg1 ? 32 : 8;
    const int highestKbps = header.mpeg1 ? 320 : 160;
    const int bytesPerKbps = header.samplesPerFrame * 125;  // samples / 8 * 1000
    header.smallestFrame = bytesPerKbps * lowestKbps / header.sampleRate;
    header.largestFrame = bytesPerKbps * highestKbps / header.sampleRate + 1;
    return header;
}

bool startsWith(const std::uint8_t* data, std::size_t size, const char* text) {
    const std::size_t n = std::strlen(text);
    return size >= n && std::memcmp(data, text, n) == 0;
}

// True when zero bytes run from `at` to the end of the file, or for so long that a decoder
// gives up on them as junk before anything else comes.
bool zerosToTheEnd(const FileBytes& file, std::int64_t at) {
    const std::int64_t end = std::min(file.size(), at + kJunkLimit + kJunkMargin);
    std::array<std::uint8_t, 1 << 16> block{};
    while (at < end) {
        const std::size_t n = file.read(
            at, block.data(), std::size_t(std::min<std::int64_t>(end - at, block.size())));
        if (n == 0) return false;
        if (std::any_of(block.begin(), block.begin() + std::ptrdiff_t(n),
                        [](std::uint8_t byte) { return byte != 0; }))
            return false;
        at += std::int64_t(n);
    }
    return true;
}

// True when nothing but tags follows `at`: the tags that may close an MP3 (ID3v1, APEv2,
// Lyrics3, an appended ID3v2), each whole, up to the end of the file, or zero bytes that end
// the decoding (a download's preallocated tail). A tag followed by more audio is where one file
// ends in a join of several, and the header counts only that one.
bool onlyTagsFollow(const FileBytes& file, std::int64_t at) {
    constexpr std::size_t kLyricsMax = 1 << 20;  // Lyrics3 blocks are a few kilobytes
    for (int tags = 0; tags < 16; ++tags) {
        if (at == file.size()) return true;
        if (at < file.size() && zerosToTheEnd(file, at)) return true;
        std::array<std::uint8_t, 32> head{};
        const std::size_t n = file.read(at, head.data(), head.size());
        if (startsWith(head.data(), n, "TAG")) {
            at += 128;
        } else if (startsWith(head.data(), n, "APETAGEX") && n >= 16) {
            // A header: its size counts the items and the footer, not itself.
            at += 32 + std::int64_t(le32(head.data() + 12));
        } else if (startsWith(head.data(), n, "3DI") && n >= 10 && id3v2Bytes(head.data())) {
            at += 10;  // the footer of a tag already passed
        } else if (startsWith(head.data(), n, "ID3") && n >= 10 && id3v2Bytes(head.data())) {
            at += *id3v2Bytes(head.data());
        } else if (startsWith(head.data(), n, "LYRICSBEGIN")) {
            // Ends with "LYRICSEND" (version 1) or a size and "LYRICS200" (version 2).
            const std::size_t span =
                std::size_t(std::min<std::int64_t>(file.size() - at, std::int64_t(kLyricsMax)));
            std::string block(span, '\0');
            block.resize(file.read(at, reinterpret_cast<std::uint8_t*>(block.data()), span));
            std::size_t end = block.find("LYRICSEND");
            if (end != std::string::npos) {
                end += 9;
            } else if ((end = block.find("LYRICS200")) != std::string::npos) {
                end += 9;
            } else {
                return false;
            }
            at += std::int64_t(end);
        } else {
            return false;
        }
        if (at > file.size()) return false;
    }
    return false;
}

}  // namespace

std::optional<std::int64_t> id3v2Bytes(const std::uint8_t* header) {
    if (((header[6] | header[7] | header[8] | header[9]) & 0x80) != 0) return std::nullopt;
    const std::int64_t size = (std::int64_t(header[6]) << 21) | (std::int64_t(header[7]) << 14) |
                              (std::int64_t(header[8]) << 7) | std::int64_t(header[9]);
    return 10 + size + ((header[5] & 0x10) ? 10 : 0);
}

std::int64_t afterId3v2Tags(const FileBytes& file, std::int64_t start,
                            const std::function<void(std::int64_t at, std::int64_t bytes)>& each) {
    std::int64_t at = start;
    std::array<std::uint8_t, 10> tag{};
    for (int tags = 0;
         tags < 16 && file.read(at, tag.data(), tag.size()) == tag.size() &&
         startsWith(tag.data(), tag.size(), "ID3") && tag[3] != 0xFF && tag[4] != 0xFF;
         ++tags) {
        const std::optional<std::int64_t> bytes = id3v2Bytes(tag.data());
        if (!bytes) break;
        if (each) each(at, *bytes);
        at += *bytes;
    }
    return at;
}

std::int64_t Mp3HeaderFrame::keptSamples() const {
    const std::int64_t all = frames * samplesPerFrame;
    if (delay < 0 || padding < 0) return all;
    const std::int64_t cut = delay + kMp3DecoderDelay + std::max(0, padding - kMp3DecoderDelay);
    return std::max<std::int64_t>(0, all - cut);
}

std::optional<Mp3HeaderFrame> mp3HeaderFrame(const FileBytes& file, std::int64_t start) {
    // The header frame up to the end of a LAME tag after a Xing tag with every field.
    std::array<std::uint8_t, 256> frame{};
    const std::size_t size = file.read(start, frame.data(), frame.size());
    if (size < 4) return std::nullopt;
    const std::optional<Layer3Header> header = layer3Header(be32(frame.data()));
    if (!header) return std::nullopt;
    const std::size_t xing =
        4 + (header->mpeg1 ? (header->mono ? 17 : 32) : (header->mono ? 9 : 17));
    const std::uint8_t* tag = frame.data() + std::min(xing, size);
    const std::size_t tagSize = size - std::min(size, xing);
    if (!startsWith(tag, tagSize, "Xing") && !startsWith(tag, tagSize, "Info")) return std::nullopt;
    if (xing + 16 > size) return std::nullopt;
    const std::uint32_t flags = be32(frame.data() + xing + 4);
    // Without both counts nothing shows that the frame count covers the whole file.
    if ((flags & 3) != 3) return std::nullopt;
    Mp3HeaderFrame result;
    result.sampleRate = header->sampleRate;
    result.samplesPerFrame = header->samplesPerFrame;
    result.frames = be32(frame.data() + xing + 8);
    result.bytes = be32(frame.data() + xing + 12);
    const std::size_t lame = xing + 16 + ((flags & 4) ? 100 : 0) + ((flags & 8) ? 4 : 0);
    const std::uint8_t* lameTag = frame.data() + std::min(lame, size);
    const std::size_t lameSize = size - std::min(size, lame);
    // The delay and padding that these encoders' tags name.
    if (startsWith(lameTag, lameSize, "LAME") || startsWith(lameTag, lameSize, "Lavf") ||
        startsWith(lameTag, lameSize, "Lavc")) {
        // The tag ends with a CRC-16 of the 190 bytes before it where it has every Xing field
        // after a 36-byte side information (MPEG-1 stereo, by far the most common). Elsewhere
        // encoders disagree on what the CRC covers, so it proves nothing there.
        if (lameSize < 36) return std::nullopt;
        const std::size_t crcAt = lame + 34;
        if (crcAt == 190 &&
            lameCrc(frame.data(), crcAt) != ((std::uint32_t(frame[crcAt]) << 8) | frame[crcAt + 1]))
            return std::nullopt;
        const std::uint32_t pads = be32(lameTag + 20) & 0xFFFFFF;
        result.delay = int(pads >> 12);
        result.padding = int(pads & 0xFFF);
    }
    // The byte count covers the header frame and the audio frames; frames of this kind must be
    // able to fill it.
    const std::int64_t framesWithHeader = result.frames + 1;
    if (result.frames == 0 || result.bytes < framesWithHeader * header->smallestFrame ||
        result.bytes > framesWithHeader * header->largestFrame)
        return std::nullopt;
    result.coversFile = onlyTagsFollow(file, start + result.bytes);
    return result;
}

std::optional<StreamLength> mp3StatedLength(const std::string& path) {
    const FileBytes file(path);
    if (file.size() < 0) return std::nullopt;
    const std::optional<Mp3HeaderFrame> header = mp3HeaderFrame(file, afterId3v2Tags(file, 0));
    if (!header || !header->coversFile) return std::nullopt;
    return StreamLength{header->keptSamples(), header->sampleRate};
}

std::int64_t leadingZeroBytes(const std::string& path, std::int64_t limit) {
    const FileBytes file(path);
    std::array<std::uint8_t, 1 << 16> block{};
    std::int64_t zeros = 0;
    while (zeros < limit) {
        const std::size_t n = file.read(
            zeros, block.data(),
            std::size_t(std::min<std::int64_t>(std::int64_t(block.size()), limit - zeros)));
        const auto nonZero = std::find_if(block.begin(), block.begin() + std::ptrdiff_t(n),
                                          [](std::uint8_t byte) { return byte != 0; });
        zeros += nonZero - block.begin();
        if (nonZero != block.begin() + std::ptrdiff_t(n) || n == 0) break;
    }
    return zeros;
}

double maxSecondsForBytes(std::int64_t bytes) {
    return double(std::max<std::int64_t>(bytes, 0)) * 8.0 / 1000.0;
}

}  // namespace playback
