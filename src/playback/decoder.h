#pragma once
// One open audio file: FFmpeg demuxing and decoding, converted to the output's format, and the
// length of the track.
//
// Threads: constructed on the UI thread (Open waits for it); afterwards only the engine's
// decoder thread calls seek() and read(). length() and lengthExact() never change after
// construction. When the length is only an estimate, a scanning thread of the decoder's own
// reads every packet of the file on a demuxer of its own, publishes the exact length through
// foundLength() and then calls `lengthFound` on that thread. cancel() and foundLength() may be
// called from any thread. The destructor stops and joins the scan.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "playback/audio_output.h"

struct AVFormatContext;
struct AVInputFormat;

namespace playback {

struct TrackLength {
    std::int64_t ms = 0;
    // Output frames up to ms: frame i plays at i / rate seconds, and the last frame ends at or
    // just after ms.
    std::int64_t frames = 0;
};

class Decoder {
public:
    // Opens `path` (format detected from content) and prepares to decode from the start.
    // Throws DeviceError with FFmpeg's text. The length is exact when the file states it (an
    // MP3 Xing, Info or VBRI header that covers the whole file, the data size of PCM WAV) or is
    // small enough to scan at once; otherwise it is the demuxer's estimate and a background scan
    // finds the exact one. Only the containers the player plays are opened, never a playlist
    // or a demuxer that opens other files, and only local files. Opening reads at most 64 MiB
    // while probing (an ID3v2 tag, or zero bytes before the first frame) and 5 MB more, and
    // waits for nothing: it gives up once it has taken 50 ms more than reading its bytes needs.
    Decoder(const std::string& path, OutputFormat format, std::function<void()> lengthFound = {});
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // The length known when the file was opened.
    TrackLength length() const { return length_; }
    // True when length() is the exact one and no scan runs.
    bool lengthExact() const { return lengthExact_; }
    // The exact length once the scan has read every packet (the estimate again when the file
    // could not be scanned); empty while it runs, and when length() was exact already.
    std::optional<TrackLength> foundLength() const;
    OutputFormat format() const { return format_; }

    // The next read() starts at output frame `frame` (0 or more).
    void seek(std::int64_t frame);
    // Writes up to `maxFrames` interleaved 16-bit frames; returns how many. 0 means the data
    // has ended (end of file, a read error, or cancel()).
    std::size_t read(std::int16_t* out, std::size_t maxFrames);
    // The output frame index of the next frame read() returns.
    std::int64_t nextFrame() const { return nextFrame_; }
    // Makes a read under way end soon, and every later one return 0: a damaged file with
    // megabytes of undecodable bytes would otherwise hold its reader for seconds.
    void cancel();

private:
    struct State;
    struct Scan;
    void open(const std::string& path);
    void measureLength(const std::string& path);
    TrackLength lengthOf(double seconds) const;
    bool refill();
    bool acceptFrame();
    void convertSlice();
    void resample(const std::uint8_t* const* data, int samples);

    std::unique_ptr<State> state_;
    std::unique_ptr<Scan> scan_;
    OutputFormat format_;
    TrackLength length_;
    bool lengthExact_ = false;
    double maxSeconds_ = 0;  // the most the file's size can hold
    std::int64_t nextFrame_ = 0;
};

// The one way the device opens a file with FFmpeg: avformat_open_input of the local file `path`
// into `*context` (allocated by the caller, its interrupt callback set; freed when the open
// fails), through the `file` protocol alone (a "file:" prefix keeps a name such as "a:b.mp3"
// or "http://x" a local path) and with a demuxer among `containers` (a comma list of FFmpeg's
// names) alone. `format`, when given, is taken without probing, from byte `skipBytes` on.
// FFmpeg's error code.
int openLocalInput(AVFormatContext** context, const std::string& path, const char* containers,
                   const AVInputFormat* format = nullptr, std::int64_t skipBytes = 0);

// FFmpeg's text for an error code; empty when it has none.
std::string decoderErrorText(int code);

}  // namespace playback
