#include "playback/decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/intreadwrite.h>
#include <libswresample/swresample.h>
}

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <vector>

#include "playback/media_player.h"

namespace playback {
namespace {

// Seeks land this far before the target and decode up to it: MP3 needs the frames before a
// seek point for its bit reservoir, and ASF index entries can sit after the asked time.
constexpr double kSeekPrerollSeconds = 0.5;

[[noreturn]] void fail(int code) {
    const std::string text = decoderErrorText(code);
    throw DeviceError(text.empty() ? "Unknown error code" : text);
}

void quietLibraries() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_ERROR); });
}

}  // namespace

std::string decoderErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(code, text, sizeof text) < 0) return {};
    return text;
}

struct Decoder::State {
    AVFormatContext* input = nullptr;
    AVCodecContext* codec = nullptr;
    SwrContext* swr = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int stream = -1;
    AVRational timeBase{1, 1};
    std::int64_t startPts = 0;

    bool demuxEnded = false;  // av_read_frame gave up; the decoder has been sent its flush
    bool done = false;        // nothing more will come until the next seek
    bool syncing = true;      // the next decoded frame's time stamp places the data
    std::int64_t target = 0;  // frames before this index are decoded and dropped
    std::int64_t cursor = 0;  // output index of the next converted frame

    std::vector<std::int16_t> pending;  // converted frames not yet read, from pendingOffset
    std::size_t pendingOffset = 0;      // in frames
    std::vector<std::int16_t> scratch;

    ~State() {
        av_frame_free(&frame);
        av_packet_free(&packet);
        swr_free(&swr);
        avcodec_free_context(&codec);
        avformat_close_input(&input);
    }
};

