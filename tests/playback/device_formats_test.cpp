// SPDX-License-Identifier: GPL-3.0-or-later
// Every format at every rate and channel count, played to its end through the manual clock:
// the length against the true duration, the clock moving the position exactly, the end of
// the track, and the tone that comes out.
#include <algorithm>
#include <tuple>

#include "playback/decoder.h"

#include "player_fixture.h"

namespace playback_test {
namespace {

using fixtures::Format;

constexpr int kToneMs = 1500;

// How far the length may lie from the tone's true duration, and why.
double toleranceMs(Format format, int rate) {
    switch (format) {
        case Format::Wav:
            return 0.0;  // PCM: the packets are the samples
        case Format::Mp3:
        case Format::Mp3Vbr:
        case Format::Mp3Id3:
            return 1.0;  // the LAME header names the encoder delay and padding, which are cut
        case Format::Mp3VbrNoXing:
            // Nothing names the delay and padding, so they count: up to two frames (1152
            // samples each above 32 kHz, 576 below) plus the 1105-sample encoder delay.
            return (2.0 * (rate >= 32000 ? 1152 : 576) + 1105.0) * 1000.0 / rate;
        case Format::Wma:
            // The ASF packets span the encoder's whole last block of 2048 samples.
            return 2048.0 * 1000.0 / rate + 1.0;
    }
    return 0.0;
}

class DeviceFormats : public PlayerTest,
                      public ::testing::WithParamInterface<std::tuple<Format, int, int>> {};

TEST_P(DeviceFormats, PlaysTheWholeToneAndEndsExactlyAtTheLength) {
    const auto [format, rate, channels] = GetParam();
    const std::string file = tone(format, kToneMs, rate, channels);
    const fixtures::Decoded reference = fixtures::decodeFile(file);
    open(file);
    EXPECT_EQ(player_->mode(), PlayerMode::Stopped);
    EXPECT_EQ(player_->position(), 0);
    const std::int64_t length = player_->length();
    EXPECT_NEAR(double(length), kToneMs, toleranceMs(format, rate));
    if (format == Format::Mp3VbrNoXing) {
        EXPECT_GE(length, kToneMs);
    }

    player_->play();
    EXPECT_EQ(player_->mode(), PlayerMode::Playing);
    std::int64_t expected = 0;
    while (player_->mode() == PlayerMode::Playing) {
        ASSERT_LT(expected, length + 1000) << "the track does not end";
        clock_->advance(250ms);
        expected = std::min(expected + 250, length);
        // Decoders may deliver a little less than the packets announce (WMA drops its first
        // block); the position then goes to the length when the data runs out.
        if (player_->mode() == PlayerMode::Playing) {
            EXPECT_EQ(player_->position(), expected);
        }
    }
    EXPECT_EQ(player_->mode(), PlayerMode::Stopped);
    EXPECT_EQ(player_->position(), length);
    EXPECT_EQ(notifications_, 0) << "notified inside the call";
    EXPECT_EQ(pump(), 1);
    clock_->advance(500ms);
    EXPECT_EQ(pump(), 1);
    EXPECT_EQ(player_->position(), length);

    // The output gets stereo at 48 kHz whatever the file holds.
    const auto& samples = clock_->samples();
    const std::int64_t frames = std::int64_t(samples.size()) / 2;
    EXPECT_NEAR(double(frames) * 1000.0 / 48000.0, double(length),
                format == Format::Wma ? toleranceMs(format, rate) : 1.0);
    for (int channel = 0; channel < 2; ++channel) {
        SCOPED_TRACE(channel);
        // The pitch survives resampling: the same as the file's own decoding, and near the
        // tone's (the WMA encoder itself bends it by a little over 1 %).
        const double pitch = fixtures::zeroCrossingFrequency(samples, 2, channel, 48000);
        EXPECT_NEAR(pitch, 440.0, 440.0 * 0.03);
        EXPECT_NEAR(pitch,
                    fixtures::zeroCrossingFrequency(reference.samples, reference.channels, 0,
                                                    reference.sampleRate),
                    440.0 * 0.003);
        // A mono source is spread over both channels a little softer (centre mix level), and
        // the VBR tones swell from 0.05 to 0.5.
        EXPECT_GT(fixtures::rms(samples, 2, channel), 0.1);
    }
}

std::string caseName(const ::testing::TestParamInfo<std::tuple<Format, int, int>>& info) {
    const auto [format, rate, channels] = info.param;
    return std::string(fixtures::formatName(format)) + "_" + std::to_string(rate) + "Hz_" +
           (channels == 1 ? "mono" : "stereo");
}

INSTANTIATE_TEST_SUITE_P(AllFormats, DeviceFormats,
                         ::testing::Combine(::testing::Values(Format::Wav, Format::Mp3,
                                                              Format::Mp3Vbr, Format::Mp3VbrNoXing,
                                                              Format::Mp3Id3, Format::Wma),
                                            ::testing::Values(22050, 44100, 48000),
                                            ::testing::Values(1, 2)),
                         caseName);

// The header of a VBR file without a Xing frame guesses its duration from the first frame's
// bit rate; the length must come from the packets instead and match what decodes.
TEST_F(PlayerTest, VbrWithoutXingLengthIsWhatDecodes) {
    const std::string file = tone(Format::Mp3VbrNoXing, 4000, 44100, 2);
    const fixtures::Decoded decoded = fixtures::decodeFile(file);
    open(file);
    EXPECT_NEAR(double(player_->length()), double(decoded.frames()) * 1000.0 / decoded.sampleRate,
                1.0);
}

// A seek lands on the very sample that decoding from the start has there: the encoder delay and
// padding cut, the frame that holds the target found, the samples before it in that frame left
// out. At the output's rate nothing is resampled, so the samples are the same to the bit.
TEST_F(PlayerTest, SeeksLandOnTheSampleThatDecodingFromTheStartHasThere) {
    for (const Format format : {Format::Wav, Format::Mp3, Format::Mp3Vbr, Format::Mp3Id3}) {
        SCOPED_TRACE(fixtures::formatName(format));
        const std::string file = tone(format, 3000);
        const auto whole = playback::openDecoder(file, playback::OutputFormat{});
        std::vector<std::int16_t> all(std::size_t(whole->length().frames) * 2);
        ASSERT_EQ(whole->read(all.data(), all.size() / 2), all.size() / 2);
        const auto sought = playback::openDecoder(file, playback::OutputFormat{});
        for (const std::int64_t frame : {std::int64_t{1}, std::int64_t{1151}, std::int64_t{1152},
                                         std::int64_t{70001}, whole->length().frames - 700}) {
            SCOPED_TRACE(frame);
            sought->seek(frame);
            std::vector<std::int16_t> part(1000 * 2);
            const std::size_t got = sought->read(part.data(), 1000);
            ASSERT_EQ(got,
                      std::size_t(std::min<std::int64_t>(1000, whole->length().frames - frame)));
            EXPECT_TRUE(std::equal(part.begin(), part.begin() + std::ptrdiff_t(got * 2),
                                   all.begin() + std::ptrdiff_t(frame * 2)));
        }
    }
}

}  // namespace
}  // namespace playback_test
