// SPDX-License-Identifier: GPL-3.0-or-later
// What playing needs is mapped only when something needs it: a playlist row loads the device
// module on a worker, an MP3 and a WAV play without FFmpeg's module, and a WMA's row loads it.
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "playback/device_loader.h"
#include "player_fixture.h"

namespace playback_test {
namespace {

using fixtures::Format;

bool mapped(const char* name) {
    std::ifstream maps("/proc/self/maps");
    const std::string text{std::istreambuf_iterator<char>(maps), {}};
    return text.find(name) != std::string::npos;
}

// The worker maps it, however busy the machine; the test waits as long as it takes.
bool mappedSoon(const char* name) {
    for (int i = 0; i < 6000 && !mapped(name); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return mapped(name);
}

TEST_F(PlayerTest, ARowLoadsWhatPlayingItNeedsOnAWorkerAndNoMoreThanThat) {
    if (mapped("vorela_device.so")) GTEST_SKIP() << "an earlier test of this process loaded it";
    const std::string mp3 = tone(Format::Mp3, 500);
    const std::string wav = tone(Format::Wav, 500);
    playback::prepareToPlay(mp3);
    playback::prepareToPlay(wav);
    EXPECT_TRUE(mappedSoon("vorela_device.so"));
    EXPECT_TRUE(mapped("libmpg123"));
    for (const std::string& file : {mp3, wav}) {
        open(file);
        player_->play();
        runToEnd();
        EXPECT_EQ(player_->position(), player_->length());
    }
    EXPECT_FALSE(mapped("vorela_ffmpeg.so"));
    EXPECT_FALSE(mapped("vorela_sdl.so"));
    playback::prepareToPlay(path("song.WMA"));
    EXPECT_TRUE(mappedSoon("vorela_ffmpeg.so"));
}

}  // namespace
}  // namespace playback_test
