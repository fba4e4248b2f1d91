#include "playback/track_length.h"

extern "C" {
#include <libavcodec/packet.h>
#include <libavutil/avutil.h>
#include <libavutil/crc.h>
#include <libavutil/intreadwrite.h>
}

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace playback {
namespace {

// Only regular files, opened without blocking: a name swapped for a FIFO since the caller
// looked at it must not hang the opening thread.
class FileBytes {
public:
    explicit FileBytes(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
        struct stat info {};
        if (fd_ >= 0 && ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode)) size_ = info.st_size;
    }
    ~FileBytes() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    // -1 when the file could not be opened or is not a regular file.
    std::int64_t size() const { return size_; }
    // Up to `n` bytes from `offset`; how many were read.
    std::size_t read(std::int64_t offset, std::uint8_t* out, std::size_t n) const {
        std::size_t done = 0;
        while (size_ >= 0 && done < n) {
            const ssize_t got = ::pread(fd_, out + done, n - done, off_t(offset) + off_t(done));
            if (got <= 0) break;
            done += std::size_t(got);
        }
        return done;
    }

private:
    int fd_;
    std::int64_t size_ = -1;
};

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

// Where the audio starts: after the ID3v2 tags at the head of the file (a few at most: more is
// damage, and the length is left to a scan).
// The bytes an ID3v2 tag takes from its 10-byte header "ID3" on: the header, the size its
// synchsafe field gives and the footer its flag announces. None when the size is damaged.
std::optional<std::int64_t> id3v2Bytes(const std::uint8_t* header) {
    if (((header[6] | header[7] | header[8] | header[9]) & 0x80) != 0) return std::nullopt;
    const std::int64_t size = (std::int64_t(header[6]) << 21) | (std::int64_t(header[7]) << 14) |
                              (std::int64_t(header[8]) << 7) | std::int64_t(header[9]);
    return 10 + size + ((header[5] & 0x10) ? 10 : 0);
}

std::int64_t afterId3v2Tags(const FileBytes& file) {
    std::int64_t at = 0;
    std::array<std::uint8_t, 10> tag{};
    for (int tags = 0;
         tags < 16 && file.read(at, tag.data(), tag.size()) == tag.size() &&
         startsWith(tag.data(), tag.size(), "ID3") && tag[3] != 0xFF && tag[4] != 0xFF;
         ++tags) {
        const std::optional<std::int64_t> bytes = id3v2Bytes(tag.data());
        if (!bytes) break;
        at += *bytes;
    }
    return at;
}

// True when nothing but tags follows `at`: the tags that may close an MP3 (ID3v1, APEv2,
// Lyrics3, an appended ID3v2), each whole, up to the end of the file. A tag followed by more
// audio is where one file ends in a join of several, and the header counts only that one.
bool onlyTagsFollow(const FileBytes& file, std::int64_t at) {
    constexpr std::size_t kLyricsMax = 1 << 20;  // Lyrics3 blocks are a few kilobytes
    for (int tags = 0; tags < 16; ++tags) {
        if (at == file.size()) return true;
        std::array<std::uint8_t, 32> head{};
        const std::size_t n = file.read(at, head.data(), head.size());
        if (startsWith(head.data(), n, "TAG")) {
            at += 128;
        } else if (startsWith(head.data(), n, "APETAGEX") && n >= 16) {
            // A header: its size counts the items and the footer, not itself.
            at += 32 + std::int64_t(AV_RL32(head.data() + 12));
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

std::optional<StreamLength> mp3StatedLength(const std::string& path) {
    const FileBytes file(path);
    if (file.size() < 0) return std::nullopt;
    const std::int64_t start = afterId3v2Tags(file);
    // The header frame up to the end of a LAME tag after a Xing tag with every field.
    std::array<std::uint8_t, 256> frame{};
    const std::size_t size = file.read(start, frame.data(), frame.size());
    if (size < 4) return std::nullopt;
    const std::optional<Layer3Header> header = layer3Header(AV_RB32(frame.data()));
    if (!header) return std::nullopt;

    std::uint32_t frames = 0;
    std::uint32_t bytes = 0;
    std::int64_t skipped = 0;  // the encoder delay and padding the demuxer cuts
    const std::size_t xing =
        4 + (header->mpeg1 ? (header->mono ? 17 : 32) : (header->mono ? 9 : 17));
    constexpr std::size_t kVbri = 4 + 32;
    if (startsWith(frame.data() + xing, size - std::min(size, xing), "Xing") ||
        startsWith(frame.data() + xing, size - std::min(size, xing), "Info")) {
        if (xing + 16 > size) return std::nullopt;
        const std::uint32_t flags = AV_RB32(frame.data() + xing + 4);
        // Without both counts nothing shows that the frame count covers the whole file.
        if ((flags & 3) != 3) return std::nullopt;
        frames = AV_RB32(frame.data() + xing + 8);
        bytes = AV_RB32(frame.data() + xing + 12);
        std::size_t lame = xing + 16 + ((flags & 4) ? 100 : 0) + ((flags & 8) ? 4 : 0);
        const std::uint8_t* tag = frame.data() + lame;
        const std::size_t tagSize = size - std::min(size, lame);
        // The demuxer cuts the delay and padding that these encoders' tags name.
        if (startsWith(tag, tagSize, "LAME") || startsWith(tag, tagSize, "Lavf") ||
            startsWith(tag, tagSize, "Lavc")) {
            // The tag ends with a CRC-16 of the 190 bytes before it where it has every Xing
            // field after a 36-byte side information (MPEG-1 stereo, by far the most common).
            // Elsewhere encoders disagree on what the CRC covers, so it proves nothing there.
            if (tagSize < 36) return std::nullopt;
            const std::size_t crcAt = lame + 34;
            if (crcAt == 190 && av_crc(av_crc_get_table(AV_CRC_16_ANSI_LE), 0, frame.data(),
                                       crcAt) != AV_RB16(frame.data() + crcAt))
                return std::nullopt;
            const std::uint32_t pads = AV_RB24(tag + 21);
            const std::int64_t delay = pads >> 12;
            const std::int64_t padding = pads & 0xFFF;
            // The decoder's own delay of 529 samples hides that much of the padding.
            skipped = delay + 529 + std::max<std::int64_t>(0, padding - 529);
        }
    } else if (startsWith(frame.data() + kVbri, size - std::min(size, kVbri), "VBRI")) {
        if (kVbri + 18 > size || AV_RB16(frame.data() + kVbri + 4) != 1) return std::nullopt;
        bytes = AV_RB32(frame.data() + kVbri + 10);
        frames = AV_RB32(frame.data() + kVbri + 14);
    } else {
        return std::nullopt;
    }
    // The byte count covers the header frame and the audio frames; frames of this kind must
    // be able to fill it, and it must end where the file (or its trailing tags) ends.
    const std::int64_t framesWithHeader = std::int64_t(frames) + 1;
    if (frames == 0 || bytes < framesWithHeader * header->smallestFrame ||
        bytes > framesWithHeader * header->largestFrame || !onlyTagsFollow(file, start + bytes))
        return std::nullopt;
    const std::int64_t samples = std::int64_t(frames) * header->samplesPerFrame - skipped;
    return StreamLength{std::max<std::int64_t>(0, samples), header->sampleRate};
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

PacketTally::PacketTally(AVRational timeBase, int sampleRate)
    : timeBase_(timeBase), sampleRate_(sampleRate) {}

void PacketTally::add(const AVPacket& packet) {
    ++packets_;
    const double duration = double(std::max<std::int64_t>(packet.duration, 0));
    durationSum_ += duration;
    longest_ = std::max(longest_, duration);
    if (duration == 0) ++undated_;
    const std::int64_t stamp = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
    if (stamp != AV_NOPTS_VALUE) {
        const double at = double(stamp);
        first_ = stamped_ ? std::min(first_, at) : at;
        end_ = stamped_ ? std::max(end_, at + duration) : at + duration;
        stamped_ = true;
    }
    std::size_t size = 0;
    if (const std::uint8_t* skip =
            av_packet_get_side_data(&packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
        skip && size >= 8) {
        skipped_ += double(AV_RL32(skip)) + double(AV_RL32(skip + 4));
    }
}

double PacketTally::seconds() const {
    double span = stamped_ && end_ > first_ ? end_ - first_ : durationSum_;
    if (longest_ > 0) span = std::min(span, durationSum_ + double(undated_ + 1) * longest_);
    const double seconds = span * av_q2d(timeBase_) - skipped_ / sampleRate_;
    return seconds > 0 ? seconds : 0.0;
}

}  // namespace playback
