// SPDX-License-Identifier: GPL-3.0-or-later
// Joins: MP3 files joined with `cat`, as podcasts and radio rips are, where each part must come
// out at its own pitch in both channels and the track end at its length; frames larger than
// the decoder converts at a time; and tracks played one after the other without losing a
// sample.
#include <algorithm>

#include "playback/decoder.h"
#include "player_fixture.h"

namespace playback_test {
namespace {

using fixtures::Format;

struct Part {
    int rate;
    int channels;
    double frequency;
};

struct JoinCase {
    const char* name;
    Part first;
    Part second;
    // The first part closes with an ID3v1 tag, as tag editors and encoders write one: what
    // its header frame counts then ends at a tag, but the audio goes on.
    bool firstTagged = false;
};

class JoinedMp3 : public PlayerTest, public ::testing::WithParamInterface<JoinCase> {};

constexpr int kPartMs = 1500;

TEST_P(JoinedMp3, EachPartKeepsItsPitchAndChannels) {
    const JoinCase& c = GetParam();
    const std::string first = path("first.mp3");
    const std::string second = path("second.mp3");
    const std::string joined = path("joined.mp3");
    fixtures::writeTone(first, Format::Mp3, c.first.frequency, kPartMs, c.first.rate,
                        c.first.channels);
    fixtures::writeTone(second, Format::Mp3, c.second.frequency, kPartMs, c.second.rate,
                        c.second.channels);
    const std::string tag = path("id3v1.tag");
    std::string id3v1 = "TAGFirst part";
    id3v1.resize(128, '\0');
    fixtures::writeBytes(tag, id3v1);
    fixtures::joinFiles(joined, c.firstTagged ? std::vector{first, tag, second}
                                              : std::vector{first, second});

    open(joined);
    player_->play();
    runToEnd();
    EXPECT_EQ(player_->mode(), PlayerMode::Stopped);
    EXPECT_EQ(player_->position(), player_->length());
    EXPECT_EQ(pump(), 1);
    // Both parts; the second's header frame, encoder delay and padding are played as silence
    // (at 22.05 kHz that is about 130 ms).
    EXPECT_GE(player_->length(), 2 * kPartMs);
    EXPECT_LE(player_->length(), 2 * kPartMs + 150);

    // The middle of each part, clear of the join.
    const auto& samples = clock_->samples();
    const auto slice = [&](int fromMs, int toMs) {
        const std::size_t from = std::size_t(fromMs) * 48 * 2;
        const std::size_t to = std::min(samples.size(), std::size_t(toMs) * 48 * 2);
        return std::vector<std::int16_t>(samples.begin() + std::ptrdiff_t(std::min(from, to)),
                                         samples.begin() + std::ptrdiff_t(to));
    };
    const struct {
        const char* name;
        std::vector<std::int16_t> samples;
        double frequency;
    } halves[] = {{"first", slice(200, kPartMs - 200), c.first.frequency},
                  {"second", slice(kPartMs + 300, 2 * kPartMs - 200), c.second.frequency}};
    for (const auto& half : halves) {
        for (int channel = 0; channel < 2; ++channel) {
            SCOPED_TRACE(std::string(half.name) + " part, channel " + std::to_string(channel));
            EXPECT_NEAR(fixtures::zeroCrossingFrequency(half.samples, 2, channel, 48000),
                        half.frequency, half.frequency * 0.01);
            // A mono part is spread over both channels at the centre mix level (0.5 * 0.707).
            EXPECT_GT(fixtures::rms(half.samples, 2, channel), 0.2);
        }
    }
}

const JoinCase kJoinCases[] = {
    {"StereoThenMonoAtHalfTheRate", {44100, 2, 440.0}, {22050, 1, 880.0}},
    {"MonoThenStereoAtTwiceTheRate", {22050, 1, 880.0}, {44100, 2, 440.0}},
    {"SameChannelsOtherRate", {44100, 2, 440.0}, {48000, 2, 660.0}},
    {"FirstPartClosedByItsTag", {44100, 2, 440.0}, {44100, 2, 660.0}, true},
};

INSTANTIATE_TEST_SUITE_P(Table, JoinedMp3, ::testing::ValuesIn(kJoinCases),
                         [](const auto& param) { return std::string(param.param.name); });

// FLAC frames hold 4608 samples, more than one slice of the converter: at the output's own
// rate and channels every sample must come out as the file's own decoding gives it.
TEST_F(PlayerTest, LargeFramesComeOutWhole) {
    const std::string file = path("large_frames.flac");
    fixtures::writeToneWith(file, "flac", "flac", 440.0, 1000, 48000, 2);
    const fixtures::Decoded reference = fixtures::decodeFile(file);
    ASSERT_EQ(reference.frames(), 48000);
    open(file);
    player_->play();
    runToEnd();
    EXPECT_EQ(player_->position(), player_->length());
    EXPECT_TRUE(clock_->samples() == reference.samples);
}

// Three tracks cut from one tone, of lengths that are no whole number of milliseconds, each
// queued behind the one before as the play modes queue them: every sample of every track is
// heard, in order, with nothing between them. A WAV's samples are the tone's own; an MP3's are
// what decoding each file alone gives, the encoder delay and padding cut, as FFmpeg cuts them.
class ThreeTrackJoin : public PlayerTest, public ::testing::WithParamInterface<Format> {};

TEST_P(ThreeTrackJoin, EverySampleOfEveryTrackIsHeardInOrder) {
    auto output =
        std::make_unique<playback::ManualClockOutput>(playback::OutputFormat{48000, 2}, 200ms);
    clock_ = output.get();
    player_ = std::make_unique<playback::MediaPlayer>(std::move(output));
    const std::int64_t frames[] = {33'333, 40'001, 37'777};
    std::vector<std::string> files;
    std::vector<std::int16_t> expected;
    std::int64_t first = 0;
    for (const std::int64_t count : frames) {
        files.push_back(
            path("part" + std::to_string(files.size()) + fixtures::extension(GetParam())));
        fixtures::writeTonePart(files.back(), GetParam(), 440.0, first, count);
        first += count;
        const fixtures::Decoded alone = fixtures::decodeFile(files.back());
        EXPECT_EQ(alone.frames(), count) << "FFmpeg's decoding of part " << files.size();
        if (GetParam() == Format::Wav) continue;
        // Our own decoding of the file alone.
        const auto decoder = playback::openDecoder(files.back(), playback::OutputFormat{});
        std::vector<std::int16_t> chunk(8192 * 2);
        for (std::size_t n; (n = decoder->read(chunk.data(), 8192)) > 0;)
            expected.insert(expected.end(), chunk.begin(), chunk.begin() + std::ptrdiff_t(n * 2));
        EXPECT_EQ(decoder->length().frames, count);
    }
    if (GetParam() == Format::Wav) {
        for (std::int64_t n = 0; n < first; ++n)
            expected.insert(expected.end(), 2, fixtures::toneSample(440.0, 48000, n));
    }

    std::size_t next = 1;
    QObject::connect(player_.get(), &playback::MediaPlayer::endComing, [&] {
        if (next < files.size()) player_->queueNext(files[next]);
    });
    QObject::connect(player_.get(), &playback::MediaPlayer::notified, [&] {
        if (player_->position() != player_->length() || next == files.size()) return;
        open(files[next++]);
        player_->play();
        player_->setNotify(true);
    });
    open(files[0]);
    player_->play();
    player_->setNotify(true);
    for (int i = 0; i < 100 && (next < files.size() || player_->mode() == PlayerMode::Playing);
         ++i) {
        clock_->advance(100ms);
        pump();
    }
    EXPECT_EQ(next, files.size());
    EXPECT_EQ(clock_->opens(), 1) << "one stream throughout";
    const auto& heard = clock_->samples();
    ASSERT_EQ(heard.size(), std::size_t(first) * 2);
    const auto differ = std::mismatch(heard.begin(), heard.end(), expected.begin());
    EXPECT_TRUE(differ.first == heard.end())
        << "first difference at frame " << (differ.first - heard.begin()) / 2;
}

INSTANTIATE_TEST_SUITE_P(Formats, ThreeTrackJoin, ::testing::Values(Format::Wav, Format::Mp3),
                         [](const auto& param) { return fixtures::formatName(param.param); });

}  // namespace
}  // namespace playback_test
