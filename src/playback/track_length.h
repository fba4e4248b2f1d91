#pragma once
// How long a track is, found without decoding it: what an MP3 file's header frame states, and a
// tally of the packets a demuxer reads. Both count samples as the demuxer and the decoder deliver
// them, less the encoder delay and padding that the demuxer marks for skipping.
//
// Threads: free functions and a value type, used on whichever thread opens or scans a file.

#include <cstdint>
#include <optional>
#include <string>

extern "C" {
#include <libavutil/rational.h>
}

struct AVPacket;

namespace playback {

// Samples at a stream's own rate.
struct StreamLength {
    std::int64_t samples = 0;
    int sampleRate = 0;
};

// The length an MP3 file states in the Xing, Info or VBRI header of its first frame (right after
// its ID3v2 tags). Empty when there is no such header, when it is damaged (a LAME tag whose
// checksum fails, a frame count its byte count cannot hold) and when anything but tags follows
// the bytes it counts: a file cut short, or another file joined after it (behind its own
// ID3v1 tag, as `cat` joins them), is as long as only a scan can tell.
std::optional<StreamLength> mp3StatedLength(const std::string& path);

// How many zero bytes the file starts with, counting up to `limit`: damaged rips carry
// megabytes of them before the first frame, which a demuxer would otherwise parse as audio.
std::int64_t leadingZeroBytes(const std::string& path, std::int64_t limit);

// The longest a file of `bytes` bytes can play: no stream we decode spends less than 1 kbit a
// second, so time stamps or headers that claim more are damaged.
double maxSecondsForBytes(std::int64_t bytes);

// The packets of one stream, tallied in the order a demuxer reads them.
class PacketTally {
public:
    PacketTally(AVRational timeBase, int sampleRate);

    void add(const AVPacket& packet);
    std::int64_t packets() const { return packets_; }
    // The time the packets span, less the samples marked for skipping. Time stamps are believed
    // only as far as the packets' own durations reach (with one packet's slack for a missing
    // last duration): a damaged stamp far ahead or behind does not stretch the track.
    double seconds() const;

private:
    AVRational timeBase_;
    int sampleRate_;
    std::int64_t packets_ = 0;
    double first_ = 0;  // in time-base units; doubles, so that no damaged stamp overflows
    double end_ = 0;
    bool stamped_ = false;
    double durationSum_ = 0;
    double longest_ = 0;
    std::int64_t undated_ = 0;  // packets without a duration
    double skipped_ = 0;        // samples
};

}  // namespace playback
