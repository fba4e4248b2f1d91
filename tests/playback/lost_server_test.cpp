// SPDX-License-Identifier: GPL-3.0-or-later
// The sound server dies in the middle of a track, for real: a private PulseAudio server is
// killed while the device plays through it. The track ends as when its data ends early (the
// position is the length, the end is notified); the next open fails while no server answers
// and connects again once one does; a track that was paused when the server died ends as it
// is resumed. Skipped where PulseAudio is not installed.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include <memory>

#include "audio_fixtures.h"
#include "playback/media_player.h"
#include "sound_server.h"

namespace {

using playback::PlayerMode;

TEST(LostSoundServer, ATrackEndsWhenItsServerDiesAndTheNextOpenConnectsAgain) {
    if (!fixtures::pulseAudioInstalled()) GTEST_SKIP() << "PulseAudio is not installed";
    fixtures::PrivateSoundServer server;
    const std::string wav = server.dir() + "/long.wav";
    fixtures::writeTone(wav, fixtures::Format::Wav, 440.0, 20000);

    playback::MediaPlayer player;
    QSignalSpy ended(&player, &playback::MediaPlayer::notified);
    player.setFileName(wav);
    auto playUntilHeard = [&] {
        player.open();
        ASSERT_EQ(player.output().driver(), "pulseaudio");
        player.play();
        ASSERT_TRUE(QTest::qWaitFor([&] { return player.position() >= 300; }, 5000));
    };

    playUntilHeard();
    server.kill();
    ASSERT_TRUE(ended.wait(3000)) << "the track never ended";
    EXPECT_EQ(ended.count(), 1);
    EXPECT_EQ(player.position(), player.length());
    EXPECT_EQ(player.mode(), PlayerMode::Stopped);

    // No server: the open fails as for a file that cannot be played, and tries again next time.
    EXPECT_THROW(player.open(), playback::DeviceError);
    EXPECT_THROW(player.open(), playback::DeviceError);
    EXPECT_EQ(player.mode(), PlayerMode::NotReady);

    server.start();
    ended.clear();
    playUntilHeard();
    EXPECT_EQ(player.mode(), PlayerMode::Playing);

    // Paused when the server goes: resuming tries to connect again, and with no server closes
    // the file and notifies at once instead of hanging (or ending at the length, which repeat
    // one would restart for ever). Once the server is back, a play connects and goes on.
    player.pause();
    server.kill();
    QTest::qWait(300);
    EXPECT_EQ(player.mode(), PlayerMode::Paused);
    EXPECT_EQ(ended.count(), 1);  // the pause ended the play's notification
    player.pause();               // resumes
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.count() == 2; }, 3000));
    EXPECT_EQ(player.mode(), PlayerMode::NotReady);

    server.start();
    playUntilHeard();
    player.pause();
    server.kill();
    QTest::qWait(300);
    const std::int64_t pausedAt = player.position();
    server.start();
    player.pause();  // resumes where it paused, on the new connection
    EXPECT_EQ(player.mode(), PlayerMode::Playing);
    EXPECT_GE(player.position(), pausedAt - 100);
    EXPECT_TRUE(QTest::qWaitFor([&] { return player.position() >= pausedAt + 300; }, 5000));
}

}  // namespace
