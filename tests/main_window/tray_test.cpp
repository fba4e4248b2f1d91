// SPDX-License-Identifier: GPL-3.0-or-later
// Close-to-tray: the main window's frame close hides it behind a tray icon, the icon and its
// menu bring it back or end the program. The tray is a double here (offscreen has none); the
// desktop's own is used where the test can only ask whether it exists.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QListWidget>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include <functional>
#include <memory>

#include "lyrics/lyrics_window.h"
#include "main_window/status_bar.h"
#include "main_window/tray_icon.h"
#include "main_window/window_fixture.h"
#include "platform/text_file.h"

namespace {

using main_window::MainWindow;
using playback::PlayerMode;
using testing_support::WindowTest;
using namespace std::chrono_literals;

// What the icon went through; outlives the window that owns the icon.
struct TrayRecord {
    bool available = true;
    bool shown = false;
    int adds = 0;
    int removes = 0;
    QString tip;
    qint64 iconKey = 0;
};

class FakeTray final : public main_window::TrayIcon {
public:
    explicit FakeTray(std::shared_ptr<TrayRecord> record) : record_(std::move(record)) {}
    bool isSystemTrayAvailable() const override { return record_->available; }
    void add(const QIcon& icon, const QString& tip) override {
        record_->shown = true;
        ++record_->adds;
        record_->tip = tip;
        record_->iconKey = icon.cacheKey();
    }
    void remove() override {
        record_->shown = false;
        ++record_->removes;
    }
    bool isShown() const override { return record_->shown; }

private:
    std::shared_ptr<TrayRecord> record_;
};

class TrayTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        auto icon = std::make_unique<FakeTray>(tray);
        icon_ = icon.get();
        window->setTrayIcon(std::move(icon));
    }

    void startPlaying(const std::string& path) {
        const auto at = path.rfind('/');
        window->selectRow(window->addRow(path.substr(0, at + 1), path.substr(at + 1)));
        window->play();
        ASSERT_EQ(window->player->mode(), PlayerMode::Playing);
    }
    void release(Qt::MouseButton button) {
        Q_EMIT icon_->buttonReleased(button);
        settle();
    }
    // Runs the event loop until a command ends it; a command that fails to end the program
    // ends the loop with 1 after a generous wait instead of hanging the test.
    static int runUntilExit(const std::function<void()>& command) {
        QTimer failsafe;
        failsafe.setSingleShot(true);
        QObject::connect(&failsafe, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        failsafe.start(20000);
        QTimer::singleShot(0, command);
        return QApplication::exec();
    }

    std::shared_ptr<TrayRecord> tray = std::make_shared<TrayRecord>();
    FakeTray* icon_ = nullptr;
};

TEST_F(TrayTest, FrameCloseHidesTheWindowBehindTheIconWhileATrackPlaysOn) {
    startPlaying(tone("song.wav", 3000));
    play(500ms);

    EXPECT_FALSE(window->close());

    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(tray->shown);
    EXPECT_EQ(tray->adds, 1);
    EXPECT_EQ(tray->tip, QStringLiteral(u"MP3播放器"));
    EXPECT_EQ(tray->iconKey, window->windowIcon().cacheKey());
    EXPECT_FALSE(window->windowIcon().isNull());

    // Nothing stops: the device plays on and the timers keep the time texts going.
    EXPECT_EQ(window->player->mode(), PlayerMode::Playing);
    EXPECT_TRUE(window->progressTimer->isActive());
    EXPECT_TRUE(window->clockTimer->isActive());
    play(1000ms);
    EXPECT_EQ(window->player->position(), 1500);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window->statusBar->panelText(1) == QStringLiteral("00:01"); }, 10000));
}

TEST_F(TrayTest, LeftReleaseOnTheIconRestoresTheWindowAndRemovesTheIcon) {
    window->close();
    ASSERT_TRUE(tray->shown);

    release(Qt::LeftButton);

    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());
    EXPECT_FALSE(tray->shown);
    EXPECT_EQ(tray->removes, 1);

    // And to the tray again, as often as the user likes.
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(tray->shown);
    EXPECT_EQ(tray->adds, 2);
}

