// SPDX-License-Identifier: GPL-3.0-or-later
// The media-player interface over the real main window (offscreen, manual-clock output): each
// command runs the window's own control, the state it reports is the window's, and changes are
// reported once the handler that made them has run. The bus itself is checked end to end by
// tests/desktop/mpris_check.py.
#include <QAction>
#include <QSignalSpy>
#include <QSlider>
#include <QToolButton>

#include <cmath>
#include <limits>

#include "app/mpris.h"
#include "main_window/status_bar.h"
#include "main_window/tray_icon.h"
#include "main_window/window_fixture.h"

namespace {

using app::MprisService;
using namespace std::chrono_literals;

class MprisTest : public testing_support::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        service = std::make_unique<MprisService>(window.get());
        a = tone("a.wav", 3000);
        b = tone("b.wav", 3000);
        window->addRow(folder(), "a.wav");
        window->addRow(folder(), "b.wav");
        window->selectRow(0);
    }
    // What the last PropertiesChanged since `from` said of `name`.
    static QVariant reported(const QSignalSpy& spy, const QString& name) {
        QVariant value;
        for (const QList<QVariant>& signal : spy) {
            const QVariantMap changed = signal.at(1).toMap();
            if (changed.contains(name)) value = changed.value(name);
        }
        return value;
    }
    QString title() const {
        return service->metadata().value(QStringLiteral("xesam:title")).toString();
    }

    std::unique_ptr<MprisService> service;
    std::string a, b;
};

TEST_F(MprisTest, CommandsRunTheWindowsControlsAndChangesAreReported) {
    QSignalSpy changes(service.get(), &MprisService::propertiesChanged);
    service->play();
    settle();
    EXPECT_FALSE(window->playButton->isEnabled());
    EXPECT_EQ(window->statusBar->panelText(0), QStringLiteral(u"当前正在播放：a.wav"));
    EXPECT_EQ(reported(changes, QStringLiteral("PlaybackStatus")), QStringLiteral("Playing"));
    const QVariantMap metadata = reported(changes, QStringLiteral("Metadata")).toMap();
    EXPECT_EQ(metadata.value(QStringLiteral("xesam:title")), QStringLiteral("a.wav"));
    EXPECT_EQ(metadata.value(QStringLiteral("xesam:url")).toString(),
              QStringLiteral("file://") + QString::fromStdString(a));
    EXPECT_EQ(metadata.value(QStringLiteral("mpris:length")).toLongLong(), 3'000'000);
    EXPECT_EQ(reported(changes, QStringLiteral("CanSeek")), true);

    service->playPause();
    settle();
    EXPECT_EQ(service->playbackStatus(), QStringLiteral("Paused"));
    EXPECT_TRUE(window->playButton->isEnabled());
    service->playPause();
    EXPECT_EQ(service->playbackStatus(), QStringLiteral("Playing"));
    service->next();
    EXPECT_EQ(title(), QStringLiteral("b.wav"));
    EXPECT_EQ(window->selectedRow(), 1);
    service->previous();
    EXPECT_EQ(title(), QStringLiteral("a.wav"));
    service->setRate(0.0);  // the one speed there is; 0 stands for pause
    EXPECT_EQ(service->playbackStatus(), QStringLiteral("Paused"));

    changes.clear();
    service->stop();
    settle();
    EXPECT_EQ(service->playbackStatus(), QStringLiteral("Stopped"));
    EXPECT_EQ(window->statusBar->panelText(0), QStringLiteral(u"停止播放"));
    EXPECT_EQ(reported(changes, QStringLiteral("PlaybackStatus")), QStringLiteral("Stopped"));
    // A paused or stopped track cannot be sought, as the progress bar does not seek then.
    EXPECT_FALSE(service->canSeek());
}

TEST_F(MprisTest, SeekingMovesTheProgressBarAsTheUserWould) {
    service->play();
    play(500ms);
    QSignalSpy seeked(service.get(), &MprisService::seeked);
    service->seek(1'200'000);  // 0.5 s + 1.2 s: the bar's whole second 1
    settle();
    play(100ms);  // the device's notification of the superseded play is no second jump
    EXPECT_EQ(window->progressBar->value(), 1);
    ASSERT_EQ(seeked.count(), 1);
    EXPECT_EQ(seeked.last().at(0).toLongLong(), 1'000'000);
    seeked.clear();
    window->pauseButton->click();
    window->playButton->click();
    settle();
    EXPECT_EQ(seeked.count(), 0);  // pause and resume go on from where they were
    QTest::keyClick(window->progressBar, Qt::Key_Left);  // back to 0 s from 1.1 s: once
    settle();
    ASSERT_EQ(seeked.count(), 1);
    EXPECT_EQ(seeked.last().at(0).toLongLong(), 0);

    const auto track = service->metadata().value(QStringLiteral("mpris:trackid"));
    service->setPosition(QDBusObjectPath(QStringLiteral("/org/vorela/track/other")), 2'000'000);
    EXPECT_EQ(service->positionUs(), 0);  // another track: ignored
    service->setPosition(track.value<QDBusObjectPath>(), 5'000'000);
    EXPECT_EQ(service->positionUs(), 0);  // past the end: ignored
    service->setPosition(track.value<QDBusObjectPath>(), 2'000'000);
    EXPECT_EQ(service->positionUs(), 2'000'000);

    service->seek(-10'000'000);
    EXPECT_EQ(service->positionUs(), 0);
    service->seek(std::numeric_limits<qint64>::min());
    EXPECT_EQ(service->positionUs(), 0);
    seeked.clear();
    service->seek(std::numeric_limits<qint64>::max());  // past the end: the next track
    settle();
    EXPECT_EQ(title(), QStringLiteral("b.wav"));
    EXPECT_EQ(seeked.count(), 0);  // a new track, not a jump in one

    // The last row in order ends the list: the bar and Position both read 0.
    play(3100ms);
    ASSERT_EQ(window->statusBar->panelText(0), QStringLiteral(u"停止播放"));
    EXPECT_EQ(window->progressBar->value(), 0);
    EXPECT_EQ(service->positionUs(), 0);
}

