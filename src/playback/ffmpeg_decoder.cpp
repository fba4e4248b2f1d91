// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/ffmpeg_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <string_view>
#include <vector>

#include "playback/device.h"
#include "playback/ffmpeg_input.h"
#include "playback/track_length.h"

namespace playback {
namespace {

// Seeks land this far before the target and decode up to it: MP3 needs the frames before a
// seek point for its bit reservoir, and ASF index entries can sit after the asked time.
constexpr double kSeekPrerollSeconds = 0.5;
// Files up to this size are scanned for their exact length while opening (a few milliseconds);
// the length of larger ones whose headers do not state it is found in the background.
constexpr std::int64_t kScanAtOnceBytes = 1 << 20;
// Opening runs on the UI thread. It gives up once its thread has spent this much CPU time:
// no file of the containers the player plays needs more, and a busy machine, which makes the
// open wait for a CPU, or a slow disk never turn a valid file into an error.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::int64_t kOpenCpuNs = 600'000'000;  // the sanitizers' slower code
#else
constexpr std::int64_t kOpenCpuNs = 60'000'000;
#endif
constexpr const char* kOpenTooCostly = "The file took too much work to open";
// The frame shapes the converter takes; anything else comes from damaged data.
constexpr int kMaxChannels = 64;  // swresample's own limit
constexpr int kMaxFrameSamples = 1 << 18;
// A frame is converted this many samples at a time, which bounds the converter's buffers and
// the pending frames whatever the frame's size and the ratio of the rates.
constexpr int kSliceSamples = 4096;
// No length beyond this (about 30 years) is believed, whatever the file says.
constexpr double kLongestSeconds = 1e9;

[[noreturn]] void fail(int code) {
    const std::string text = decoderErrorText(code);
    throw DeviceError(text.empty() ? "Unknown error code" : text);
}

void quietLibraries() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_ERROR); });
}

}  // namespace

struct FfmpegDecoder::State {
    std::atomic<bool> cancelled{false};
    ReadGuard guard;
    InputPtr input;
    AVCodecContext* codec = nullptr;
    SwrContext* swr = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int stream = -1;
    AVRational timeBase{1, 1};
    std::int64_t startPts = 0;

    // The frame shape the converter is set up for; null swr when that shape cannot be converted.
    AVSampleFormat swrFormat = AV_SAMPLE_FMT_NONE;
    int swrRate = 0;
    AVChannelLayout swrLayout{};

    bool demuxEnded = false;  // av_read_frame gave up; the decoder has been sent its flush
    bool done = false;        // nothing more will come until the next seek
    bool syncing = true;      // the next decoded frame's time stamp places the data
    bool frameHeld = false;   // `frame` is accepted and converted up to frameOffset
    int frameOffset = 0;
    std::int64_t target = 0;  // frames before this index are decoded and dropped
    std::int64_t cursor = 0;  // output index of the next converted frame

    std::vector<std::int16_t> pending;  // converted frames not yet read, from pendingOffset
    std::size_t pendingOffset = 0;      // in frames
    std::vector<std::int16_t> scratch;

    ~State() {
        av_frame_free(&frame);
        av_packet_free(&packet);
        swr_free(&swr);
        av_channel_layout_uninit(&swrLayout);
        avcodec_free_context(&codec);
    }

    // Sets the converter up for frames of this shape (taking `layout`); FFmpeg's error code.
    int setUpConverter(AVSampleFormat format, int rate, AVChannelLayout& layout,
                       OutputFormat output) {
        swr_free(&swr);
        av_channel_layout_uninit(&swrLayout);
        swrLayout = layout;
        layout = AVChannelLayout{};
        swrFormat = format;
        swrRate = rate;
        AVChannelLayout out{};
        av_channel_layout_default(&out, output.channels);
        int code = swr_alloc_set_opts2(&swr, &out, AV_SAMPLE_FMT_S16, output.sampleRate, &swrLayout,
                                       format, rate, 0, nullptr);
        av_channel_layout_uninit(&out);
        if (code >= 0) code = swr_init(swr);
        if (code < 0) swr_free(&swr);
        return code;
    }
};

