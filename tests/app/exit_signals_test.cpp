// SPDX-License-Identifier: GPL-3.0-or-later
// SIGTERM, SIGINT and SIGHUP reach the program's exit path at any time: before anything
// played, and after a track has played through SDL and SDL's audio has been shut down again.
// SDL puts handlers of its own in place where it finds none, and takes them away at its end.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>

#include <csignal>

#include "app/exit_signals.h"
#include "audio_fixtures.h"
#include "playback/media_player.h"

namespace {

void expectEachSignalReceived(QSignalSpy& received) {
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        received.clear();
        ASSERT_EQ(raise(signalNumber), 0);
        ASSERT_TRUE(received.count() > 0 || received.wait(5000)) << "signal " << signalNumber;
        EXPECT_EQ(received.takeFirst().at(0).toInt(), signalNumber);
    }
}

TEST(ExitSignals, ReachTheExitPathBeforeAndAfterATrackHasPlayed) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    app::ExitSignals exitSignals;
    QSignalSpy received(&exitSignals, &app::ExitSignals::received);
    expectEachSignalReceived(received);

    // SDL's silent driver: the output whose library installs handlers on its first start.
    qputenv("SDL_AUDIODRIVER", "dummy");
    const std::string wav = dir.filePath(QStringLiteral("short.wav")).toStdString();
    fixtures::writeTone(wav, fixtures::Format::Wav, 440.0, 200, 44100, 2);
    {
        playback::MediaPlayer player;
        QSignalSpy ended(&player, &playback::MediaPlayer::notified);
        player.setFileName(wav);
        player.open();
        player.play();
        ASSERT_TRUE(ended.wait(20000));
        EXPECT_EQ(player.output().driver(), "dummy");
        expectEachSignalReceived(received);
    }
    expectEachSignalReceived(received);
}

}  // namespace
