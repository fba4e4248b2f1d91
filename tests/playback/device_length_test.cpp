// SPDX-License-Identifier: GPL-3.0-or-later
// The length of a track: what an MP3 header states, what a scan finds when nothing states it,
// how a length found after Open takes over, and lengths that damaged time stamps cannot stretch.
#include <filesystem>

#include "playback/track_length.h"
#include "player_fixture.h"

namespace playback_test {
namespace {

using fixtures::Format;

// Plays from the current position to the end in steps of a second; returns the frames played.
std::int64_t playToEnd(playback::MediaPlayer& player, playback::ManualClockOutput& clock) {
    clock.setKeepSamples(false);
    player.play();
    std::int64_t frames = 0;
    for (int i = 0; i < 10000 && player.mode() == PlayerMode::Playing; ++i) {
        frames += clock.advance(1000ms);
    }
    return frames;
}

TEST_F(PlayerTest, Mp3HeadersGiveTheExactLengthOnlyWhenTheyCoverTheWholeFile) {
    struct Stated {
        Format format;
        int rate;
        int channels;
    };
    // LAME tags name the encoder delay and padding, so the stated length is the tone's.
    for (const Stated& c : {Stated{Format::Mp3, 44100, 2}, Stated{Format::Mp3, 22050, 1},
                            Stated{Format::Mp3, 48000, 1}, Stated{Format::Mp3Vbr, 44100, 2},
                            Stated{Format::Mp3Id3, 32000, 2}}) {
        SCOPED_TRACE(std::string(fixtures::formatName(c.format)) + " " + std::to_string(c.rate));
        const auto stated = playback::mp3StatedLength(tone(c.format, 1500, c.rate, c.channels));
        ASSERT_TRUE(stated.has_value());
        EXPECT_EQ(stated->sampleRate, c.rate);
        EXPECT_EQ(stated->samples, std::int64_t(c.rate) * 1500 / 1000);
    }

    const std::string file = tone(Format::Mp3, 1500, 44100, 2);
    const std::string bytes = fixtures::readBytes(file);
    const std::string other = path("other.mp3");
    fixtures::writeToneWith(other, "libmp3lame", "mp3", 440.0, 1500);
    struct Variant {
        const char* name;
        std::string bytes;
        bool stated;
    };
    std::string damagedTag = bytes;
    damagedTag[80] = char(damagedTag[80] ^ 0x10);  // inside the Xing table of contents
    const Variant variants[] = {
        {"ID3v1TagAfterTheAudio", bytes + "TAG" + std::string(125, ' '), true},
        {"CutShortByOneByte", bytes.substr(0, bytes.size() - 1), false},
        {"AnotherFileJoinedAfterIt", bytes + fixtures::readBytes(other), false},
        {"DamagedTag", damagedTag, false},
        {"NoXingHeader", fixtures::readBytes(other), false},
        {"VbrWithoutXingHeader", fixtures::readBytes(tone(Format::Mp3VbrNoXing, 1500)), false},
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.name);
        const std::string variant = path(std::string(v.name) + ".mp3");
        fixtures::writeBytes(variant, v.bytes);
        EXPECT_EQ(playback::mp3StatedLength(variant).has_value(), v.stated);
        // Stated or not, the device plays what the file holds (a frame cut short may not
        // decode) and ends at its length.
        open(variant);
        const std::int64_t length = player_->length();
        EXPECT_NEAR(double(playToEnd(*player_, *clock_)) / 48.0, double(length), 27.0);
        EXPECT_EQ(player_->position(), length);
    }
}

// A large file whose first frame has a high bit rate: the demuxer's estimate is far too short,
// and the exact length comes from the background scan while the track plays.
TEST_F(PlayerTest, PlaysPastAnEstimateThatIsTooShortAndEndsAtTheLengthFound) {
    const std::string head = path("head.mp3");
    const std::string part = path("part.mp3");
    fixtures::writeToneWith(head, "libmp3lame", "mp3", 440.0, 5000, 48000, 2, 320000);
    fixtures::writeToneWith(part, "libmp3lame", "mp3", 660.0, 2000, 44100, 2, 96000);
    std::vector<std::string> parts{head};
    parts.insert(parts.end(), 48, part);
    const std::string file = path("long.mp3");
    fixtures::joinFiles(file, parts);
    ASSERT_GT(std::filesystem::file_size(file), 1u << 20) << "small files are scanned in Open";

    open(file);
    const std::int64_t estimate = player_->length();
    EXPECT_LT(estimate, 40000);
    const std::int64_t played = playToEnd(*player_, *clock_);
    const std::int64_t length = player_->length();
    EXPECT_GE(length, 5000 + 48 * 2000);
    // Every frame up to the length found was played, and the track ended there.
    EXPECT_EQ(played * 1000 / 48000, length);
    EXPECT_EQ(player_->position(), length);
    EXPECT_EQ(pump(), 1);
}

// A download cut off and padded with zeros: the estimate counts the zeros, the scan does not.
TEST_F(PlayerTest, EndsAtTheLengthFoundWhenTheEstimateIsTooLong) {
    const std::string head = path("head.mp3");
    fixtures::writeToneWith(head, "libmp3lame", "mp3", 440.0, 3000);
    const std::string file = path("zero_tail.mp3");
    fixtures::writeBytes(file, fixtures::readBytes(head) + std::string(2 << 20, '\0'));

    open(file);
    EXPECT_GT(player_->length(), 60000);
    const std::int64_t played = playToEnd(*player_, *clock_);
    const std::int64_t length = player_->length();
    EXPECT_NEAR(double(length), 3000.0, 100.0);
    // The scan walks the frames the decoder decodes and ends at the same junk.
    EXPECT_EQ(played * 1000 / 48000, length);
    EXPECT_EQ(player_->position(), length);
    EXPECT_EQ(pump(), 1);
}

// ASF gives each packet's duration in whole milliseconds (46 for 2048 samples at 44.1 kHz, 46.4
// ms): a length held to the sum of those lost 1.7 s of a 3-minute WMA, cut off unheard.
TEST_F(PlayerTest, ALongWmaLastsAsLongAsItsPacketsSpan) {
    open(tone(Format::Wma, 60000, 44100, 2));
    EXPECT_GE(playToEnd(*player_, *clock_) * 1000 / 48000, 59900);
    EXPECT_NEAR(double(player_->length()), 60000.0, 100.0);
}

std::uint32_t le32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | std::uint8_t(bytes.at(at + std::size_t(i)));
    return value;
}

