// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio_fixtures.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <numbers>
#include <stdexcept>

namespace fixtures {
namespace {

std::string avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

void check(int code, const char* what) {
    if (code < 0) throw std::runtime_error(std::string(what) + ": " + avError(code));
}

struct FormatContextCloser {
    void operator()(AVFormatContext* context) const {
        if (!context) return;
        if (context->pb && !(context->oformat->flags & AVFMT_NOFILE)) avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
struct CodecContextFree {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

struct Encoding {
    const char* codec;
    const char* muxer;
    bool vbr;
    bool xing;
    bool id3;
    int bitRate = 0;  // 0: 64 kbit/s a channel (32 below 32 kHz)
};

Encoding encodingOf(Format format) {
    switch (format) {
        case Format::Wav:
            return {"pcm_s16le", "wav", false, false, false};
        case Format::Mp3:
            return {"libmp3lame", "mp3", false, true, false};
        case Format::Mp3Vbr:
            return {"libmp3lame", "mp3", true, true, false};
        case Format::Mp3VbrNoXing:
            return {"libmp3lame", "mp3", true, false, false};
        case Format::Mp3Id3:
            return {"libmp3lame", "mp3", false, true, true};
        case Format::Wma:
            return {"wmav2", "asf", false, false, false};
    }
    throw std::logic_error("unknown fixture format");
}

// Writes sample `value` (-1..1) at frame `i`, channel `c` in the encoder's sample format.
void store(AVFrame* frame, AVSampleFormat format, int channels, int i, int c, double value) {
    const bool planar = av_sample_fmt_is_planar(format);
    std::uint8_t* plane = frame->data[planar ? c : 0];
    const int at = planar ? i : i * channels + c;
    switch (av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_U8:
            plane[at] = static_cast<std::uint8_t>(std::lround(128.0 + value * 127.0));
            break;
        case AV_SAMPLE_FMT_S16:
            reinterpret_cast<std::int16_t*>(plane)[at] =
                static_cast<std::int16_t>(std::lround(value * 32767.0));
            break;
        case AV_SAMPLE_FMT_S32:
            reinterpret_cast<std::int32_t*>(plane)[at] =
                static_cast<std::int32_t>(std::lround(value * 2147483647.0));
            break;
        case AV_SAMPLE_FMT_FLT:
            reinterpret_cast<float*>(plane)[at] = static_cast<float>(value);
            break;
        case AV_SAMPLE_FMT_DBL:
            reinterpret_cast<double*>(plane)[at] = value;
            break;
        default:
            throw std::runtime_error("fixture encoder wants an unexpected sample format");
    }
}

// The encoder's first sample format, preferring 16-bit ones.
AVSampleFormat pickFormat(const AVCodec* codec) {
    if (!codec->sample_fmts) return AV_SAMPLE_FMT_S16;
    for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f) {
        if (av_get_packed_sample_fmt(*f) == AV_SAMPLE_FMT_S16) return *f;
    }
    return codec->sample_fmts[0];
}

void drain(AVCodecContext* encoder, AVFormatContext* muxer, AVStream* stream, AVPacket* packet) {
    for (;;) {
        const int code = avcodec_receive_packet(encoder, packet);
        if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) return;
        check(code, "avcodec_receive_packet");
        av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
        packet->stream_index = stream->index;
        check(av_interleaved_write_frame(muxer, packet), "av_interleaved_write_frame");
    }
}

}  // namespace

const char* formatName(Format format) {
    switch (format) {
        case Format::Wav:
            return "wav";
        case Format::Mp3:
            return "mp3";
        case Format::Mp3Vbr:
            return "mp3_vbr";
        case Format::Mp3VbrNoXing:
            return "mp3_vbr_no_xing";
        case Format::Mp3Id3:
            return "mp3_id3";
        case Format::Wma:
            return "wma";
    }
    return "?";
}

const char* extension(Format format) {
    switch (format) {
        case Format::Wav:
            return ".wav";
        case Format::Wma:
            return ".wma";
        default:
            return ".mp3";
    }
}

namespace {

void encodeTone(const std::string& path, const Encoding& encoding, double frequencyHz,
                std::int64_t firstFrame, std::int64_t frames, int sampleRate, int channels) {
    const AVCodec* codec = avcodec_find_encoder_by_name(encoding.codec);
    if (!codec) throw std::runtime_error(std::string("no encoder ") + encoding.codec);

    AVFormatContext* rawMuxer = nullptr;
    check(avformat_alloc_output_context2(&rawMuxer, nullptr, encoding.muxer, path.c_str()),
          "avformat_alloc_output_context2");
    std::unique_ptr<AVFormatContext, FormatContextCloser> muxer(rawMuxer);

    std::unique_ptr<AVCodecContext, CodecContextFree> encoder(avcodec_alloc_context3(codec));
    encoder->sample_rate = sampleRate;
    av_channel_layout_default(&encoder->ch_layout, channels);
    encoder->sample_fmt = pickFormat(codec);
    encoder->time_base = AVRational{1, sampleRate};
    if (encoding.vbr) {
        encoder->flags |= AV_CODEC_FLAG_QSCALE;
        encoder->global_quality = FF_QP2LAMBDA * 2;
    } else if (encoding.bitRate > 0) {
        encoder->bit_rate = encoding.bitRate;
    } else if (std::strncmp(encoding.codec, "pcm_", 4) != 0) {
        encoder->bit_rate = channels * (sampleRate >= 32000 ? 64000 : 32000);
    }
    if (muxer->oformat->flags & AVFMT_GLOBALHEADER) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    check(avcodec_open2(encoder.get(), codec, nullptr), "avcodec_open2");

    AVStream* stream = avformat_new_stream(muxer.get(), nullptr);
    if (!stream) throw std::runtime_error("avformat_new_stream failed");
    check(avcodec_parameters_from_context(stream->codecpar, encoder.get()),
          "avcodec_parameters_from_context");
    stream->time_base = encoder->time_base;

    AVDictionary* options = nullptr;
    if (std::strcmp(encoding.muxer, "mp3") == 0) {
        av_dict_set(&options, "write_xing", encoding.xing ? "1" : "0", 0);
        av_dict_set(&options, "id3v2_version", encoding.id3 ? "3" : "0", 0);
        if (encoding.id3) {
            av_dict_set(&muxer->metadata, "title", "\xe6\xb5\x8b\xe8\xaf\x95", 0);
            av_dict_set(&muxer->metadata, "artist", "fixture", 0);
            av_dict_set(&muxer->metadata, "comment", std::string(20000, 'x').c_str(), 0);
        }
    }
    check(avio_open(&muxer->pb, path.c_str(), AVIO_FLAG_WRITE), "avio_open");
    const int headerCode = avformat_write_header(muxer.get(), &options);
    av_dict_free(&options);
    check(headerCode, "avformat_write_header");

    const int frameSize = encoder->frame_size > 0 ? encoder->frame_size : 1024;
    const std::int64_t total = frames;
    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    const double step = 2.0 * std::numbers::pi * frequencyHz / sampleRate;
    for (std::int64_t start = 0; start < total; start += frameSize) {
        const int count = int(std::min<std::int64_t>(frameSize, total - start));
        av_frame_unref(frame.get());
        frame->nb_samples = count;
        frame->format = encoder->sample_fmt;
        frame->sample_rate = sampleRate;
        check(av_channel_layout_copy(&frame->ch_layout, &encoder->ch_layout), "layout");
        check(av_frame_get_buffer(frame.get(), 0), "av_frame_get_buffer");
        for (int i = 0; i < count; ++i) {
            const std::int64_t n = firstFrame + start + i;
            double amplitude = 0.5;
            // A slow swell from 0.05 to 0.5 and back gives a VBR encoder frames of many sizes.
            if (encoding.vbr) amplitude = 0.05 + 0.45 * std::abs(std::sin(double(n) / sampleRate));
            const double value = amplitude * std::sin(step * double(n));
            for (int c = 0; c < channels; ++c)
                store(frame.get(), encoder->sample_fmt, channels, i, c, value);
        }
        frame->pts = start;
        check(avcodec_send_frame(encoder.get(), frame.get()), "avcodec_send_frame");
        drain(encoder.get(), muxer.get(), stream, packet.get());
    }
    check(avcodec_send_frame(encoder.get(), nullptr), "avcodec_send_frame(flush)");
    drain(encoder.get(), muxer.get(), stream, packet.get());
    check(av_write_trailer(muxer.get()), "av_write_trailer");
}

}  // namespace

void writeTone(const std::string& path, Format format, double frequencyHz, int durationMs,
               int sampleRate, int channels) {
    encodeTone(path, encodingOf(format), frequencyHz, 0,
               std::int64_t(durationMs) * sampleRate / 1000, sampleRate, channels);
}

void writeTonePart(const std::string& path, Format format, double frequencyHz,
                   std::int64_t firstFrame, std::int64_t frames, int sampleRate, int channels) {
    encodeTone(path, encodingOf(format), frequencyHz, firstFrame, frames, sampleRate, channels);
}

std::int16_t toneSample(double frequencyHz, int sampleRate, std::int64_t n) {
    const double step = 2.0 * std::numbers::pi * frequencyHz / sampleRate;
    return static_cast<std::int16_t>(std::lround(0.5 * std::sin(step * double(n)) * 32767.0));
}

void writeToneWith(const std::string& path, const char* codec, const char* muxer,
                   double frequencyHz, int durationMs, int sampleRate, int channels, int bitRate) {
    encodeTone(path, {codec, muxer, false, false, false, bitRate}, frequencyHz, 0,
               std::int64_t(durationMs) * sampleRate / 1000, sampleRate, channels);
}

void writeMp3WithXing(const std::string& path, const std::string& from) {
    AVFormatContext* rawInput = nullptr;
    check(avformat_open_input(&rawInput, from.c_str(), nullptr, nullptr), "avformat_open_input");
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> input(
        rawInput, [](AVFormatContext* c) { avformat_close_input(&c); });
    check(avformat_find_stream_info(input.get(), nullptr), "avformat_find_stream_info");
    const int index = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    check(index, "av_find_best_stream");

    AVFormatContext* rawMuxer = nullptr;
    check(avformat_alloc_output_context2(&rawMuxer, nullptr, "mp3", path.c_str()),
          "avformat_alloc_output_context2");
    std::unique_ptr<AVFormatContext, FormatContextCloser> muxer(rawMuxer);
    AVStream* stream = avformat_new_stream(muxer.get(), nullptr);
    if (!stream) throw std::runtime_error("avformat_new_stream failed");
    check(avcodec_parameters_copy(stream->codecpar, input->streams[index]->codecpar), "params");
    stream->time_base = input->streams[index]->time_base;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "write_xing", "1", 0);
    av_dict_set(&options, "id3v2_version", "0", 0);
    check(avio_open(&muxer->pb, path.c_str(), AVIO_FLAG_WRITE), "avio_open");
    const int headerCode = avformat_write_header(muxer.get(), &options);
    av_dict_free(&options);
    check(headerCode, "avformat_write_header");
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == index) {
            av_packet_rescale_ts(packet.get(), input->streams[index]->time_base, stream->time_base);
            packet->stream_index = 0;
            check(av_write_frame(muxer.get(), packet.get()), "av_write_frame");
        }
        av_packet_unref(packet.get());
    }
    check(av_write_trailer(muxer.get()), "av_write_trailer");
}

