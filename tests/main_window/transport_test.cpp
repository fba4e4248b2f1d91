// Transport, progress and the play modes, through the real main window with the device on the
// manual-clock output.
#include <QAction>
#include <QSlider>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include <set>

#include "main_window/status_bar.h"
#include "main_window/window_fixture.h"

namespace {

using main_window::timeText;
using main_window::ZeroPad;
using playback::PlayerMode;
using std::chrono::milliseconds;
using testing_support::WindowTest;

TEST(TimeText, MinutesAndSecondsPaddedToTwoDigits) {
    EXPECT_EQ(ZeroPad(2, QStringLiteral("5")), QStringLiteral("05"));
    EXPECT_EQ(ZeroPad(2, QStringLiteral("12")), QStringLiteral("12"));
    EXPECT_EQ(ZeroPad(2, QStringLiteral("100")), QStringLiteral("100"));  // longer: whole
    EXPECT_EQ(timeText(0), QStringLiteral("00:00"));
    EXPECT_EQ(timeText(185), QStringLiteral("03:05"));
    EXPECT_EQ(timeText(75 * 60), QStringLiteral("75:00"));  // minutes are not taken modulo 60
    EXPECT_EQ(timeText(100 * 60), QStringLiteral("100:00"));
}

class TransportTest : public WindowTest {
protected:
    // Three real files in the list (a, b, c), each `ms` long.
    void threeRows(int ms = 1000) {
        for (const char* name : {"a.wav", "b.wav", "c.wav"}) {
            tone(name, ms);
            form->addRow(folder(), name);
        }
    }
    std::string current() const { return form->MediaPlayer1->fileName(); }
    PlayerMode mode() const { return form->MediaPlayer1->mode(); }
    void tick() {
        form->Timer1Timer();
        form->Timer2Timer();
    }
    // Plays to the end of the current track and lets the notification run.
    void playToEnd() { play(milliseconds(60'000)); }
};

TEST_F(TransportTest, PlayNeedsASelectedRow) {
    threeRows();
    form->btn1->click();
    EXPECT_EQ(mode(), PlayerMode::NotReady);
    EXPECT_TRUE(form->btn1->isEnabled());
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(TransportTest, PlayPauseResumeStopFollowTheEnabledStateTable) {
    threeRows();
    form->setItemIndex(1);
    form->btn1->click();
    EXPECT_EQ(current(), folder() + "b.wav");
    EXPECT_EQ(mode(), PlayerMode::Playing);
    EXPECT_FALSE(form->btn1->isEnabled());
    EXPECT_TRUE(form->btn2->isEnabled());
    EXPECT_TRUE(form->btn3->isEnabled());
    EXPECT_TRUE(form->TrackBar1->isEnabled());
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_TRUE(form->Timer2->isActive());
    EXPECT_EQ(form->stat1->panelText(0), QStringLiteral(u"当前正在播放：b.wav"));
    // Until the 10 ms timer first runs during playback, both times read "00:00".
    EXPECT_EQ(form->stat1->panelText(1), QStringLiteral("00:00"));
    EXPECT_EQ(form->stat1->panelText(2), QStringLiteral("00:00"));

    play(milliseconds(600));
    tick();
    EXPECT_EQ(form->stat1->panelText(2), QStringLiteral("00:01    "));
    EXPECT_EQ(form->stat1->panelText(1), QStringLiteral("00:00"));

    form->btn2->click();
    EXPECT_EQ(mode(), PlayerMode::Paused);
    EXPECT_TRUE(form->btn1->isEnabled());
    EXPECT_FALSE(form->btn2->isEnabled());
    EXPECT_TRUE(form->btn3->isEnabled());

    // Play while paused resumes the paused track, whatever row is selected; the current
    // track's name becomes that row's path all the same.
    form->setItemIndex(2);
    form->btn1->click();
    EXPECT_EQ(mode(), PlayerMode::Playing);
    EXPECT_EQ(form->MediaPlayer1->position(), 600);
    EXPECT_EQ(current(), folder() + "c.wav");
    EXPECT_EQ(form->stat1->panelText(0), QStringLiteral(u"当前正在播放：b.wav"));
    EXPECT_FALSE(form->btn1->isEnabled());
    EXPECT_TRUE(form->btn2->isEnabled());

    play(milliseconds(200));
    tick();
    form->btn3->click();
    EXPECT_EQ(mode(), PlayerMode::Stopped);
    EXPECT_EQ(form->TrackBar1->value(), 0);
    EXPECT_EQ(form->stat1->panelText(0), QStringLiteral(u"停止播放"));
    EXPECT_EQ(form->stat1->panelText(2), QStringLiteral("00:01    "));  // times stay
    EXPECT_TRUE(form->btn1->isEnabled());
    EXPECT_FALSE(form->btn2->isEnabled());
    EXPECT_FALSE(form->btn3->isEnabled());
    EXPECT_FALSE(form->TrackBar1->isEnabled());
    EXPECT_TRUE(form->Timer2->isActive());  // the timers run on and find nothing playing
}

TEST_F(TransportTest, AnUnplayableRowShowsTheErrorBoxAndChangesNothing) {
    const std::string bad = folder() + "bad.mp3";
    fixtures::writeBytes(bad, "not audio");
    form->addRow(folder(), "bad.mp3");
    form->setItemIndex(0);
    form->btn1->click();
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, QStringLiteral(u"无法播放，请检查路径或者文件名是否正确！"));
    EXPECT_EQ(boxes.shown()[0].caption, QStringLiteral(u"错误"));
    EXPECT_EQ(boxes.shown()[0].style, 0x10u);
    EXPECT_EQ(boxes.shown()[0].owner, form.get());
    EXPECT_TRUE(form->btn1->isEnabled());
    EXPECT_FALSE(form->btn3->isEnabled());
}

TEST_F(TransportTest, StopWithNothingOpenReachesTheStandardErrorBox) {
    form->btn3->setEnabled(true);
    form->btn3->click();
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, QStringLiteral("No MCI device open."));
    EXPECT_EQ(boxes.shown()[0].style, 0x10u);
    form->btn1->click();  // and the program goes on
}

TEST_F(TransportTest, PreviousAndNextStepFromTheCurrentTrackWithoutWrapping) {
    threeRows();
    // Stopped: only the selection moves, and not past the ends.
    form->setItemIndex(0);
    form->btn4->click();
    EXPECT_EQ(form->itemIndex(), 0);
    form->btn5->click();
    EXPECT_EQ(form->itemIndex(), 1);
    EXPECT_EQ(mode(), PlayerMode::NotReady);
    form->btn5->click();
    form->btn5->click();
    EXPECT_EQ(form->itemIndex(), 2);

    // Playing: from the current track's row, whatever is selected.
    form->setItemIndex(0);
    form->btn1->click();
    form->setItemIndex(2);
    form->N36->trigger();  // the menu's next
    EXPECT_EQ(current(), folder() + "b.wav");
    EXPECT_EQ(form->itemIndex(), 1);
    form->btn4->click();
    EXPECT_EQ(current(), folder() + "a.wav");
    form->N35->trigger();  // on the first row: nothing
    EXPECT_EQ(current(), folder() + "a.wav");
    EXPECT_EQ(mode(), PlayerMode::Playing);

    // Paused: the selection moves, nothing plays.
    form->btn2->click();
    form->btn5->click();
    EXPECT_EQ(form->itemIndex(), 1);
    EXPECT_EQ(current(), folder() + "a.wav");
    EXPECT_EQ(mode(), PlayerMode::Paused);
}

TEST_F(TransportTest, PreviousAndNextFromARowWhenTheTrackIsInNoRow) {
    threeRows();
    form->setItemIndex(0);
    form->btn1->click();
    form->playlist->removeRow(0);  // the playing track leaves the list
    form->setItemIndex(0);         // b.wav
    form->btn5->click();
    EXPECT_EQ(current(), folder() + "c.wav");
}

TEST_F(TransportTest, SkipsWorkOnlyWhilePlayingAndFromTheBarsSecond) {
    threeRows(5000);
    form->setItemIndex(0);
    form->btn7->click();  // nothing open: nothing happens
    EXPECT_TRUE(boxes.shown().empty());
    form->btn1->click();
    play(milliseconds(1500));
    tick();
    ASSERT_EQ(form->TrackBar1->value(), 1);
    form->btn7->click();
    EXPECT_EQ(form->MediaPlayer1->position(), 3000);
    EXPECT_EQ(mode(), PlayerMode::Playing);
    tick();
    form->N25->trigger();  // back, from the bar's second 3
    EXPECT_EQ(form->MediaPlayer1->position(), 1000);
    tick();
    form->btn6->click();  // 1000 - 2000 is before the start: refused, playback goes on
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(mode(), PlayerMode::Playing);
    EXPECT_EQ(form->MediaPlayer1->position(), 1000);
    form->btn2->click();
    form->btn7->click();
    EXPECT_EQ(form->MediaPlayer1->position(), 1000);
    EXPECT_EQ(mode(), PlayerMode::Paused);
}

TEST_F(TransportTest, MovingTheBarSeeksOnlyWhilePlaying) {
    threeRows(5000);
    form->setItemIndex(0);
    form->btn1->click();
    tick();
    form->TrackBar1->setValue(3);  // as a user's move would
    EXPECT_EQ(form->MediaPlayer1->position(), 3000);
    EXPECT_EQ(mode(), PlayerMode::Playing);
    EXPECT_FALSE(form->SeekByUser);
    EXPECT_TRUE(form->Timer1->isActive());

    form->btn2->click();
    form->TrackBar1->setValue(1);
    EXPECT_EQ(form->MediaPlayer1->position(), 3000);
    EXPECT_EQ(mode(), PlayerMode::Paused);
}

TEST_F(TransportTest, AShorterTrackChosenLateInALongerOneStartsAtItsBeginning) {
    tone("long.wav", 5000);
    tone("short.wav", 2000);
    form->addRow(folder(), "long.wav");
    form->addRow(folder(), "short.wav");
    form->setItemIndex(0);
    form->btn1->click();
    play(milliseconds(4200));
    tick();
    ASSERT_EQ(form->TrackBar1->value(), 4);
    form->setItemIndex(1);
    form->lv1DblClick();  // the play button is off while playing
    tick();
    EXPECT_EQ(form->MediaPlayer1->position(), 0);
    EXPECT_EQ(form->TrackBar1->value(), 0);
}

TEST_F(TransportTest, InOrderPlaysTheRowsThenStops) {
    threeRows(300);
    form->setItemIndex(0);
    form->btn1->click();
    playToEnd();
    EXPECT_EQ(current(), folder() + "b.wav");
    EXPECT_EQ(mode(), PlayerMode::Playing);
    playToEnd();
    EXPECT_EQ(current(), folder() + "c.wav");
    playToEnd();
    EXPECT_EQ(mode(), PlayerMode::Stopped);
    EXPECT_EQ(form->stat1->panelText(0), QStringLiteral(u"停止播放"));
    EXPECT_EQ(form->TrackBar1->value(), 0);
    settle();
    EXPECT_EQ(mode(), PlayerMode::Stopped);  // the stop asked for no notification
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(TransportTest, RepeatOneRestartsTheSameFile) {
    threeRows(300);
    form->N8->trigger();
    EXPECT_TRUE(form->N8->isChecked());
    EXPECT_FALSE(form->N7->isChecked());
    form->setItemIndex(1);
    form->btn1->click();
    const QString status = form->stat1->panelText(0);
    form->setItemIndex(0);
    playToEnd();
    EXPECT_EQ(current(), folder() + "b.wav");
    EXPECT_EQ(mode(), PlayerMode::Playing);
    EXPECT_EQ(form->MediaPlayer1->position(), 0);
    EXPECT_EQ(form->stat1->panelText(0), status);
    EXPECT_EQ(form->itemIndex(), 0);  // the selection is not touched
    playToEnd();
    EXPECT_EQ(current(), folder() + "b.wav");
    EXPECT_EQ(mode(), PlayerMode::Playing);
}

TEST_F(TransportTest, RepeatListGoesBackToTheFirstRow) {
    threeRows(300);
    form->N20->trigger();
    form->setItemIndex(2);
    form->btn1->click();
    playToEnd();
    EXPECT_EQ(current(), folder() + "a.wav");
    EXPECT_EQ(form->itemIndex(), 0);
    EXPECT_EQ(mode(), PlayerMode::Playing);
}

TEST_F(TransportTest, RandomReachesEveryRowAndReplaysASingleOne) {
    tone("only.wav", 200);
    form->addRow(folder(), "only.wav");
    form->N21->trigger();
    form->setItemIndex(0);
    form->btn1->click();
    playToEnd();
    EXPECT_EQ(current(), folder() + "only.wav");
    EXPECT_EQ(mode(), PlayerMode::Playing);

    for (const char* name : {"a.wav", "b.wav", "c.wav"}) {
        tone(name, 200);
        form->addRow(folder(), name);
    }
    std::set<std::string> seen;
    for (int i = 0; i < 80 && seen.size() < 4; ++i) {
        playToEnd();
        seen.insert(current());
    }
    EXPECT_EQ(seen.size(), 4u);  // the last row too
}

TEST_F(TransportTest, OnlyTheEndOfATrackAdvances) {
    threeRows(1000);
    form->setItemIndex(0);
    form->btn1->click();
    play(milliseconds(200));
    form->btn2->click();  // pause
    settle();
    form->btn1->click();  // resume
    form->btn7->click();  // seek
    settle();
    form->btn3->click();  // stop
    settle();
    EXPECT_EQ(current(), folder() + "a.wav");
    EXPECT_EQ(mode(), PlayerMode::Stopped);
}

TEST_F(TransportTest, AModeChosenDuringPlaybackTakesEffectAtTheEnd) {
    threeRows(300);
    form->setItemIndex(2);
    form->btn1->click();
    form->N20->trigger();  // before the end of the last row: in order would stop here
    playToEnd();
    EXPECT_EQ(current(), folder() + "a.wav");
    EXPECT_EQ(mode(), PlayerMode::Playing);
}

TEST_F(TransportTest, AnUnplayableNextRowEndsTheAdvanceWithOneBox) {
    tone("a.wav", 300);
    fixtures::writeBytes(folder() + "b.wav", "not audio");
    tone("c.wav", 300);
    for (const char* name : {"a.wav", "b.wav", "c.wav"}) form->addRow(folder(), name);
    form->setItemIndex(0);
    form->btn1->click();
    playToEnd();
    settle();
    EXPECT_EQ(boxes.shown().size(), 1u);
    EXPECT_NE(mode(), PlayerMode::Playing);
    EXPECT_EQ(form->itemIndex(), 1);
}

TEST_F(TransportTest, AnEmptiedListEndsRepeatAndRandomQuietly) {
    for (QAction* item : {form->N20, form->N21}) {
        SCOPED_TRACE(item->objectName().toStdString());
        tone("a.wav", 200);
        form->addRow(folder(), "a.wav");
        item->trigger();
        form->setItemIndex(0);
        form->btn1->click();
        form->N6->trigger();
        playToEnd();
        EXPECT_TRUE(boxes.shown().empty());
        EXPECT_EQ(form->playlist->count(), 0);
    }
}

}  // namespace
