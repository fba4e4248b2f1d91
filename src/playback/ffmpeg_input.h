// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the FFmpeg decoder opens and reads a file: local files only, the containers the player
// plays only, every read under a guard that bounds it by its progress (bytes read, bytes of junk
// since the last packet, the thread's CPU time while opening), and a tally of packets for the
// length of a track. Part of the FFmpeg module.
//
// Threads: everything here runs on the thread that reads through the guard; the guard's stop
// flag may be set from any.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>

namespace playback {

// What opening may read: the probe (zero bytes before the first packet are skipped, up to this
// many), then the search for the streams and the first packet (FFmpeg's own probe size). A file
// of gigabytes of undecodable bytes, or a damaged size, then fails at once instead of being read
// to its end.
inline constexpr std::int64_t kProbeReadBudget = 64 << 20;
inline constexpr std::int64_t kOpenReadBudget = 5'000'000;

// The thread's CPU time so far, in nanoseconds.
std::int64_t threadCpuNs();

// A demuxer's reads and waits give up once `stop` is set, once they have passed `readLimit`
// bytes, once `junkBound` is set and more than kJunkLimit bytes have passed since `packetAt`,
// or while opening (`cpuLimit` set) once the thread has spent its CPU time (`overspent` tells).
struct ReadGuard {
    AVFormatContext* input = nullptr;
    const std::atomic<bool>* stop = nullptr;
    std::int64_t readLimit = std::numeric_limits<std::int64_t>::max();
    std::optional<std::int64_t> cpuLimit;  // thread CPU ns
    bool junkBound = false;
    std::int64_t packetAt = 0;  // bytes read when the last packet came
    bool overspent = false;

    std::int64_t bytesRead() const { return input && input->pb ? input->pb->bytes_read : 0; }
    void packetArrived() { packetAt = bytesRead(); }
};

struct InputCloser {
    void operator()(AVFormatContext* input) const { avformat_close_input(&input); }
};
using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;

// Opens `path` under `guard` and picks its audio stream, the others discarded; returns the
// stream's index or an error code. The probe may read `probeBudget` bytes, finding the streams
// `readBudget` more.
int openAudio(InputPtr& input, const std::string& path, ReadGuard& guard, const AVCodec** codec,
              std::int64_t probeBudget, std::int64_t readBudget);

// The packets of one stream, tallied in the order a demuxer reads them.
class PacketTally {
public:
    PacketTally(AVRational timeBase, int sampleRate);

    void add(const AVPacket& packet);
    std::int64_t packets() const { return packets_; }
    // The time the packets span, less the samples marked for skipping. Time stamps are believed
    // only as far as the packets' own durations reach (with one packet's slack for a missing
    // last duration, and a time-base unit's for each rounded one): a damaged stamp far ahead
    // or behind does not stretch the track.
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

// Reads packets to the end (or the first error), noting each in `guard`, and tallies those of
// `stream`; returns the code that ended the reading.
int tallyPackets(AVFormatContext* input, int stream, AVPacket* packet, PacketTally& tally,
                 ReadGuard& guard);

// PCM in WAV is as long as its data, and never longer than what the file holds after the
// data's start: a RIFF or data size that lies is no reason to wait for data that is not there.
// Empty for other codecs.
std::optional<double> pcmSeconds(const AVStream& stream, int rate, int channels,
                                 std::int64_t fileBytes, std::int64_t dataStart);

// avformat_open_input of the local file `path` into `*context` (allocated by the caller, its
// interrupt callback set; freed when the open fails), through the `file` protocol alone (a
// "file:" prefix keeps a name such as "a:b.mp3" or "http://x" a local path) and with a demuxer
// among the containers the player plays alone. `format`, when given, is taken without probing,
// from byte `skipBytes` on. FFmpeg's error code.
int openLocalInput(AVFormatContext** context, const std::string& path,
                   const AVInputFormat* format = nullptr, std::int64_t skipBytes = 0);

// FFmpeg's text for an error code; empty when it has none.
std::string decoderErrorText(int code);

}  // namespace playback