int runTool(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::string locale = "LC_ALL=C.UTF-8";
    std::string path = "PATH=/usr/local/bin:/usr/bin:/bin";
    char* envp[] = {locale.data(), path.data(), nullptr};
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &quiet, nullptr, argv.data(), envp);
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

void writeHeaderOnlyWav(const std::string& path) {
    auto le32 = [](std::uint32_t v) {
        return std::string{char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF),
                           char((v >> 24) & 0xFF)};
    };
    auto le16 = [](std::uint16_t v) { return std::string{char(v & 0xFF), char((v >> 8) & 0xFF)}; };
    std::string header = "RIFF" + le32(36) + "WAVE" + "fmt " + le32(16) + le16(1) + le16(2) +
                         le32(44100) + le32(44100 * 4) + le16(4) + le16(16);
    writeBytes(path, header);
}

void truncateFile(const std::string& path, std::uintmax_t bytes) {
    std::filesystem::resize_file(path, bytes);
}

void joinFiles(const std::string& path, const std::vector<std::string>& parts) {
    std::string bytes;
    for (const std::string& part : parts) bytes += readBytes(part);
    writeBytes(path, bytes);
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) throw std::runtime_error("cannot read " + path);
    return bytes;
}

Decoded decodeFile(const std::string& path) {
    AVFormatContext* rawInput = nullptr;
    check(avformat_open_input(&rawInput, path.c_str(), nullptr, nullptr), "avformat_open_input");
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> input(
        rawInput, [](AVFormatContext* c) { avformat_close_input(&c); });
    check(avformat_find_stream_info(input.get(), nullptr), "avformat_find_stream_info");
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    check(index, "av_find_best_stream");
    std::unique_ptr<AVCodecContext, CodecContextFree> decoder(avcodec_alloc_context3(codec));
    check(avcodec_parameters_to_context(decoder.get(), input->streams[index]->codecpar), "params");
    check(avcodec_open2(decoder.get(), codec, nullptr), "avcodec_open2");

    Decoded result;
    result.sampleRate = decoder->sample_rate;
    result.channels = decoder->ch_layout.nb_channels;
    SwrContext* rawSwr = nullptr;
    check(swr_alloc_set_opts2(&rawSwr, &decoder->ch_layout, AV_SAMPLE_FMT_S16, result.sampleRate,
                              &decoder->ch_layout, decoder->sample_fmt, decoder->sample_rate, 0,
                              nullptr),
          "swr_alloc_set_opts2");
    std::unique_ptr<SwrContext, void (*)(SwrContext*)> swr(rawSwr,
                                                           [](SwrContext* s) { swr_free(&s); });
    check(swr_init(swr.get()), "swr_init");

    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    auto receive = [&] {
        while (avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
            const std::size_t at = result.samples.size();
            result.samples.resize(at + std::size_t(frame->nb_samples + 256) * result.channels);
            auto* out = reinterpret_cast<std::uint8_t*>(result.samples.data() + at);
            const int got = swr_convert(swr.get(), &out, frame->nb_samples + 256,
                                        const_cast<const std::uint8_t**>(frame->extended_data),
                                        frame->nb_samples);
            result.samples.resize(at + std::size_t(std::max(got, 0)) * result.channels);
        }
    };
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == index) {
            if (avcodec_send_packet(decoder.get(), packet.get()) >= 0) receive();
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(decoder.get(), nullptr);
    receive();
    return result;
}