FfmpegDecoder::FfmpegDecoder(const std::string& path, OutputFormat format,
                             std::function<void()> lengthFound)
    : state_(std::make_unique<State>()), format_(format) {
    quietLibraries();
    State& s = *state_;
    s.guard.stop = &s.cancelled;
    s.guard.cpuLimit = threadCpuNs() + kOpenCpuNs;
    try {
        open(path);
    } catch (const DeviceError&) {
        if (s.guard.overspent) throw DeviceError(kOpenTooCostly);
        throw;
    }
    // From here on only the decoder thread reads, and it may wait for a slow disk; what it
    // reads is bounded by the junk it meets.
    s.guard.cpuLimit.reset();
    s.guard.readLimit = std::numeric_limits<std::int64_t>::max();
    s.guard.junkBound = true;
    s.guard.packetArrived();
    if (lengthExact_) return;
    scan_ = std::make_unique<LengthScan>(
        length_,
        [this, path, rate = s.codec->sample_rate,
         index = s.stream](const std::atomic<bool>& stop) -> std::optional<TrackLength> {
            ReadGuard guard;
            guard.stop = &stop;
            InputPtr input;
            // Another demuxer on the same file: the decoder's own belongs to the decoder thread.
            constexpr std::int64_t kAll = std::numeric_limits<std::int64_t>::max();
            if (openAudio(input, path, guard, nullptr, kAll, kAll) != index) return std::nullopt;
            guard.readLimit = kAll;
            guard.junkBound = true;
            guard.packetArrived();
            PacketTally tally(input->streams[index]->time_base, rate);
            if (AVPacket* packet = av_packet_alloc()) {
                tallyPackets(input.get(), index, packet, tally, guard);
                av_packet_free(&packet);
            }
            // A file gone or changed since it was opened keeps its estimate.
            if (tally.packets() == 0) return std::nullopt;
            return lengthOf(tally.seconds());
        },
        std::move(lengthFound));
}

// On the opening thread: the file's audio stream, its decoder and converter, its length, and
// the position at the start.
void FfmpegDecoder::open(const std::string& path) {
    State& s = *state_;
    // Only regular files: a folder fails at once, and a pipe or a device would block or never
    // end.
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        fail(AVERROR(S_ISDIR(info.st_mode) ? EISDIR : EINVAL));
    }
    const AVCodec* codec = nullptr;
    s.stream = openAudio(s.input, path, s.guard, &codec, kProbeReadBudget, kOpenReadBudget);
    // A read cut off by the budget means no audio where a player would look for it.
    if (s.stream < 0) fail(s.stream == AVERROR_EXIT ? AVERROR_INVALIDDATA : s.stream);
    AVStream* stream = s.input->streams[s.stream];
    s.timeBase = stream->time_base;
    s.startPts = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;

    s.codec = avcodec_alloc_context3(codec);
    if (!s.codec) fail(AVERROR(ENOMEM));
    if (int code = avcodec_parameters_to_context(s.codec, stream->codecpar); code < 0) fail(code);
    s.codec->pkt_timebase = stream->time_base;
    if (int code = avcodec_open2(s.codec, codec, nullptr); code < 0) fail(code);
    const int channels = s.codec->ch_layout.nb_channels;
    if (s.codec->sample_rate < kMinSampleRate || s.codec->sample_rate > kMaxSampleRate ||
        channels <= 0 || channels > kMaxChannels || s.timeBase.num <= 0 || s.timeBase.den <= 0)
        fail(AVERROR_INVALIDDATA);
    s.packet = av_packet_alloc();
    s.frame = av_frame_alloc();
    if (!s.packet || !s.frame) fail(AVERROR(ENOMEM));

    measureLength();

    // A file whose announced shape cannot be converted fails now rather than playing silence.
    AVChannelLayout layout{};
    if (s.codec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        av_channel_layout_default(&layout, channels);
    } else if (int code = av_channel_layout_copy(&layout, &s.codec->ch_layout); code < 0) {
        fail(code);
    }
    if (int code = s.setUpConverter(s.codec->sample_fmt, s.codec->sample_rate, layout, format_);
        code < 0)
        fail(code);

    seek(0);
}

