// SPDX-License-Identifier: GPL-3.0-or-later
// Transport, progress and the play modes, through the real main window with the device on the
// manual-clock output.
#include <QAction>
#include <QSlider>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <set>

#include "main_window/status_bar.h"
#include "main_window/window_fixture.h"

namespace {

using main_window::timeText;
using main_window::zeroPad;
using playback::PlayerMode;
using std::chrono::milliseconds;
using testing_support::WindowTest;

TEST(TimeText, MinutesAndSecondsPaddedToTwoDigits) {
    EXPECT_EQ(zeroPad(2, QStringLiteral("5")), QStringLiteral("05"));
    EXPECT_EQ(zeroPad(2, QStringLiteral("12")), QStringLiteral("12"));
    EXPECT_EQ(zeroPad(2, QStringLiteral("100")), QStringLiteral("100"));  // longer: whole
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
            window->addRow(folder(), name);
        }
    }
    std::string current() const { return window->player->fileName(); }
    PlayerMode mode() const { return window->player->mode(); }
    void tick() {
        window->updateProgressBar();
        window->updateTimeTexts();
    }
    // Plays to the end of the current track and lets the notification run.
    void playToEnd() { play(milliseconds(60'000)); }
};

TEST_F(TransportTest, PlayNeedsASelectedRow) {
    threeRows();
    window->playButton->click();
    EXPECT_EQ(mode(), PlayerMode::NotReady);
    EXPECT_TRUE(window->playButton->isEnabled());
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(TransportTest, PlayPauseResumeStopFollowTheEnabledStateTable) {
    threeRows();
    window->selectRow(1);
    window->playButton->click();
    EXPECT_EQ(current(), folder() + "b.wav");
    EXPECT_EQ(mode(), PlayerMode::Playing);
    EXPECT_FALSE(window->playButton->isEnabled());
    EXPECT_TRUE(window->pauseButton->isEnabled());
    EXPECT_TRUE(window->stopButton->isEnabled());
    EXPECT_TRUE(window->progressBar->isEnabled());
    EXPECT_TRUE(window->progressTimer->isActive());
    EXPECT_TRUE(window->clockTimer->isActive());
    EXPECT_EQ(window->statusBar->panelText(0), QStringLiteral(u"当前正在播放：b.wav"));
    // Until the 10 ms timer first runs during playback, both times read "00:00".
    EXPECT_EQ(window->statusBar->panelText(1), QStringLiteral("00:00"));
    EXPECT_EQ(window->statusBar->panelText(2), QStringLiteral("00:00"));

    play(milliseconds(600));
    tick();
    EXPECT_EQ(window->statusBar->panelText(2), QStringLiteral("00:01    "));
    EXPECT_EQ(window->statusBar->panelText(1), QStringLiteral("00:00"));

    window->pauseButton->click();
    EXPECT_EQ(mode(), PlayerMode::Paused);
    EXPECT_TRUE(window->playButton->isEnabled());
    EXPECT_FALSE(window->pauseButton->isEnabled());
    EXPECT_TRUE(window->stopButton->isEnabled());

    // Play while paused resumes the paused track, whatever row is selected; the current
    // track's name becomes that row's path all the same.
    window->selectRow(2);
    window->playButton->click();
    EXPECT_EQ(mode(), PlayerMode::Playing);
    EXPECT_EQ(window->player->position(), 600);
    EXPECT_EQ(current(), folder() + "c.wav");
    EXPECT_EQ(window->statusBar->panelText(0), QStringLiteral(u"当前正在播放：b.wav"));
    EXPECT_FALSE(window->playButton->isEnabled());
    EXPECT_TRUE(window->pauseButton->isEnabled());

    play(milliseconds(200));
    tick();
    window->stopButton->click();
    EXPECT_EQ(mode(), PlayerMode::Stopped);
    EXPECT_EQ(window->progressBar->value(), 0);
    EXPECT_EQ(window->statusBar->panelText(0), QStringLiteral(u"停止播放"));
    EXPECT_EQ(window->statusBar->panelText(2), QStringLiteral("00:01    "));  // times stay
    EXPECT_TRUE(window->playButton->isEnabled());
    EXPECT_FALSE(window->pauseButton->isEnabled());
    EXPECT_FALSE(window->stopButton->isEnabled());
    EXPECT_FALSE(window->progressBar->isEnabled());
    // The timers stay enabled, unarmed while nothing plays.
    EXPECT_TRUE(window->clockTimer->isEnabled());
    EXPECT_FALSE(window->clockTimer->isActive());
}

// The display timers fire when the shown second can change, and not at all while nothing plays.
TEST_F(TransportTest, DisplayTimersAreArmedForTheNextSecondOnlyWhilePlaying) {
    threeRows(9000);
    window->selectRow(0);
    window->playButton->click();
    // The first ticks come one design period after play: 10 and 100 ms.
    EXPECT_LE(window->clockTimer->remainingTime(), 10);
    EXPECT_LE(window->progressTimer->remainingTime(), 100);

    play(milliseconds(1300));
    window->updateTimeTexts();  // as its timer would
    window->updateProgressBar();
    EXPECT_EQ(window->statusBar->panelText(1), QStringLiteral("00:01"));
    for (const QTimer* timer : {window->clockTimer, window->progressTimer}) {
        EXPECT_GT(timer->remainingTime(), 690);  // 2000 - 1300, and a little after
        EXPECT_LE(timer->remainingTime(), 701);
    }

    // A seek by the user, to 3000 ms: the display looks again at once.
    window->progressBar->setValue(3);
    EXPECT_EQ(window->clockTimer->remainingTime(), 0);
    EXPECT_EQ(window->progressTimer->remainingTime(), 0);
    play(milliseconds(400));
    window->pauseButton->click();
    EXPECT_FALSE(window->clockTimer->isActive());
    EXPECT_FALSE(window->progressTimer->isActive());
    // The look after the seek showed it; a tick while paused changes nothing and arms nothing.
    EXPECT_EQ(window->statusBar->panelText(1), QStringLiteral("00:03"));
    window->updateTimeTexts();
    EXPECT_EQ(window->statusBar->panelText(1), QStringLiteral("00:03"));
    EXPECT_FALSE(window->clockTimer->isActive());

    window->playButton->click();  // resumes at 3400 ms
    EXPECT_EQ(window->clockTimer->remainingTime(), 0);
    tick();
    EXPECT_GT(window->clockTimer->remainingTime(), 590);
    EXPECT_LE(window->clockTimer->remainingTime(), 601);
    // A skip shows where it landed at the next look, not a second later.
    window->forwardButton->click();  // from the bar's second, 3, to 5000 ms
    EXPECT_EQ(window->player->position(), 5000);
    EXPECT_EQ(window->clockTimer->remainingTime(), 0);
    tick();
    EXPECT_EQ(window->statusBar->panelText(1), QStringLiteral("00:05"));
    EXPECT_EQ(window->progressBar->value(), 5);
    EXPECT_GT(window->clockTimer->remainingTime(), 990);
    EXPECT_TRUE(window->progressTimer->isEnabled());
}

TEST_F(TransportTest, AnUnplayableRowShowsTheErrorBoxAndChangesNothing) {
    const std::string bad = folder() + "bad.mp3";
    fixtures::writeBytes(bad, "not audio");
    window->addRow(folder(), "bad.mp3");
    window->selectRow(0);
    window->playButton->click();
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, QStringLiteral(u"无法播放，请检查路径或者文件名是否正确！"));
    EXPECT_EQ(boxes.shown()[0].caption, QStringLiteral(u"错误"));
    EXPECT_EQ(boxes.shown()[0].style, 0x10u);
    EXPECT_EQ(boxes.shown()[0].owner, window.get());
    EXPECT_TRUE(window->playButton->isEnabled());
    EXPECT_FALSE(window->stopButton->isEnabled());
}

TEST_F(TransportTest, StopWithNothingOpenReachesTheStandardErrorBox) {
    window->stopButton->setEnabled(true);
    window->stopButton->click();
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, QStringLiteral("No MCI device open."));
    EXPECT_EQ(boxes.shown()[0].style, 0x10u);
    window->playButton->click();  // and the program goes on
}

TEST_F(TransportTest, PreviousAndNextStepFromTheCurrentTrackWithoutWrapping) {
    threeRows();
    // Stopped: only the selection moves, and not past the ends.
    window->selectRow(0);
    window->previousButton->click();
    EXPECT_EQ(window->selectedRow(), 0);
    window->nextButton->click();
    EXPECT_EQ(window->selectedRow(), 1);
    EXPECT_EQ(mode(), PlayerMode::NotReady);
    window->nextButton->click();
    window->nextButton->click();
    EXPECT_EQ(window->selectedRow(), 2);

    // Playing: from the current track's row, whatever is selected.
    window->selectRow(0);
    window->playButton->click();
    window->selectRow(2);
    window->nextAction->trigger();  // the menu's next
    EXPECT_EQ(current(), folder() + "b.wav");
    EXPECT_EQ(window->selectedRow(), 1);
    window->previousButton->click();
    EXPECT_EQ(current(), folder() + "a.wav");
    window->previousAction->trigger();  // on the first row: nothing
    EXPECT_EQ(current(), folder() + "a.wav");
    EXPECT_EQ(mode(), PlayerMode::Playing);

    // Paused: the selection moves, nothing plays.
    window->pauseButton->click();
    window->nextButton->click();
    EXPECT_EQ(window->selectedRow(), 1);
    EXPECT_EQ(current(), folder() + "a.wav");
    EXPECT_EQ(mode(), PlayerMode::Paused);
}

TEST_F(TransportTest, PreviousAndNextFromARowWhenTheTrackIsInNoRow) {
    threeRows();
    window->selectRow(0);
    window->playButton->click();
    window->playlist->removeRow(0);  // the playing track leaves the list
    window->selectRow(0);            // b.wav
    window->nextButton->click();
    EXPECT_EQ(current(), folder() + "c.wav");
}

TEST_F(TransportTest, SkipsWorkOnlyWhilePlayingAndFromTheBarsSecond) {
    threeRows(5000);
    window->selectRow(0);
    window->forwardButton->click();  // nothing open: nothing happens
    EXPECT_TRUE(boxes.shown().empty());
    window->playButton->click();
    play(milliseconds(1500));
    tick();
    ASSERT_EQ(window->progressBar->value(), 1);
    window->forwardButton->click();
    EXPECT_EQ(window->player->position(), 3000);
    EXPECT_EQ(mode(), PlayerMode::Playing);
    tick();
    window->backAction->trigger();  // back, from the bar's second 3
    EXPECT_EQ(window->player->position(), 1000);
    tick();
    window->backButton->click();  // 1000 - 2000 is before the start: refused, playback goes on
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(mode(), PlayerMode::Playing);
    EXPECT_EQ(window->player->position(), 1000);
    window->pauseButton->click();
    window->forwardButton->click();
    EXPECT_EQ(window->player->position(), 1000);
    EXPECT_EQ(mode(), PlayerMode::Paused);
}

TEST_F(TransportTest, MovingTheBarSeeksOnlyWhilePlaying) {
    threeRows(5000);
    window->selectRow(0);
    window->playButton->click();
    tick();
    window->progressBar->setValue(3);  // as a user's move would
    EXPECT_EQ(window->player->position(), 3000);
    EXPECT_EQ(mode(), PlayerMode::Playing);
    EXPECT_FALSE(window->seekByUser);
    EXPECT_TRUE(window->progressTimer->isActive());

    window->pauseButton->click();
    window->progressBar->setValue(1);
    EXPECT_EQ(window->player->position(), 3000);
    EXPECT_EQ(mode(), PlayerMode::Paused);
}

TEST_F(TransportTest, AShorterTrackChosenLateInALongerOneStartsAtItsBeginning) {
    tone("long.wav", 5000);
    tone("short.wav", 2000);
    window->addRow(folder(), "long.wav");
    window->addRow(folder(), "short.wav");
    window->selectRow(0);
    window->playButton->click();
    play(milliseconds(4200));
    tick();
    ASSERT_EQ(window->progressBar->value(), 4);
    window->selectRow(1);
    window->playRowAction->trigger();  // the play button is off while playing
    tick();
    EXPECT_EQ(window->player->position(), 0);
    EXPECT_EQ(window->progressBar->value(), 0);
}

TEST_F(TransportTest, InOrderPlaysTheRowsThenStops) {
    threeRows(300);
    window->selectRow(0);
    window->playButton->click();
    playToEnd();
    EXPECT_EQ(current(), folder() + "b.wav");
    EXPECT_EQ(mode(), PlayerMode::Playing);
    playToEnd();
    EXPECT_EQ(current(), folder() + "c.wav");
    playToEnd();
    EXPECT_EQ(mode(), PlayerMode::Stopped);
    EXPECT_EQ(window->statusBar->panelText(0), QStringLiteral(u"停止播放"));
    EXPECT_EQ(window->progressBar->value(), 0);
    settle();
    EXPECT_EQ(mode(), PlayerMode::Stopped);  // the stop asked for no notification
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(TransportTest, RepeatOneRestartsTheSameFile) {
    threeRows(300);
    window->repeatOneAction->trigger();
    EXPECT_TRUE(window->repeatOneAction->isChecked());
    EXPECT_FALSE(window->inOrderAction->isChecked());
    window->selectRow(1);
    window->playButton->click();
    const QString status = window->statusBar->panelText(0);
    window->selectRow(0);
    playToEnd();
    EXPECT_EQ(current(), folder() + "b.wav");
    EXPECT_EQ(mode(), PlayerMode::Playing);
    EXPECT_EQ(window->player->position(), 0);
    EXPECT_EQ(window->statusBar->panelText(0), status);
    EXPECT_EQ(window->selectedRow(), 0);  // the selection is not touched
    playToEnd();
    EXPECT_EQ(current(), folder() + "b.wav");
    EXPECT_EQ(mode(), PlayerMode::Playing);
}

TEST_F(TransportTest, RepeatListGoesBackToTheFirstRow) {
    threeRows(300);
    window->repeatListAction->trigger();
    window->selectRow(2);
    window->playButton->click();
    playToEnd();
    EXPECT_EQ(current(), folder() + "a.wav");
    EXPECT_EQ(window->selectedRow(), 0);
    EXPECT_EQ(mode(), PlayerMode::Playing);
}

TEST_F(TransportTest, RandomReachesEveryRowAndReplaysASingleOne) {
    tone("only.wav", 200);
    window->addRow(folder(), "only.wav");
    window->randomAction->trigger();
    window->selectRow(0);
    window->playButton->click();
    playToEnd();
    EXPECT_EQ(current(), folder() + "only.wav");
    EXPECT_EQ(mode(), PlayerMode::Playing);

    for (const char* name : {"a.wav", "b.wav", "c.wav"}) {
        tone(name, 200);
        window->addRow(folder(), name);
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
    window->selectRow(0);
    window->playButton->click();
    play(milliseconds(200));
    window->pauseButton->click();  // pause
    settle();
    window->playButton->click();     // resume
    window->forwardButton->click();  // seek
    settle();
    window->stopButton->click();  // stop
    settle();
    EXPECT_EQ(current(), folder() + "a.wav");
    EXPECT_EQ(mode(), PlayerMode::Stopped);
}

TEST_F(TransportTest, AModeChosenDuringPlaybackTakesEffectAtTheEnd) {
    threeRows(300);
    window->selectRow(2);
    window->playButton->click();
    window->repeatListAction
        ->trigger();  // before the end of the last row: in order would stop here
    playToEnd();
    EXPECT_EQ(current(), folder() + "a.wav");
    EXPECT_EQ(mode(), PlayerMode::Playing);
}

// The open that failed closed the track before it: the window shows the stop, as at the end of
// the list, instead of playing on a file no longer open with play disabled (as after the sound
// server went away), so that play works again.
TEST_F(TransportTest, AnUnplayableNextRowEndsTheAdvanceWithOneBoxAndShowsTheStop) {
    tone("a.wav", 300);
    fixtures::writeBytes(folder() + "b.wav", "not audio");
    tone("c.wav", 300);
    for (const char* name : {"a.wav", "b.wav", "c.wav"}) window->addRow(folder(), name);
    window->selectRow(0);
    window->playButton->click();
    playToEnd();
    settle();
    EXPECT_EQ(boxes.shown().size(), 1u);
    EXPECT_NE(mode(), PlayerMode::Playing);
    EXPECT_EQ(window->selectedRow(), 1);
    EXPECT_TRUE(window->playButton->isEnabled());
    EXPECT_FALSE(window->pauseButton->isEnabled());
    EXPECT_FALSE(window->stopButton->isEnabled());
    EXPECT_EQ(window->progressBar->value(), 0);
    EXPECT_EQ(window->statusBar->panelText(0), QStringLiteral(u"停止播放"));
    EXPECT_FALSE(window->progressTimer->isActive());

    window->selectRow(2);
    window->playButton->click();
    EXPECT_EQ(mode(), PlayerMode::Playing);
    EXPECT_EQ(current(), folder() + "c.wav");
}

TEST_F(TransportTest, AnEmptiedListEndsRepeatAndRandomQuietly) {
    for (QAction* item : {window->repeatListAction, window->randomAction}) {
        SCOPED_TRACE(item->objectName().toStdString());
        tone("a.wav", 200);
        window->addRow(folder(), "a.wav");
        item->trigger();
        window->selectRow(0);
        window->playButton->click();
        window->clearListAction->trigger();
        playToEnd();
        EXPECT_TRUE(boxes.shown().empty());
        EXPECT_EQ(window->playlist->count(), 0);
    }
}

// Through an output that holds 200 ms, as a sound server does: the advance is shown when the
// join is heard, and plays the row that was queued behind the ending track.
class HeldTransportTest : public TransportTest {
protected:
    std::chrono::milliseconds outputLatency() const override { return milliseconds(200); }
    QString status() const { return window->statusBar->panelText(0); }
    int stops() const {
        const auto& states = clock->states();
        return int(std::count(states.begin(), states.end(), playback::OutputState::Stopped));
    }
};

TEST_F(HeldTransportTest, TheAdvanceAndTheStopAreShownWhenHeard) {
    threeRows(300);
    window->selectRow(0);
    window->playButton->click();
    play(milliseconds(250));  // a's last frame was handed over 200 ms ago
    EXPECT_EQ(status(), QStringLiteral(u"当前正在播放：a.wav"));
    EXPECT_EQ(window->selectedRow(), 0);
    play(milliseconds(50));
    EXPECT_EQ(status(), QStringLiteral(u"当前正在播放：b.wav"));
    EXPECT_EQ(window->selectedRow(), 1);
    EXPECT_EQ(window->player->position(), 0);
    for (int i = 0; i < 3; ++i) play(milliseconds(100));
    EXPECT_EQ(current(), folder() + "c.wav");
    EXPECT_EQ(stops(), 0);  // gapless: nothing held was dropped
    EXPECT_EQ(clock->opens(), 1);

    play(milliseconds(299));
    EXPECT_EQ(mode(), PlayerMode::Playing);
    EXPECT_EQ(status(), QStringLiteral(u"当前正在播放：c.wav"));
    play(milliseconds(1));
    EXPECT_EQ(status(), QStringLiteral(u"停止播放"));
    EXPECT_EQ(window->progressBar->value(), 0);
    EXPECT_EQ(window->player->position(), window->player->length());
}

TEST_F(HeldTransportTest, RandomPlaysTheRowItQueued) {
    for (const char* name : {"a.wav", "b.wav", "c.wav", "d.wav"}) {
        tone(name, 200);
        window->addRow(folder(), name);
    }
    window->randomAction->trigger();
    window->selectRow(0);
    window->playButton->click();
    std::set<std::string> seen;
    for (int i = 0; i < 12; ++i) {
        // In two steps, so that the queue and the end come in turn.
        play(milliseconds(100));
        play(milliseconds(100));
        seen.insert(current());
        EXPECT_EQ(window->playlist->path(window->selectedRow()), current());
    }
    EXPECT_GT(seen.size(), 1u);
    // Every advance took up what was queued: a row drawn anew would have been opened afresh.
    EXPECT_EQ(clock->opens(), 1);
    EXPECT_EQ(stops(), 0);
}

}  // namespace
