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
        lyrics::TForm3::setFadeDuration(0);
        WindowTest::SetUp();
        form3 = std::make_unique<lyrics::TForm3>();
        form->setLyricsWindow(form3.get());
        form3->setMainWindow(form.get());
        form3->setElapsedTextSource([f = form.get()] { return f->stat1->panelText(1); });
    }
    void TearDown() override {
        form.reset();
        form3.reset();
    }

    // A click on the box as the user makes it.
    void clickChk1() {
        QTest::mouseClick(form->chk1, Qt::LeftButton, Qt::NoModifier, QPoint(7, 8));
    }
    void startPlaying(const std::string& path) {
        const auto at = path.rfind('/');
        form->setItemIndex(form->addRow(path.substr(0, at + 1), path.substr(at + 1)));
        form->btn1Click();
        ASSERT_EQ(form->MediaPlayer1->mode(), PlayerMode::Playing);
    }
    void lyricFile(const std::string& name, const std::string& text) {
        platform::writeWholeFile(folder() + name, text);
    }
    Rows rows() const {
        Rows out;
        for (int i = 0; i < form3->lst1->count(); ++i) {
            out.push_back(form3->lst1->item(i)->text().toStdString());
        }
        return out;
    }

    std::unique_ptr<lyrics::TForm3> form3;
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
             form->btn2Click();
         },
         PlayerMode::Paused},
        {"stopped", [&] { form->btn3Click(); }, PlayerMode::Stopped},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        c.prepare();
        ASSERT_EQ(form->MediaPlayer1->mode(), c.mode);

        clickChk1();
        ASSERT_TRUE(form->chk1->isChecked());
        EXPECT_TRUE(form3->isVisible());
        const QRect main = form->frameGeometry();
        EXPECT_EQ(form3->frameGeometry().topLeft(), QPoint(main.x() + main.width(), main.y()));
        EXPECT_EQ(form3->lst1->count(), 0);
        EXPECT_FALSE(form3->tmr1->isActive());
        EXPECT_FALSE(form3->LyricLines.has_value());

        clickChk1();  // the second close of a window that never loaded: nothing to release
        EXPECT_FALSE(form3->isVisible());
        EXPECT_FALSE(form3->LyricLines.has_value());
    }
}

TEST_F(LyricsHookTest, CheckingWhilePlayingLoadsThePlayingTrackAndFollowsTheElapsedTime) {
    lyricFile("song.lrc", "[ti:Song]\n[00:00.00]zero\n[00:02.00]two\n[00:03.00]three\n");
    startPlaying(tone("song.wav", 5000));

    clickChk1();
    EXPECT_TRUE(form3->isVisible());
    EXPECT_EQ(rows(), (Rows{"[ti:Song]", "[00:00.00]zero", "[00:02.00]two", "[00:03.00]three"}));
    EXPECT_TRUE(form3->tmr1->isActive());

    play(2000ms);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return form->stat1->panelText(1) == QStringLiteral("00:02"); }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return form3->lst1->currentRow() == 2; }, 10000));

    // Unchecking stops following, clears the rows, releases the lines and hides the window.
    clickChk1();
    EXPECT_FALSE(form3->isVisible());
    EXPECT_FALSE(form3->tmr1->isActive());
    EXPECT_EQ(form3->lst1->count(), 0);
    EXPECT_FALSE(form3->LyricLines.has_value());

    // Stopped, checked and unchecked again: the second close finds no lines.
    form->btn3Click();
    clickChk1();
    EXPECT_EQ(form3->lst1->count(), 0);
    clickChk1();
    EXPECT_FALSE(form3->isVisible());
    EXPECT_FALSE(form3->LyricLines.has_value());
}

TEST_F(LyricsHookTest, PlayCommandReplacesTheRowsOnlyWhileTheBoxIsChecked) {
    lyricFile("one.lrc", "[00:00.00]first song\n");
    const std::string one = tone("one.wav", 2000);
    const std::string two = tone("two.wav", 2000);  // no lyrics

    startPlaying(one);
    EXPECT_FALSE(form3->LyricLines.has_value());  // unchecked: the play command loads nothing
    form->btn3Click();

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
    form3->lst1->addItem(QStringLiteral("stale"));

    form->WMDropFiles({dropped});

    ASSERT_EQ(form->MediaPlayer1->mode(), PlayerMode::Playing);
    EXPECT_EQ(rows(), Rows{"[00:00.00]dropped"});
    EXPECT_TRUE(form3->tmr1->isActive());
}

}  // namespace