// A damaged WMA once reported 2:11 for a 5 s file: a flipped bit in one packet's time stamp
// stretched the span of the packets. Every bit flip in the head of a data packet must leave a
// length the file's packets can fill.
TEST_F(PlayerTest, DamagedWmaTimeStampsDoNotStretchTheLength) {
    const std::string bytes = fixtures::readBytes(tone(Format::Wma, 5000, 44100, 2));
    // The data object's header takes 50 bytes; the file properties hold the packet size.
    const std::size_t data = bytes.find(std::string("\x36\x26\xB2\x75\x8E\x66\xCF\x11", 8));
    const std::size_t properties = bytes.find(std::string("\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11", 8));
    ASSERT_NE(data, std::string::npos);
    ASSERT_NE(properties, std::string::npos);
    const std::size_t packet = data + 50 + le32(bytes, properties + 92);
    int opened = 0;
    for (std::size_t offset = 0; offset < 48; ++offset) {
        for (const int bit : {0x08, 0x40}) {
            SCOPED_TRACE("byte " + std::to_string(offset) + " bit " + std::to_string(bit));
            std::string damaged = bytes;
            damaged[packet + offset] = char(damaged[packet + offset] ^ bit);
            const std::string file = path("damaged.wma");
            fixtures::writeBytes(file, damaged);
            try {
                open(file);
            } catch (const playback::DeviceError&) {
                continue;
            }
            ++opened;
            // What its packets can fill, each up to a millisecond longer than it says.
            EXPECT_LE(player_->length(), 5160);
        }
    }
    EXPECT_GT(opened, 48);
}

}  // namespace
}  // namespace playback_test