FfmpegDecoder::~FfmpegDecoder() {
    scan_.reset();  // joins the scan, which reads lengthOf() and so this decoder
}

// On the opening thread: the stated or scanned length, or else an estimate for the scan to
// replace. Reads the stream's first packet, so that a file without one fails here.
void FfmpegDecoder::measureLength() {
    State& s = *state_;
    const AVStream& stream = *s.input->streams[s.stream];
    const int rate = s.codec->sample_rate;
    const std::int64_t fileBytes = avio_size(s.input->pb);
    maxSeconds_ =
        fileBytes >= 0 ? std::min(maxSecondsForBytes(fileBytes), kLongestSeconds) : kLongestSeconds;

    PacketTally tally(s.timeBase, rate);
    std::int64_t firstPacketAt = -1;
    int code = 0;
    while (tally.packets() == 0 && (code = av_read_frame(s.input.get(), s.packet)) >= 0) {
        if (s.packet->stream_index == s.stream) {
            tally.add(*s.packet);
            firstPacketAt = s.packet->pos;
        }
        av_packet_unref(s.packet);
    }
    if (tally.packets() == 0) {
        fail(code == AVERROR_EOF || code == AVERROR_EXIT ? AVERROR_INVALIDDATA : code);
    }

    const std::string_view demuxer = s.input->iformat->name;
    std::optional<double> stated;
    if (demuxer == "wav") {
        stated = pcmSeconds(stream, rate, s.codec->ch_layout.nb_channels, fileBytes, firstPacketAt);
    }
    if (!stated && fileBytes >= 0 && fileBytes <= kScanAtOnceBytes) {
        // A file this small is read to its end in a few milliseconds.
        s.guard.readLimit = s.input->pb->bytes_read + kScanAtOnceBytes + kOpenReadBudget;
        if (tallyPackets(s.input.get(), s.stream, s.packet, tally, s.guard) != AVERROR_EXIT) {
            stated = tally.seconds();
        }
    }
    if (stated) {
        length_ = lengthOf(*stated);
        lengthExact_ = true;
        return;
    }
    double estimate = 0;
    if (stream.duration != AV_NOPTS_VALUE && stream.duration > 0) {
        estimate = double(stream.duration) * av_q2d(stream.time_base);
    } else if (s.input->duration > 0) {
        estimate = double(s.input->duration) / AV_TIME_BASE;
    }
    length_ = lengthOf(std::max(estimate, tally.seconds()));
}

TrackLength FfmpegDecoder::lengthOf(double seconds) const {
    seconds = seconds > 0 ? std::min(seconds, maxSeconds_) : 0.0;
    return TrackLength::ofFrames(std::llround(seconds * format_.sampleRate), format_.sampleRate);
}

std::optional<TrackLength> FfmpegDecoder::foundLength() const {
    return scan_ ? scan_->found() : std::nullopt;
}

void FfmpegDecoder::cancel() {
    state_->cancelled.store(true, std::memory_order_relaxed);
    if (scan_) scan_->stop();
}

