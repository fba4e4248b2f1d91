// SPDX-License-Identifier: GPL-3.0-or-later
// The lyrics check box and the lyrics hooks of the play command and the drop handler, with the
// real lyrics window beside the real main window.
#include <QCheckBox>
#include <QListWidget>
#include <QTest>
#include <QTimer>

#include <memory>

#include "lyrics/lyrics_window.h"
#include "main_window/status_bar.h"
#include "main_window/window_fixture.h"
#include "platform/text_file.h"

namespace {

using playback::PlayerMode;
using testing_support::WindowTest;
using namespace std::chrono_literals;
using Rows = std::vector<std::string>;

const std::string kNotFound1 = "找不到歌词文件,请确保歌词文件与当前播放曲目同!";
const std::string kNotFound2 = "名且在同一目录下";

class LyricsHookTest : public WindowTest {
protected:
    void SetUp() override {
        lyrics::LyricsWindow::setFadeDuration(0);
        WindowTest::SetUp();
        lyricsWindow = std::make_unique<lyrics::LyricsWindow>();
        window->setLyricsWindow(lyricsWindow.get());
        lyricsWindow->setMainWindow(window.get());
        lyricsWindow->setElapsedTextSource(
            [f = window.get()] { return f->statusBar->panelText(1); });
    }
    void TearDown() override {
        window.reset();
        lyricsWindow.reset();
    }

    // A click on the box as the user makes it.
    void clickChk1() {
        QTest::mouseClick(window->lyricsCheckBox, Qt::LeftButton, Qt::NoModifier, QPoint(7, 8));
    }
    void startPlaying(const std::string& path) {
        const auto at = path.rfind('/');
        window->selectRow(window->addRow(path.substr(0, at + 1), path.substr(at + 1)));
        window->play();
        ASSERT_EQ(window->player->mode(), PlayerMode::Playing);
    }
    void lyricFile(const std::string& name, const std::string& text) {
        platform::writeWholeFile(folder() + name, text);
    }
    Rows rows() const {
        Rows out;
        for (int i = 0; i < lyricsWindow->lyricsList->count(); ++i) {
            out.push_back(lyricsWindow->lyricsList->item(i)->text().toStdString());
        }
        return out;
    }

    std::unique_ptr<lyrics::LyricsWindow> lyricsWindow;
};

TEST_F(LyricsHookTest, CheckingWhileNothingPlaysShowsAnEmptyWindowBesideTheMainWindow) {
    lyricFile("song.lrc", "[00:00.00]zero\n");
    const std::string song = tone("song.wav", 3000);
    const struct {
        const char* label;
        std::function<void()> prepare;
        PlayerMode mode;
    } cases[] = {
        {"nothing open", [] {}, PlayerMode::NotReady},
        {"paused",
         [&] {
             startPlaying(song);
             window->pause();
         },
         PlayerMode::Paused},
        {"stopped", [&] { window->stop(); }, PlayerMode::Stopped},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        c.prepare();
        ASSERT_EQ(window->player->mode(), c.mode);

        clickChk1();
        ASSERT_TRUE(window->lyricsCheckBox->isChecked());
        EXPECT_TRUE(lyricsWindow->isVisible());
        const QRect main = window->frameGeometry();
        EXPECT_EQ(lyricsWindow->frameGeometry().topLeft(),
                  QPoint(main.x() + main.width(), main.y()));
        EXPECT_EQ(lyricsWindow->lyricsList->count(), 0);
        EXPECT_FALSE(lyricsWindow->followTimer->isActive());
        EXPECT_FALSE(lyricsWindow->lyricLines.has_value());

        clickChk1();  // the second close of a window that never loaded: nothing to release
        EXPECT_FALSE(lyricsWindow->isVisible());
        EXPECT_FALSE(lyricsWindow->lyricLines.has_value());
    }
}

TEST_F(LyricsHookTest, CheckingWhilePlayingLoadsThePlayingTrackAndFollowsTheElapsedTime) {
    lyricFile("song.lrc", "[ti:Song]\n[00:00.00]zero\n[00:02.00]two\n[00:03.00]three\n");
    startPlaying(tone("song.wav", 5000));

    clickChk1();
    EXPECT_TRUE(lyricsWindow->isVisible());
    EXPECT_EQ(rows(), (Rows{"[ti:Song]", "[00:00.00]zero", "[00:02.00]two", "[00:03.00]three"}));
    EXPECT_TRUE(lyricsWindow->followTimer->isActive());

    play(2000ms);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return window->statusBar->panelText(1) == QStringLiteral("00:02"); }, 10000));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return lyricsWindow->lyricsList->currentRow() == 2; }, 10000));

    // Unchecking stops following, clears the rows, releases the lines and hides the window.
    clickChk1();
    EXPECT_FALSE(lyricsWindow->isVisible());
    EXPECT_FALSE(lyricsWindow->followTimer->isActive());
    EXPECT_EQ(lyricsWindow->lyricsList->count(), 0);
    EXPECT_FALSE(lyricsWindow->lyricLines.has_value());

    // Stopped, checked and unchecked again: the second close finds no lines.
    window->stop();
    clickChk1();
    EXPECT_EQ(lyricsWindow->lyricsList->count(), 0);
    clickChk1();
    EXPECT_FALSE(lyricsWindow->isVisible());
    EXPECT_FALSE(lyricsWindow->lyricLines.has_value());
}

TEST_F(LyricsHookTest, PlayCommandReplacesTheRowsOnlyWhileTheBoxIsChecked) {
    lyricFile("one.lrc", "[00:00.00]first song\n");
    const std::string one = tone("one.wav", 2000);
    const std::string two = tone("two.wav", 2000);  // no lyrics

    startPlaying(one);
    EXPECT_FALSE(
        lyricsWindow->lyricLines.has_value());  // unchecked: the play command loads nothing
    window->stop();

    clickChk1();
    startPlaying(one);
    EXPECT_EQ(rows(), Rows{"[00:00.00]first song"});
    startPlaying(two);
    EXPECT_EQ(rows(), (Rows{kNotFound1, kNotFound2}));
    startPlaying(one);
    EXPECT_EQ(rows(), Rows{"[00:00.00]first song"});
}

TEST_F(LyricsHookTest, DroppedTrackLoadsItsLyricsWhileTheBoxIsChecked) {
    lyricFile("dropped.lrc", "[00:00.00]dropped\n");
    const std::string dropped = tone("dropped.wav", 2000);
    clickChk1();
    lyricsWindow->lyricsList->addItem(QStringLiteral("stale"));

    window->addDroppedFiles({dropped});

    ASSERT_EQ(window->player->mode(), PlayerMode::Playing);
    EXPECT_EQ(rows(), Rows{"[00:00.00]dropped"});
    EXPECT_TRUE(lyricsWindow->followTimer->isActive());
}

}  // namespace
