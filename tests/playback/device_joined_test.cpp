// Frames of changing and unusual shape: MP3 files joined with `cat`, as podcasts and radio rips
// are, where each part must come out at its own pitch in both channels and the track end at
// its length; and frames larger than the decoder converts at a time.
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

}  // namespace
}  // namespace playback_test