Decoder::Decoder(const std::string& path, OutputFormat format)
    : state_(std::make_unique<State>()), format_(format) {
    quietLibraries();
    State& s = *state_;
    // Only regular files: a folder fails at once, and a pipe or a device would block or never
    // end the packet scan.
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        fail(AVERROR(S_ISDIR(info.st_mode) ? EISDIR : EINVAL));
    }
    // The "file:" prefix keeps a name such as "a:b.mp3" or "http://x" a local path.
    const std::string url = "file:" + path;
    if (int code = avformat_open_input(&s.input, url.c_str(), nullptr, nullptr); code < 0) {
        s.input = nullptr;
        fail(code);
    }
    if (int code = avformat_find_stream_info(s.input, nullptr); code < 0) fail(code);
    const AVCodec* codec = nullptr;
    s.stream = av_find_best_stream(s.input, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (s.stream < 0) fail(s.stream);
    AVStream* stream = s.input->streams[s.stream];
    for (unsigned i = 0; i < s.input->nb_streams; ++i) {
        if (int(i) != s.stream) s.input->streams[i]->discard = AVDISCARD_ALL;
    }
    s.timeBase = stream->time_base;
    s.startPts = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;

    s.codec = avcodec_alloc_context3(codec);
    if (!s.codec) fail(AVERROR(ENOMEM));
    if (int code = avcodec_parameters_to_context(s.codec, stream->codecpar); code < 0) fail(code);
    s.codec->pkt_timebase = stream->time_base;
    if (int code = avcodec_open2(s.codec, codec, nullptr); code < 0) fail(code);
    if (s.codec->sample_rate <= 0 || s.codec->ch_layout.nb_channels <= 0) fail(AVERROR_INVALIDDATA);

    // The length: one pass over the packets without decoding. Header durations are wrong for
    // VBR MP3 without a Xing header and for truncated files; the packets are not.
    s.packet = av_packet_alloc();
    s.frame = av_frame_alloc();
    if (!s.packet || !s.frame) fail(AVERROR(ENOMEM));
    std::int64_t first = std::numeric_limits<std::int64_t>::max();
    std::int64_t end = std::numeric_limits<std::int64_t>::min();
    std::int64_t durationSum = 0;
    std::int64_t skipped = 0;
    std::int64_t packets = 0;
    while (av_read_frame(s.input, s.packet) >= 0) {
        if (s.packet->stream_index == s.stream) {
            ++packets;
            const std::int64_t ts = s.packet->pts != AV_NOPTS_VALUE ? s.packet->pts : s.packet->dts;
            const std::int64_t duration = std::max<std::int64_t>(s.packet->duration, 0);
            durationSum += duration;
            if (ts != AV_NOPTS_VALUE) {
                first = std::min(first, ts);
                end = std::max(end, ts + duration);
            }
            std::size_t size = 0;
            if (const std::uint8_t* skip =
                    av_packet_get_side_data(s.packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
                skip && size >= 8) {
                skipped += std::int64_t(AV_RL32(skip)) + std::int64_t(AV_RL32(skip + 4));
            }
        }
        av_packet_unref(s.packet);
    }
    if (packets == 0) fail(AVERROR_INVALIDDATA);
    const std::int64_t span = end > first ? end - first : durationSum;
    const double seconds =
        double(span) * av_q2d(s.timeBase) - double(skipped) / s.codec->sample_rate;
    lengthMs_ = std::max<std::int64_t>(0, std::llround(seconds * 1000.0));
    totalFrames_ = (lengthMs_ * format_.sampleRate + 999) / 1000;

    AVChannelLayout in{};
    if (s.codec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        av_channel_layout_default(&in, s.codec->ch_layout.nb_channels);
    } else if (int code = av_channel_layout_copy(&in, &s.codec->ch_layout); code < 0) {
        fail(code);
    }
    AVChannelLayout out{};
    av_channel_layout_default(&out, format_.channels);
    const int code = swr_alloc_set_opts2(&s.swr, &out, AV_SAMPLE_FMT_S16, format_.sampleRate, &in,
                                         s.codec->sample_fmt, s.codec->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    if (code < 0) fail(code);
    if (int initCode = swr_init(s.swr); initCode < 0) fail(initCode);

    seek(0);
}

Decoder::~Decoder() = default;

void Decoder::seek(std::int64_t frame) {
    State& s = *state_;
    frame = std::clamp<std::int64_t>(frame, 0, totalFrames_);
    const double seconds = std::max(0.0, double(frame) / format_.sampleRate - kSeekPrerollSeconds);
    const std::int64_t ts =
        s.startPts + (frame == 0 ? 0 : std::int64_t(seconds / av_q2d(s.timeBase)));
    if (av_seek_frame(s.input, s.stream, ts, AVSEEK_FLAG_BACKWARD) < 0 &&
        av_seek_frame(s.input, s.stream, s.startPts, AVSEEK_FLAG_BACKWARD) < 0) {
        // No way back: decode from wherever the demuxer is; the time stamps still place the
        // data, and a read that finds nothing ends the track.
        av_seek_frame(s.input, -1, 0, AVSEEK_FLAG_BYTE);
    }
    avcodec_flush_buffers(s.codec);
    swr_init(s.swr);  // drops samples buffered for the old position
    s.demuxEnded = false;
    s.done = false;
    s.syncing = true;
    s.target = frame;
    s.cursor = frame;
    s.pending.clear();
    s.pendingOffset = 0;
    nextFrame_ = frame;
}

std::size_t Decoder::read(std::int16_t* out, std::size_t maxFrames) {
    State& s = *state_;
    const std::size_t channels = std::size_t(format_.channels);
    std::size_t produced = 0;
    while (produced < maxFrames && nextFrame_ < totalFrames_) {
        const std::size_t available = s.pending.size() / channels - s.pendingOffset;
        if (available == 0) {
            if (!refill()) break;
            continue;
        }
        const std::size_t n =
            std::min({available, maxFrames - produced, std::size_t(totalFrames_ - nextFrame_)});
        std::memcpy(out + produced * channels, s.pending.data() + s.pendingOffset * channels,
                    n * channels * sizeof(std::int16_t));
        s.pendingOffset += n;
        produced += n;
        nextFrame_ += std::int64_t(n);
    }
    return produced;
}

// Decodes until some frames at or after the target are pending. False when the data has ended.
bool Decoder::refill() {
    State& s = *state_;
    s.pending.clear();
    s.pendingOffset = 0;
    while (!s.done) {
        const int received = avcodec_receive_frame(s.codec, s.frame);
        if (received == 0) {
            if (s.syncing) {
                s.syncing = false;
                const std::int64_t pts = s.frame->best_effort_timestamp;
                if (pts != AV_NOPTS_VALUE) {
                    const double at = double(pts - s.startPts) * av_q2d(s.timeBase);
                    // Data that starts after the target is taken as starting at it.
                    s.cursor =
                        std::min<std::int64_t>(s.target, std::llround(at * format_.sampleRate));
                }
            }
            convert(const_cast<const std::uint8_t**>(s.frame->extended_data), s.frame->nb_samples,
                    s.cursor);
            av_frame_unref(s.frame);
            if (!s.pending.empty()) return true;
            continue;
        }
        if (received == AVERROR_EOF) {
            convert(nullptr, 0, s.cursor);  // what the resampler still holds
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
        const int read = av_read_frame(s.input, s.packet);
        if (read < 0) {
            // End of file or a read error (a file cut short under us): drain what is decoded.
            s.demuxEnded = true;
            avcodec_send_packet(s.codec, nullptr);
            continue;
        }
        if (s.packet->stream_index == s.stream) {
            // A damaged packet is skipped; the decoder resynchronises on the next one.
            avcodec_send_packet(s.codec, s.packet);
        }
        av_packet_unref(s.packet);
    }
    return false;
}

// Resamples `samples` input frames placed at output index `firstFrame` and appends those at or
// after the target to the pending frames.
void Decoder::convert(const std::uint8_t** data, int samples, std::int64_t firstFrame) {
    State& s = *state_;
    const std::size_t channels = std::size_t(format_.channels);
    const int capacity = swr_get_out_samples(s.swr, samples);
    if (capacity <= 0) return;
    s.scratch.resize(std::size_t(capacity) * channels);
    auto* out = reinterpret_cast<std::uint8_t*>(s.scratch.data());
    const int got = swr_convert(s.swr, &out, capacity, data, samples);
    if (got <= 0) return;
    std::int64_t drop = std::clamp<std::int64_t>(s.target - firstFrame, 0, got);
    s.cursor = firstFrame + got;
    if (drop == got) return;
    s.pending.insert(s.pending.end(), s.scratch.begin() + std::ptrdiff_t(drop * channels),
                     s.scratch.begin() + std::ptrdiff_t(std::size_t(got) * channels));
}

}  // namespace playback
