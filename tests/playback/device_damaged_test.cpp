// SPDX-License-Identifier: GPL-3.0-or-later
// Damaged and odd files, made at test time: cut at many offsets, bits and headers flipped,
// formats joined, WAV sizes that lie, odd WAV formats and other formats under our names. Each
// either fails to open with a readable DeviceError or plays to its end through seeks on the
// manual clock, ending at Position == Length; none crashes or hangs.
#include <QTemporaryDir>

#include <filesystem>
#include <map>
#include <random>

#include "playback/track_length.h"
#include "player_fixture.h"

namespace playback_test {
namespace {

using fixtures::Format;

constexpr int kToneMs = 2000;

// The undamaged files the cases start from, written once per process and only when used.
std::string source(const std::string& kind) {
    static QTemporaryDir dir;
    static std::map<std::string, std::string> made;
    if (const auto found = made.find(kind); found != made.end()) return found->second;
    const std::string file = dir.filePath(QString::fromStdString(kind)).toStdString();
    const auto [codec, muxer] = [&]() -> std::pair<const char*, const char*> {
        if (kind == "flac") return {"flac", "flac"};
        if (kind == "ogg") return {"libvorbis", "ogg"};
        if (kind == "aac") return {"aac", "adts"};
        if (kind == "mp2") return {"mp2", "mp2"};
        return {nullptr, nullptr};
    }();
    if (codec) {
        fixtures::writeToneWith(file, codec, muxer, 440.0, kToneMs, 44100, 2, 128000);
    } else {
        const Format format = kind == "mp3" || kind == "mp3mono22" ? Format::Mp3
                              : kind == "mp3vbr"                   ? Format::Mp3Vbr
                              : kind == "mp3raw"                   ? Format::Mp3VbrNoXing
                              : kind == "wma"                      ? Format::Wma
                                                                   : Format::Wav;
        const bool mono = kind == "mp3mono22";
        fixtures::writeTone(file, format, 440.0, kToneMs, mono ? 22050 : 44100, mono ? 1 : 2);
    }
    return made[kind] = fixtures::readBytes(file);
}

std::string oddWav(const char* codec, int rate, int channels) {
    const std::string key = std::string(codec) + std::to_string(rate) + std::to_string(channels);
    static QTemporaryDir dir;
    const std::string file = dir.filePath(QString::fromStdString(key + ".wav")).toStdString();
    fixtures::writeToneWith(file, codec, "wav", 440.0, kToneMs, rate, channels);
    return fixtures::readBytes(file);
}

std::string cut(const std::string& bytes, std::size_t size) {
    return bytes.substr(0, std::min(size, bytes.size()));
}

// Flips one random bit in each of `count` random bytes of [from, to).
std::string flip(std::string bytes, std::size_t from, std::size_t to, int count, unsigned seed) {
    std::mt19937 random(seed);
    to = std::min(to, bytes.size());
    for (int i = 0; i < count && from < to; ++i) {
        const std::size_t at = from + random() % (to - from);
        bytes[at] = char(bytes[at] ^ (1 << (random() % 8)));
    }
    return bytes;
}

std::string overwrite(std::string bytes, std::size_t at, const std::string& with) {
    if (at < bytes.size()) bytes.replace(at, std::min(with.size(), bytes.size() - at), with);
    return bytes;
}

// Changes every `step`-th frame header of a constant bit rate MP3 (44.1 kHz, 128 kbit/s, where
// "\xFF\xFB\x90" or "\xFF\xFB\x92" starts every frame) with `change(byte2, byte3)`.
std::string damageFrameHeaders(std::string bytes, int step,
                               void (*change)(std::uint8_t&, std::uint8_t&)) {
    int frame = 0;
    for (std::size_t at = bytes.find("\xFF\xFB"); at != std::string::npos && at + 3 < bytes.size();
         at = bytes.find("\xFF\xFB", at + 2)) {
        if ((std::uint8_t(bytes[at + 2]) & 0xFD) != 0x90 || ++frame % step) continue;
        auto& byte2 = reinterpret_cast<std::uint8_t&>(bytes[at + 2]);
        auto& byte3 = reinterpret_cast<std::uint8_t&>(bytes[at + 3]);
        change(byte2, byte3);
    }
    return bytes;
}

std::string le32(std::uint32_t v) {
    return {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
}

// A WAV file whose size field at `field` ("RIFF" or "data") says `size`.
std::string wavSaying(const char* field, std::uint32_t size) {
    const std::string wav = source("wav");
    return overwrite(wav, wav.find(field) + 4, le32(size));
}

struct DamagedCase {
    std::string name;
    std::function<std::string()> bytes;
    std::string extension;
    int expectMs = -1;  // the length when it opens, within 100 ms; -1: any it can hold
};

std::vector<DamagedCase> damagedCases() {
    std::vector<DamagedCase> cases;
    const std::pair<const char*, const char*> sources[] = {
        {"mp3", ".mp3"}, {"mp3vbr", ".mp3"}, {"mp3raw", ".mp3"}, {"wma", ".wma"}, {"wav", ".wav"}};
    for (const auto& [kind, extension] : sources) {
        const std::string k = kind;
        // Inside the headers, at the first frames, and through the audio.
        for (std::size_t size : {4u, 40u, 200u, 1000u}) {
            cases.push_back({k + "_cut_at_" + std::to_string(size),
                             [k, size] { return cut(source(k), size); }, extension});
        }
        for (int percent : {30, 70, 99}) {
            cases.push_back({k + "_cut_at_" + std::to_string(percent) + "_percent",
                             [k, percent] {
                                 const std::string bytes = source(k);
                                 return cut(bytes, bytes.size() * std::size_t(percent) / 100);
                             },
                             extension});
        }
        cases.push_back({k + "_header_bits_flipped", [k] { return flip(source(k), 0, 600, 12, 7); },
                         extension});
        cases.push_back({k + "_bits_flipped_throughout",
                         [k] { return flip(source(k), 0, std::string::npos, 40, 11); }, extension});
        cases.push_back({k + "_block_zeroed",
                         [k] {
                             const std::string bytes = source(k);
                             return overwrite(bytes, bytes.size() / 2, std::string(1000, '\0'));
                         },
                         extension});
        cases.push_back({k + "_block_of_ff",
                         [k] {
                             const std::string bytes = source(k);
                             return overwrite(bytes, bytes.size() / 3, std::string(700, '\xFF'));
                         },
                         extension});
    }

    const auto joined = [](std::initializer_list<const char*> kinds) {
        return [kinds = std::vector<const char*>(kinds)] {
            std::string bytes;
            for (const char* k : kinds) bytes += source(k);
            return bytes;
        };
    };
    cases.push_back({"mp3_then_wav", joined({"mp3", "wav"}), ".mp3"});
    cases.push_back({"wav_then_mp3", joined({"wav", "mp3"}), ".wav"});
    cases.push_back({"wma_then_mp3", joined({"wma", "mp3"}), ".wma"});
    cases.push_back({"mp3_then_wma", joined({"mp3", "wma"}), ".mp3"});
    cases.push_back({"mp3_vbr_then_cbr_then_raw", joined({"mp3vbr", "mp3", "mp3raw"}), ".mp3"});
    cases.push_back(
        {"mp3_stereo_then_mono_at_half_the_rate", joined({"mp3", "mp3mono22"}), ".mp3"});

    // Damaged frame headers give single frames another shape.
    cases.push_back({"mp3_some_frames_turned_mono",
                     [] {
                         return damageFrameHeaders(
                             source("mp3"), 7, [](std::uint8_t&, std::uint8_t& b3) { b3 |= 0xC0; });
                     },
                     ".mp3"});
    cases.push_back({"mp3_some_frames_at_another_rate",
                     [] {
                         return damageFrameHeaders(
                             source("mp3"), 5, [](std::uint8_t& b2, std::uint8_t&) { b2 ^= 0x04; });
                     },
                     ".mp3"});

    // Sizes that lie: the audio is the same 2 s whatever they say.
    const struct {
        const char* name;
        const char* field;
        std::uint32_t size;
    } lies[] = {{"riff_size_zero", "RIFF", 0},          {"riff_size_huge", "RIFF", 0xFFFFFFFF},
                {"data_size_huge", "data", 0xFFFFFFFF}, {"data_size_zero", "data", 0},
                {"data_size_odd", "data", 12345},       {"data_size_past_end", "data", 1 << 30}};
    for (const auto& lie : lies) {
        cases.push_back({std::string("wav_") + lie.name,
                         [lie] { return wavSaying(lie.field, lie.size); }, ".wav",
                         lie.size == 12345 ? -1 : kToneMs});
    }
    cases.push_back({"wav_fmt_chunk_size_huge",
                     [] {
                         const std::string wav = source("wav");
                         return overwrite(wav, wav.find("fmt ") + 4, le32(0x7FFFFFF0));
                     },
                     ".wav"});

    // Odd but valid WAV formats: each plays its 2 s.
    const struct {
        const char* codec;
        int rate;
        int channels;
    } odd[] = {{"pcm_u8", 8000, 1},        {"pcm_s24le", 44100, 2}, {"pcm_f32le", 48000, 2},
               {"pcm_f64le", 22050, 1},    {"pcm_s16le", 44100, 6}, {"pcm_s16le", 96000, 2},
               {"pcm_alaw", 8000, 1},      {"pcm_mulaw", 11025, 2}, {"adpcm_ms", 44100, 2},
               {"adpcm_ima_wav", 32000, 1}};
    for (const auto& o : odd) {
        cases.push_back({std::string("wav_") + o.codec + "_" + std::to_string(o.rate) + "Hz_" +
                             std::to_string(o.channels) + "ch",
                         [o] { return oddWav(o.codec, o.rate, o.channels); }, ".wav", kToneMs});
    }

    // Other formats under our names: content decides, and they play.
    const std::pair<const char*, const char*> renamed[] = {
        {"wav", ".mp3"}, {"wma", ".mp3"}, {"mp3", ".wma"}, {"flac", ".mp3"},
        {"ogg", ".wma"}, {"aac", ".mp3"}, {"mp2", ".wav"}};
    for (const auto& [kind, extension] : renamed) {
        cases.push_back({std::string(kind) + "_named_" + (extension + 1),
                         [k = std::string(kind)] { return source(k); }, extension, kToneMs});
    }
    cases.push_back({"text_named_wav", [] { return std::string(5000, 'a'); }, ".wav"});
    // A live stream's playlist whose segment exists: its demuxer would wait for the list to
    // grow, minutes on the opening thread.
    cases.push_back({"live_stream_playlist_named_mp3",
                     [] {
                         static QTemporaryDir dir;
                         const std::string segment = dir.filePath(QStringLiteral("segment.mp3")).toStdString();
                         fixtures::writeBytes(segment, source("mp3"));
                         return "#EXTM3U\n#EXT-X-TARGETDURATION:30\n#EXT-X-MEDIA-SEQUENCE:1\n"
                                "#EXTINF:10,\n" +
                                segment + "\n";
                     },
                     ".mp3"});
    // Rips with megabytes of zero bytes before the first frame, and nothing after them.
    cases.push_back({"mp3_after_3MB_of_zero_bytes",
                     [] { return std::string(3'000'000, '\0') + source("mp3"); }, ".mp3",
                     kToneMs});
    cases.push_back({"zero_bytes_only", [] { return std::string(3'000'000, '\0'); }, ".mp3"});
    cases.push_back({"random_bytes_named_wma",
                     [] { return flip(std::string(20000, '\0'), 0, 20000, 20000, 3); }, ".wma"});
    return cases;
}

class DamagedFiles : public PlayerTest, public ::testing::WithParamInterface<DamagedCase> {};

TEST_P(DamagedFiles, FailClearlyOrPlayToTheirEnd) {
    const DamagedCase& c = GetParam();
    const std::string file = path(c.name + c.extension);
    const std::string bytes = c.bytes();
    fixtures::writeBytes(file, bytes);
    player_->setFileName(file);
    try {
        player_->open();
    } catch (const playback::DeviceError& error) {
        EXPECT_STRNE(error.what(), "");
        EXPECT_EQ(player_->mode(), PlayerMode::NotReady);
        EXPECT_EQ(c.expectMs, -1) << "a valid file failed: " << error.what();
        return;
    }
    const std::int64_t length = player_->length();
    EXPECT_LE(double(length) / 1000.0, playback::maxSecondsForBytes(std::int64_t(bytes.size())));
    if (c.expectMs >= 0) {
        EXPECT_NEAR(double(length), c.expectMs, 100.0);
    }

    player_->play();
    clock_->advance(300ms);
    for (const std::int64_t target : {length / 2, length * 9 / 10, length - 50}) {
        player_->setPosition(std::max<std::int64_t>(target, 0));
        player_->play();
        clock_->advance(150ms);
    }
    runToEnd(250ms, 400);
    EXPECT_EQ(player_->mode(), PlayerMode::Stopped);
    EXPECT_EQ(player_->position(), player_->length());
    EXPECT_EQ(pump(), 4) << "every play notifies once, by its end or by the next command";
    if (c.expectMs >= 0) {
        // A valid file: the start and the tone are there (the last play holds its end).
        player_->setPosition(0);
        player_->play();
        clock_->clearSamples();
        clock_->advance(1000ms);
        EXPECT_GT(fixtures::rms(clock_->samples(), 2, 0), 0.1);
    }
}

INSTANTIATE_TEST_SUITE_P(Generated, DamagedFiles, ::testing::ValuesIn(damagedCases()),
                         [](const auto& param) { return param.param.name; });

}  // namespace
}  // namespace playback_test
