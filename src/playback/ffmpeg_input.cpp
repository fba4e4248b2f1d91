// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/ffmpeg_input.h"

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include <time.h>

#include <algorithm>

#include "playback/decoder.h"
#include "playback/track_length.h"

namespace playback {
namespace {

// The containers the player plays. Probing picks a demuxer by content, and a playlist or meta
// demuxer (HLS, concatenation scripts, image sequences) would open whatever its text names and
// wait for a live list to grow: a text file named .mp3 held the window for minutes.
// MPEG audio is libmpg123's: FFmpeg's MP3 parser kept appending junk without a frame sync.
constexpr const char* kPlayedContainers = "asf,wav,w64,flac,ogg,aac,aiff,mov";
constexpr const char* kLocalFilesOnly = "file";

// FFmpeg calls this before each read from the file and while it waits.
int interruptRead(void* opaque) {
    auto* guard = static_cast<ReadGuard*>(opaque);
    if (guard->stop && guard->stop->load(std::memory_order_relaxed)) return 1;
    const std::int64_t bytes = guard->bytesRead();
    if (bytes > guard->readLimit) return 1;
    if (guard->junkBound && bytes - guard->packetAt > kJunkLimit) return 1;
    if (guard->cpuLimit && threadCpuNs() > *guard->cpuLimit) guard->overspent = true;
    return guard->overspent;
}

std::string localUrl(const std::string& path) {
    return "file:" + path;
}

// The demuxer that probing picks for the data of `path` from byte `offset` on; null when none
// does.
const AVInputFormat* probeAt(const std::string& path, std::int64_t offset,
                             const AVIOInterruptCB& interrupt) {
    const std::string url = localUrl(path);
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", kLocalFilesOnly, 0);
    AVIOContext* file = nullptr;
    const int code = avio_open2(&file, url.c_str(), AVIO_FLAG_READ, &interrupt, &options);
    av_dict_free(&options);
    const AVInputFormat* format = nullptr;
    if (code >= 0 && avio_seek(file, offset, SEEK_SET) == offset) {
        av_probe_input_buffer2(file, &format, url.c_str(), nullptr, 0, 0);
    }
    avio_closep(&file);
    return format;
}

}  // namespace

int openAudio(InputPtr& input, const std::string& path, ReadGuard& guard, const AVCodec** codec,
              std::int64_t probeBudget, std::int64_t readBudget) {
    AVFormatContext* context = avformat_alloc_context();
    if (!context) return AVERROR(ENOMEM);
    context->interrupt_callback = {interruptRead, &guard};
    guard.input = context;
    guard.readLimit = probeBudget;
    // Zero bytes before the first frame are skipped, and what follows them probed: probing
    // from the start would parse a megabyte of zeros with every demuxer and find nothing.
    const AVInputFormat* format = nullptr;
    std::int64_t skipped = 0;
    if (const std::int64_t zeros = leadingZeroBytes(path, std::min(probeBudget, kProbeReadBudget));
        zeros > 0) {
        format = probeAt(path, zeros, context->interrupt_callback);
        if (format) skipped = zeros;
    }
    const int opened = openLocalInput(&context, path, format, skipped);
    if (opened < 0) {
        guard.input = nullptr;  // freed by the failed open
        return opened;
    }
    input.reset(context);
    // The probe has read what it needed; what finding the streams reads is budgeted.
    if (context->pb) guard.readLimit = av_sat_add64(context->pb->bytes_read, readBudget);
    if (int code = avformat_find_stream_info(context, nullptr); code < 0) return code;
    const int stream = av_find_best_stream(context, AVMEDIA_TYPE_AUDIO, -1, -1, codec, 0);
    if (stream < 0) return stream;
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        if (int(i) != stream) context->streams[i]->discard = AVDISCARD_ALL;
    }
    return stream;
}

int tallyPackets(AVFormatContext* input, int stream, AVPacket* packet, PacketTally& tally,
                 ReadGuard& guard) {
    int code = 0;
    while ((code = av_read_frame(input, packet)) >= 0) {
        guard.packetArrived();
        if (packet->stream_index == stream) tally.add(*packet);
        av_packet_unref(packet);
    }
    return code;
}

std::optional<double> pcmSeconds(const AVStream& stream, int rate, int channels,
                                 std::int64_t fileBytes, std::int64_t dataStart) {
    const AVCodecID id = stream.codecpar->codec_id;
    const int bits = av_get_exact_bits_per_sample(id);
    if (id < AV_CODEC_ID_PCM_S16LE || id >= AV_CODEC_ID_ADPCM_IMA_QT || bits <= 0 || bits % 8 ||
        dataStart < 0 || fileBytes < dataStart)
        return std::nullopt;
    std::int64_t frames = (fileBytes - dataStart) / (std::int64_t(bits / 8) * channels);
    if (stream.duration != AV_NOPTS_VALUE && stream.duration > 0) {
        const std::int64_t stated = av_rescale_q(stream.duration, stream.time_base, {1, rate});
        if (stated > 0) frames = std::min(frames, stated);
    }
    return double(frames) / rate;
}

std::int64_t threadCpuNs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

int openLocalInput(AVFormatContext** context, const std::string& path, const AVInputFormat* format,
                   std::int64_t skipBytes) {
    AVDictionary* options = nullptr;
    av_dict_set(&options, "format_whitelist", kPlayedContainers, 0);
    av_dict_set(&options, "protocol_whitelist", kLocalFilesOnly, 0);
    if (skipBytes > 0) av_dict_set_int(&options, "skip_initial_bytes", skipBytes, 0);
    const int opened = avformat_open_input(context, localUrl(path).c_str(), format, &options);
    av_dict_free(&options);
    return opened;
}

std::string decoderErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(code, text, sizeof text) < 0) return {};
    return text;
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
    // A duration may be short by a unit of the time base (ASF counts whole milliseconds: 46 for
    // 46.4), which over a song adds up to seconds: each packet may fill one unit more.
    if (longest_ > 0)
        span = std::min(span, durationSum_ + double(packets_) + double(undated_ + 1) * longest_);
    const double seconds = span * av_q2d(timeBase_) - skipped_ / sampleRate_;
    return seconds > 0 ? seconds : 0.0;
}

}  // namespace playback