double zeroCrossingFrequency(const std::vector<std::int16_t>& interleaved, int channels,
                             int channel, int sampleRate) {
    // Crossings with hysteresis, so that codec noise around silence does not count, timed
    // from the first to the last one, so that leading and trailing silence does not count.
    constexpr int kThreshold = 600;
    const std::size_t frames = interleaved.size() / std::size_t(channels);
    int sign = 0;
    std::size_t first = 0;
    std::size_t last = 0;
    std::size_t crossings = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        const int v = interleaved[i * std::size_t(channels) + std::size_t(channel)];
        const int now = v > kThreshold ? 1 : v < -kThreshold ? -1 : sign;
        if (now != sign && sign != 0) {
            if (crossings == 0) first = i;
            last = i;
            ++crossings;
        }
        sign = now;
    }
    if (crossings < 3) return 0.0;
    return double(crossings - 1) / 2.0 * sampleRate / double(last - first);
}

double rms(const std::vector<std::int16_t>& interleaved, int channels, int channel) {
    const std::size_t frames = interleaved.size() / std::size_t(channels);
    if (frames == 0) return 0.0;
    double sum = 0.0;
    for (std::size_t i = 0; i < frames; ++i) {
        const double v = interleaved[i * channels + channel] / 32768.0;
        sum += v * v;
    }
    return std::sqrt(sum / double(frames));
}

}  // namespace fixtures