void FfmpegDecoder::seek(std::int64_t frame) {
    State& s = *state_;
    frame = std::max<std::int64_t>(frame, 0);
    const double seconds = std::max(0.0, double(frame) / format_.sampleRate - kSeekPrerollSeconds);
    // In doubles: a damaged start time must not overflow the stamp.
    const double stamp = std::clamp(double(s.startPts) + seconds / av_q2d(s.timeBase), -9e18, 9e18);
    const std::int64_t ts = frame == 0 ? s.startPts : std::int64_t(stamp);
    if (av_seek_frame(s.input.get(), s.stream, ts, AVSEEK_FLAG_BACKWARD) < 0 &&
        av_seek_frame(s.input.get(), s.stream, s.startPts, AVSEEK_FLAG_BACKWARD) < 0) {
        // No way back: decode from wherever the demuxer is; the time stamps still place the
        // data, and a read that finds nothing ends the track.
        av_seek_frame(s.input.get(), -1, 0, AVSEEK_FLAG_BYTE);
    }
    avcodec_flush_buffers(s.codec);
    if (s.swr) swr_init(s.swr);  // drops samples buffered for the old position
    av_frame_unref(s.frame);
    s.frameHeld = false;
    s.demuxEnded = false;
    s.done = false;
    s.syncing = true;
    s.target = frame;
    s.cursor = frame;
    s.pending.clear();
    s.pendingOffset = 0;
    nextFrame_ = frame;
}

std::size_t FfmpegDecoder::read(std::int16_t* out, std::size_t maxFrames) {
    State& s = *state_;
    return readPending(s.pending, s.pendingOffset, format_.channels, out, maxFrames, nextFrame_,
                       [this] { return refill(); });
}

// Decodes until some frames at or after the target are pending. False when the data has ended.
bool FfmpegDecoder::refill() {
    State& s = *state_;
    s.pending.clear();
    s.pendingOffset = 0;
    while (!s.done) {
        if (s.cancelled.load(std::memory_order_relaxed)) {
            s.done = true;
            return false;
        }
        if (s.frameHeld) {
            convertSlice();
            if (!s.pending.empty()) return true;
            continue;
        }
        const int received = avcodec_receive_frame(s.codec, s.frame);
        if (received == 0) {
            if (!acceptFrame()) {
                av_frame_unref(s.frame);
                continue;
            }
            const std::int64_t pts = s.frame->best_effort_timestamp;
            if (s.syncing && pts != AV_NOPTS_VALUE) {
                // Data that starts after the target is taken as starting at it. In doubles,
                // clamped: a damaged stamp must not overflow the index.
                const double at =
                    (double(pts) - double(s.startPts)) * av_q2d(s.timeBase) * format_.sampleRate;
                s.cursor = std::llround(std::clamp(at, -4e18, double(s.target)));
            }
            s.syncing = false;
            s.frameHeld = true;
            s.frameOffset = 0;
            continue;
        }
        if (received == AVERROR_EOF) {
            resample(nullptr, 0);  // what the converter still holds
            s.done = true;
            return !s.pending.empty();
        }
        if (received != AVERROR(EAGAIN)) {
            s.done = true;
            return false;
        }
        if (s.demuxEnded) {
            // The flush was sent and the decoder still asks for input: nothing more will come.
            s.done = true;
            return false;
        }
        const int read = av_read_frame(s.input.get(), s.packet);
        if (read < 0) {
            // End of file or a read error (a file cut short under us): drain what is decoded.
            s.demuxEnded = true;
            avcodec_send_packet(s.codec, nullptr);
            continue;
        }
        s.guard.packetArrived();
        if (s.packet->stream_index == s.stream) {
            // A damaged packet is skipped; the decoder resynchronises on the next one.
            avcodec_send_packet(s.codec, s.packet);
        }
        av_packet_unref(s.packet);
    }
    return false;
}

