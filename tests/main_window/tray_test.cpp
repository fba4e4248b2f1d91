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

using main_window::TForm1;
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
        form->setTrayIcon(std::move(icon));
    }

    void startPlaying(const std::string& path) {
        const auto at = path.rfind('/');
        form->setItemIndex(form->addRow(path.substr(0, at + 1), path.substr(at + 1)));
        form->btn1Click();
        ASSERT_EQ(form->MediaPlayer1->mode(), PlayerMode::Playing);
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

    EXPECT_FALSE(form->close());

    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(tray->shown);
    EXPECT_EQ(tray->adds, 1);
    EXPECT_EQ(tray->tip, QStringLiteral(u"MP3播放器"));
    EXPECT_EQ(tray->iconKey, form->windowIcon().cacheKey());
    EXPECT_FALSE(form->windowIcon().isNull());

    // Nothing stops: the device plays on and the timers keep the time texts going.
    EXPECT_EQ(form->MediaPlayer1->mode(), PlayerMode::Playing);
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_TRUE(form->Timer2->isActive());
    play(1000ms);
    EXPECT_EQ(form->MediaPlayer1->position(), 1500);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return form->stat1->panelText(1) == QStringLiteral("00:01"); }, 10000));
}

TEST_F(TrayTest, LeftReleaseOnTheIconRestoresTheWindowAndRemovesTheIcon) {
    form->close();
    ASSERT_TRUE(tray->shown);

    release(Qt::LeftButton);

    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isMinimized());
    EXPECT_FALSE(tray->shown);
    EXPECT_EQ(tray->removes, 1);

    // And to the tray again, as often as the user likes.
    form->close();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(tray->shown);
    EXPECT_EQ(tray->adds, 2);
}

TEST_F(TrayTest, RightReleaseOpensTheTrayMenuAtThePointerAndItsRestoreCommandRestores) {
    form->close();
    const QPoint pointer(300, 200);
    QCursor::setPos(pointer);

    release(Qt::RightButton);

    ASSERT_TRUE(form->PopupMenu2->isVisible());
    EXPECT_EQ(form->PopupMenu2->pos(), pointer);
    EXPECT_FALSE(form->isVisible());  // the menu alone changes nothing
    EXPECT_TRUE(tray->shown);
    EXPECT_EQ(TForm1::caption(form->N4), QStringLiteral(u"恢复程序"));

    form->N4->trigger();
    form->PopupMenu2->hide();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(tray->shown);
}

TEST_F(TrayTest, ExitInTheTrayMenuEndsTheProgramAndTheIconGoesWithTheWindow) {
    form->close();
    ASSERT_TRUE(tray->shown);

    EXPECT_EQ(runUntilExit([this] { form->N5->trigger(); }), 0);
    EXPECT_EQ(TForm1::caption(form->N5), QStringLiteral(u"退出"));

    // Once the program is ending, a close is a real one and goes nowhere near the tray.
    form->show();
    EXPECT_TRUE(form->close());
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(tray->adds, 1);

    form.reset();
    EXPECT_FALSE(tray->shown);
}

TEST_F(TrayTest, FileExitFromTheShownWindowLeavesNoIcon) {
    EXPECT_EQ(runUntilExit([this] { form->N23->trigger(); }), 0);
    form.reset();
    EXPECT_EQ(tray->adds, 0);
    EXPECT_FALSE(tray->shown);
}

TEST_F(TrayTest, DestroyingTheWindowInTheTrayRemovesTheIcon) {
    form->close();
    ASSERT_TRUE(tray->shown);
    form.reset();
    EXPECT_FALSE(tray->shown);
}

TEST_F(TrayTest, MinimisingStaysOutOfTheTray) {
    form->showMinimized();
    settle();
    EXPECT_TRUE(form->isMinimized());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(tray->adds, 0);
}

TEST_F(TrayTest, WithoutANotificationAreaClosingMinimisesInstead) {
    tray->available = false;
    startPlaying(tone("song.wav", 2000));

    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->isMinimized());
    EXPECT_EQ(tray->adds, 0);
    EXPECT_EQ(form->MediaPlayer1->mode(), PlayerMode::Playing);

    // The question is asked at every close: once a tray appears, the window goes there.
    form->showNormal();
    tray->available = true;
    EXPECT_FALSE(form->close());
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(tray->shown);
}

TEST_F(TrayTest, TheLyricsWindowFollowsOnWhileTheMainWindowIsInTheTray) {
    lyrics::LyricsWindow::setFadeDuration(0);
    lyrics::LyricsWindow lyricsWindow;
    form->setLyricsWindow(&lyricsWindow);
    lyricsWindow.setMainWindow(form.get());
    lyricsWindow.setElapsedTextSource([f = form.get()] { return f->stat1->panelText(1); });
    platform::writeWholeFile(folder() + "song.lrc", "[00:00.00]zero\n[00:02.00]two\n");
    startPlaying(tone("song.wav", 4000));
    form->chk1->click();
    ASSERT_TRUE(lyricsWindow.isVisible());
    ASSERT_EQ(lyricsWindow.lyricsList->count(), 2);

    form->close();
    ASSERT_FALSE(form->isVisible());
    EXPECT_TRUE(lyricsWindow.isVisible());
    EXPECT_TRUE(lyricsWindow.followTimer->isActive());

    play(2000ms);
    EXPECT_TRUE(QTest::qWaitFor([&] { return lyricsWindow.lyricsList->currentRow() == 1; }, 10000));
    form.reset();  // before the lyrics window it points to
}

// Offscreen there is no notification area: the desktop's own icon says so, and the window
// that uses it minimises rather than vanish.
TEST(DesktopTrayTest, WithoutATrayHostTheWindowMinimises) {
    if (QSystemTrayIcon::isSystemTrayAvailable()) GTEST_SKIP() << "this desktop has a tray";
    EXPECT_FALSE(main_window::makeSystemTrayIcon()->isSystemTrayAvailable());
    TForm1 form(std::make_unique<playback::ManualClockOutput>());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_FALSE(form.close());
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.isMinimized());
    ASSERT_NE(form.trayIcon(), nullptr);
    EXPECT_FALSE(form.trayIcon()->isShown());
}

}  // namespace