TEST_F(MprisTest, RepeatOneRestartingTheTrackIsOneJumpToTheStart) {
    window->repeatOneAction->trigger();
    service->play();
    play(2000ms);
    QSignalSpy seeked(service.get(), &MprisService::seeked);
    play(1100ms);
    ASSERT_EQ(seeked.count(), 1);
    EXPECT_EQ(seeked.last().at(0).toLongLong(), service->positionUs());
    EXPECT_LT(service->positionUs(), 1'000'000);
}

// What each command would do now, reported as it changes.
TEST_F(MprisTest, CanPropertiesTellWhatTheCommandsWouldDoNow) {
    settle();  // the rows of the set-up reported
    QSignalSpy changes(service.get(), &MprisService::propertiesChanged);
    const auto can = [this](const char* name) {
        return service->playerProperties().value(QLatin1String(name)).toBool();
    };
    EXPECT_TRUE(can("CanPlay"));
    window->selectRow(-1);
    settle();
    EXPECT_FALSE(can("CanPlay"));  // play does nothing without a selected row
    EXPECT_EQ(reported(changes, QStringLiteral("CanPlay")), false);
    EXPECT_FALSE(can("CanGoNext"));
    EXPECT_FALSE(can("CanPause"));

    window->selectRow(0);
    service->play();
    settle();
    EXPECT_EQ(reported(changes, QStringLiteral("CanPlay")), true);
    EXPECT_TRUE(can("CanPause"));
    EXPECT_TRUE(can("CanGoNext"));
    EXPECT_FALSE(can("CanGoPrevious"));  // the first row
    window->selectRow(1);                // the steps count from the playing track's row
    EXPECT_TRUE(can("CanGoNext"));
    EXPECT_EQ(reported(changes, QStringLiteral("CanGoNext")), true);

    service->next();
    settle();
    EXPECT_FALSE(can("CanGoNext"));  // the last row in order: next does nothing
    EXPECT_TRUE(can("CanGoPrevious"));
    EXPECT_EQ(reported(changes, QStringLiteral("CanGoNext")), false);
    EXPECT_EQ(reported(changes, QStringLiteral("CanGoPrevious")), true);

    service->pause();
    settle();
    // Paused, previous only moves the selection: the track stays.
    EXPECT_FALSE(can("CanGoPrevious"));
    EXPECT_TRUE(can("CanPause"));
    EXPECT_TRUE(can("CanPlay"));
}

TEST_F(MprisTest, VolumeIsTheVolumeBarAndMutedReadsSilent) {
    QSignalSpy changes(service.get(), &MprisService::propertiesChanged);
    service->setVolume(0.5);
    settle();
    EXPECT_EQ(window->volumeBar->value(), 128);
    EXPECT_EQ(playback::waveOutVolume(), 0x80008000u);
    EXPECT_NEAR(service->volume(), 128.0 / 255, 1e-9);
    EXPECT_NEAR(reported(changes, QStringLiteral("Volume")).toDouble(), 128.0 / 255, 1e-9);

    window->leftChannelAction->trigger();  // the left channel at full level, bar unmoved
    EXPECT_DOUBLE_EQ(service->volume(), 1.0);
    service->setVolume(0.5);  // the bar's notification even where it stands: both channels
    EXPECT_EQ(playback::waveOutVolume(), 0x80008000u);

    service->setVolume(std::nan(""));  // no level at all: ignored, not silence
    EXPECT_EQ(window->volumeBar->value(), 128);

    window->muteAction->trigger();
    EXPECT_DOUBLE_EQ(service->volume(), 0.0);
    service->setVolume(1.0);  // the bar is disabled while muted
    EXPECT_EQ(window->volumeBar->value(), 128);
    window->muteAction->trigger();

    // A mixer's level and mute are reported as the window takes them.
    window->player->output();  // the device, which listens to the mixer
    changes.clear();
    clock->setFromMixer(0x4000C000u, false);
    settle();
    EXPECT_NEAR(reported(changes, QStringLiteral("Volume")).toDouble(), 0xC000 / 65280.0, 1e-9);
    clock->setFromMixer(0x4000C000u, true);
    settle();
    EXPECT_EQ(reported(changes, QStringLiteral("Volume")).toDouble(), 0.0);
}

class TrayDouble final : public main_window::TrayIcon {
public:
    bool isSystemTrayAvailable() const override { return true; }
    void add(const QIcon&, const QString&) override { shown = true; }
    void remove() override { shown = false; }
    bool isShown() const override { return shown; }
    bool shown = false;
};

TEST_F(MprisTest, RaiseBringsTheWindowBackFromTheTrayAndQuitIsFileExit) {
    auto tray = std::make_unique<TrayDouble>();
    TrayDouble* icon = tray.get();
    window->setTrayIcon(std::move(tray));
    window->close();
    ASSERT_FALSE(window->isVisible());
    ASSERT_TRUE(icon->shown);
    service->raise();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(icon->shown);

    QSignalSpy exit(window->exitAction, &QAction::triggered);
    service->quit();
    EXPECT_EQ(exit.count(), 1);
}

}  // namespace