// Checks the decoded frame before anything reads it, and sets the converter up anew when the
// frame's shape differs from the last one's: files joined from others (44.1 kHz stereo, then
// 22.05 kHz mono) and damaged ones change rate, channels or sample format mid-stream. False
// skips the frame.
bool FfmpegDecoder::acceptFrame() {
    State& s = *state_;
    const AVFrame& frame = *s.frame;
    const auto format = AVSampleFormat(frame.format);
    const int channels = frame.ch_layout.nb_channels;
    const int bytes = format > AV_SAMPLE_FMT_NONE && format < AV_SAMPLE_FMT_NB
                          ? av_get_bytes_per_sample(format)
                          : 0;
    if (frame.nb_samples <= 0 || frame.nb_samples > kMaxFrameSamples || bytes <= 0 ||
        channels <= 0 || channels > kMaxChannels || frame.sample_rate < kMinSampleRate ||
        frame.sample_rate > kMaxSampleRate || !frame.extended_data)
        return false;
    const bool planar = av_sample_fmt_is_planar(format);
    for (int plane = 0; plane < (planar ? channels : 1); ++plane) {
        if (!frame.extended_data[plane]) return false;
    }
    if (std::int64_t(frame.linesize[0]) <
        std::int64_t(frame.nb_samples) * bytes * (planar ? 1 : channels))
        return false;

    AVChannelLayout layout{};
    if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC ||
        !av_channel_layout_check(&frame.ch_layout)) {
        av_channel_layout_default(&layout, channels);
    } else if (av_channel_layout_copy(&layout, &frame.ch_layout) < 0) {
        return false;
    }
    if (format == s.swrFormat && frame.sample_rate == s.swrRate &&
        av_channel_layout_compare(&layout, &s.swrLayout) == 0) {
        av_channel_layout_uninit(&layout);
        return s.swr != nullptr;
    }
    resample(nullptr, 0);  // what the converter holds of the frames before
    return s.setUpConverter(format, frame.sample_rate, layout, format_) >= 0;
}

// Converts the held frame's next slice, and lets the frame go after its last.
void FfmpegDecoder::convertSlice() {
    State& s = *state_;
    const AVFrame& frame = *s.frame;
    const int channels = frame.ch_layout.nb_channels;
    const bool planar = av_sample_fmt_is_planar(AVSampleFormat(frame.format));
    const std::size_t step = std::size_t(av_get_bytes_per_sample(AVSampleFormat(frame.format))) *
                             std::size_t(planar ? 1 : channels);
    std::array<const std::uint8_t*, kMaxChannels> planes{};
    for (int p = 0; p < (planar ? channels : 1); ++p) {
        planes[std::size_t(p)] = frame.extended_data[p] + std::size_t(s.frameOffset) * step;
    }
    const int slice = std::min(kSliceSamples, frame.nb_samples - s.frameOffset);
    resample(planes.data(), slice);
    s.frameOffset += slice;
    if (s.frameOffset >= frame.nb_samples) {
        av_frame_unref(s.frame);
        s.frameHeld = false;
    }
}

// Resamples `samples` input frames (none: drains the converter) placed at the cursor, and
// appends those at or after the target to the pending frames.
void FfmpegDecoder::resample(const std::uint8_t* const* data, int samples) {
    State& s = *state_;
    if (!s.swr) return;
    const std::size_t channels = std::size_t(format_.channels);
    const int capacity = swr_get_out_samples(s.swr, samples);
    if (capacity <= 0) return;
    s.scratch.resize(std::size_t(capacity) * channels);
    auto* out = reinterpret_cast<std::uint8_t*>(s.scratch.data());
    const int got =
        swr_convert(s.swr, &out, capacity, const_cast<const std::uint8_t**>(data), samples);
    if (got <= 0) return;
    const std::int64_t first = s.cursor;
    s.cursor = first + got;
    const std::int64_t drop = std::clamp<std::int64_t>(s.target - first, 0, got);
    if (drop == got) return;
    s.pending.insert(s.pending.end(), s.scratch.begin() + std::ptrdiff_t(drop * channels),
                     s.scratch.begin() + std::ptrdiff_t(std::size_t(got) * channels));
}

}  // namespace playback