TEST_F(TrayTest, RightReleaseOpensTheTrayMenuAtThePointerAndItsRestoreCommandRestores) {
    window->close();
    const QPoint pointer(300, 200);
    QCursor::setPos(pointer);

    release(Qt::RightButton);

    ASSERT_TRUE(window->trayMenu->isVisible());
    EXPECT_EQ(window->trayMenu->pos(), pointer);
    EXPECT_FALSE(window->isVisible());  // the menu alone changes nothing
    EXPECT_TRUE(tray->shown);
    EXPECT_EQ(MainWindow::caption(window->restoreAction), QStringLiteral(u"恢复程序"));

    window->restoreAction->trigger();
    window->trayMenu->hide();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(tray->shown);
}

TEST_F(TrayTest, ExitInTheTrayMenuEndsTheProgramAndTheIconGoesWithTheWindow) {
    window->close();
    ASSERT_TRUE(tray->shown);

    EXPECT_EQ(runUntilExit([this] { window->trayExitAction->trigger(); }), 0);
    EXPECT_EQ(MainWindow::caption(window->trayExitAction), QStringLiteral(u"退出"));

    // Once the program is ending, a close is a real one and goes nowhere near the tray.
    window->show();
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(tray->adds, 1);

    window.reset();
    EXPECT_FALSE(tray->shown);
}

TEST_F(TrayTest, FileExitFromTheShownWindowLeavesNoIcon) {
    EXPECT_EQ(runUntilExit([this] { window->exitAction->trigger(); }), 0);
    window.reset();
    EXPECT_EQ(tray->adds, 0);
    EXPECT_FALSE(tray->shown);
}

TEST_F(TrayTest, DestroyingTheWindowInTheTrayRemovesTheIcon) {
    window->close();
    ASSERT_TRUE(tray->shown);
    window.reset();
    EXPECT_FALSE(tray->shown);
}

TEST_F(TrayTest, MinimisingStaysOutOfTheTray) {
    window->showMinimized();
    settle();
    EXPECT_TRUE(window->isMinimized());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(tray->adds, 0);
}

TEST_F(TrayTest, WithoutANotificationAreaClosingMinimisesInstead) {
    tray->available = false;
    startPlaying(tone("song.wav", 2000));

    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isMinimized());
    EXPECT_EQ(tray->adds, 0);
    EXPECT_EQ(window->player->mode(), PlayerMode::Playing);

    // The question is asked at every close: once a tray appears, the window goes there.
    window->showNormal();
    tray->available = true;
    EXPECT_FALSE(window->close());
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(tray->shown);
}

TEST_F(TrayTest, TheLyricsWindowFollowsOnWhileTheMainWindowIsInTheTray) {
    lyrics::LyricsWindow::setFadeDuration(0);
    lyrics::LyricsWindow lyricsWindow;
    window->setLyricsWindow(&lyricsWindow);
    lyricsWindow.setMainWindow(window.get());
    lyricsWindow.setElapsedTextSource([f = window.get()] { return f->statusBar->panelText(1); });
    platform::writeWholeFile(folder() + "song.lrc", "[00:00.00]zero\n[00:02.00]two\n");
    startPlaying(tone("song.wav", 4000));
    window->lyricsCheckBox->click();
    ASSERT_TRUE(lyricsWindow.isVisible());
    ASSERT_EQ(lyricsWindow.lyricsList->count(), 2);

    window->close();
    ASSERT_FALSE(window->isVisible());
    EXPECT_TRUE(lyricsWindow.isVisible());
    EXPECT_TRUE(lyricsWindow.followTimer->isActive());

    play(2000ms);
    EXPECT_TRUE(QTest::qWaitFor([&] { return lyricsWindow.lyricsList->currentRow() == 1; }, 10000));
    window.reset();  // before the lyrics window it points to
}

// Offscreen there is no notification area: the desktop's own icon says so, and the window
// that uses it minimises rather than vanish.
TEST(DesktopTrayTest, WithoutATrayHostTheWindowMinimises) {
    if (QSystemTrayIcon::isSystemTrayAvailable()) GTEST_SKIP() << "this desktop has a tray";
    EXPECT_FALSE(main_window::makeSystemTrayIcon()->isSystemTrayAvailable());
    MainWindow window(std::make_unique<playback::ManualClockOutput>());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isMinimized());
    ASSERT_NE(window.trayIcon(), nullptr);
    EXPECT_FALSE(window.trayIcon()->isShown());
}

}  // namespace
