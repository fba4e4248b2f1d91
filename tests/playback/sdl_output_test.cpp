// SPDX-License-Identifier: GPL-3.0-or-later
// The real SDL output: once on SDL's disk driver, which writes exactly what the callback gave
// it and runs far faster than real time, and once with no usable driver, where the device
// falls back to SDL's silent dummy driver.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>

#include <fstream>
#include <iterator>
#include <vector>

#include "audio_fixtures.h"
#include "playback/media_player.h"
#include "playback/sdl_output.h"

namespace {

using playback::PlayerMode;

std::string inDir(const QTemporaryDir& dir, const char* name) {
    return dir.filePath(QString::fromLatin1(name)).toLocal8Bit().toStdString();
}

// Frames (stereo) that are not all zero: drops the silence SDL writes while the device is
// paused or waiting for the decoder, which the disk driver records too.
std::vector<std::int16_t> audibleFrames(const std::vector<std::int16_t>& samples) {
    std::vector<std::int16_t> out;
    for (std::size_t i = 0; i + 1 < samples.size(); i += 2) {
        if (samples[i] != 0 || samples[i + 1] != 0) {
            out.push_back(samples[i]);
            out.push_back(samples[i + 1]);
        }
    }
    return out;
}

TEST(SdlOutput, DiskDriverRecordsTheDecodedToneWithTheGain) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string raw = inDir(dir, "out.raw");
    const std::string wav = inDir(dir, "tone.wav");
    qputenv("SDL_AUDIODRIVER", "disk");
    qputenv("SDL_DISKAUDIOFILE", QByteArray::fromStdString(raw));
    // 1 ms per buffer of 2048 frames is still some 40 times faster than real time; 0 would
    // spin the audio thread and starve the decoder on a loaded machine.
    qputenv("SDL_DISKAUDIODELAY", "1");
    fixtures::writeTone(wav, fixtures::Format::Wav, 440.0, 1000, 44100, 2);
    constexpr std::uint32_t kLevel = 0xFFFF4000u;  // left a quarter, right full
    playback::setWaveOutVolume(kLevel);
    {
        playback::MediaPlayer player;
        QSignalSpy ended(&player, &playback::MediaPlayer::notified);
        player.setFileName(wav);
        player.open();
        EXPECT_EQ(static_cast<playback::SdlOutput&>(player.output()).driver(), "disk");
        player.play();
        ASSERT_TRUE(ended.wait(20000));
        EXPECT_EQ(ended.count(), 1);
        EXPECT_EQ(player.mode(), PlayerMode::Stopped);
        EXPECT_EQ(player.position(), player.length());
        EXPECT_EQ(player.length(), 1000);
    }
    playback::setWaveOutVolume(0xFFFFFFFFu);

    std::ifstream in(raw, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    std::vector<std::int16_t> recorded(bytes.size() / 2);
    std::memcpy(recorded.data(), bytes.data(), recorded.size() * 2);
    const std::vector<std::int16_t> heard = audibleFrames(recorded);

    std::vector<std::int16_t> expected = fixtures::decodeFile(wav).samples;
    for (std::size_t i = 0; i < expected.size(); i += 2) {
        expected[i] = std::int16_t(expected[i] * 0x4000 / 0xFFFF);
    }
    expected = audibleFrames(expected);
    ASSERT_EQ(heard.size(), expected.size());
    EXPECT_TRUE(std::equal(heard.begin(), heard.end(), expected.begin()));
    EXPECT_NEAR(fixtures::zeroCrossingFrequency(heard, 2, 1, 44100), 440.0, 5.0);
}

TEST(SdlOutput, WithoutAUsableDriverFallsBackToTheSilentDummy) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    qputenv("SDL_AUDIODRIVER", "no-such-driver");
    const std::string wav = inDir(dir, "short.wav");
    fixtures::writeTone(wav, fixtures::Format::Wav, 440.0, 300, 44100, 2);
    playback::MediaPlayer player;
    QSignalSpy ended(&player, &playback::MediaPlayer::notified);
    player.setFileName(wav);
    player.open();
    EXPECT_EQ(static_cast<playback::SdlOutput&>(player.output()).driver(), "dummy");
    player.play();
    EXPECT_EQ(player.mode(), PlayerMode::Playing);
    // The dummy driver keeps real time: 300 ms of audio end well within the timeout.
    ASSERT_TRUE(ended.wait(20000));
    EXPECT_EQ(player.position(), player.length());
    EXPECT_EQ(player.mode(), PlayerMode::Stopped);
}

}  // namespace
