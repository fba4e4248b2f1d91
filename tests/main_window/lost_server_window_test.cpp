// SPDX-License-Identifier: GPL-3.0-or-later
// The main window on a real sound server that dies while it plays: the window shows what the
// device did (the end of the track) and play works again once the server is back. A private
// PulseAudio server; skipped where PulseAudio is not installed.
#include <QAction>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "main_window/status_bar.h"
#include "sound_server.h"
#include "window_fixture.h"

namespace {

using playback::PlayerMode;

class LostServerWindowTest : public ::testing::TestWithParam<bool> {};

// In order the end of the only row stops; repeat one restarts the track, which cannot play
// without a server: the window must not restart it over and over, but show the stop.
TEST_P(LostServerWindowTest, TheWindowShowsTheStopAndPlaysAgainOnceTheServerIsBack) {
    if (!fixtures::pulseAudioInstalled()) GTEST_SKIP() << "PulseAudio is not installed";
    const bool repeatOne = GetParam();
    fixtures::PrivateSoundServer server;
    const std::string wav = server.dir() + "/long.wav";
    fixtures::writeTone(wav, fixtures::Format::Wav, 440.0, 20000);
    testing_support::ScriptedMessageBoxes boxes;
    main_window::MainWindow window;
    window.show();
    if (repeatOne) window.repeatOneAction->trigger();
    window.addRow(server.dir() + "/", "long.wav");
    window.selectRow(0);
    window.playButton->click();
    ASSERT_EQ(window.player->mode(), PlayerMode::Playing);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.player->position() >= 300; }, 5000));

    QSignalSpy ends(window.player.get(), &playback::MediaPlayer::notified);
    server.kill();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.playButton->isEnabled(); }, 3000))
        << "the window still shows the track playing";
    QTest::qWait(300);
    EXPECT_LE(ends.count(), 3) << "the end of the track repeats";
    EXPECT_NE(window.player->mode(), PlayerMode::Playing);
    EXPECT_FALSE(window.pauseButton->isEnabled());
    EXPECT_EQ(window.statusBar->panelText(0), QStringLiteral(u"停止播放"));

    server.start();
    window.playButton->click();
    EXPECT_EQ(window.player->mode(), PlayerMode::Playing);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.player->position() >= 300; }, 5000));
}

INSTANTIATE_TEST_SUITE_P(Modes, LostServerWindowTest, ::testing::Values(false, true),
                         [](const auto& mode) { return mode.param ? "RepeatOne" : "InOrder"; });

}  // namespace
