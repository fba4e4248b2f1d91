// SPDX-License-Identifier: GPL-3.0-or-later
// What the device tells its output, and the heard position: an output that still holds frames
// (a sound server's buffer) keeps the position behind what was handed over; the end of a track
// lets the output play out what it holds, and nothing after the end drops it, so that the next
// track or a restart follows without a gap.
#include <algorithm>
#include <vector>

#include "player_fixture.h"

namespace playback_test {
namespace {

using fixtures::Format;
using playback::OutputState;

// An output whose frames are heard `held` frames after they were handed over.
class BufferedOutput final : public playback::AudioOutput {
public:
    void attach(playback::AudioSource* source) override { source_ = source; }
    playback::OutputFormat open() override { return {48000, 2}; }
    void setState(OutputState state) override { states.push_back(state); }
    std::int64_t queuedFrames() override { return held; }
    std::string driver() const override { return "buffered"; }

    // Hands over `ms` of audio (less at the end of the track).
    void take(int ms) {
        const std::size_t wanted = std::size_t(ms) * 48;
        std::vector<std::int16_t> buffer(wanted * 2);
        for (std::size_t done = 0, got = 1; done < wanted && got > 0; done += got)
            got = source_->pull(buffer.data() + done * 2, wanted - done, true);
        source_->pull(nullptr, 0, true);
    }

    std::int64_t held = 0;
    std::vector<OutputState> states;

private:
    playback::AudioSource* source_ = nullptr;
};

class DeviceOutputTest : public PlayerTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        auto output = std::make_unique<BufferedOutput>();
        buffered_ = output.get();
        player_ = std::make_unique<playback::MediaPlayer>(std::move(output));
        QObject::connect(player_.get(), &playback::MediaPlayer::notified,
                         [this] { ++notifications_; });
    }
    OutputState last() const { return buffered_->states.back(); }
    BufferedOutput* buffered_ = nullptr;
};

TEST_F(DeviceOutputTest, PositionIsWhatHasBeenHeardUntilTheEnd) {
    open(tone(Format::Wav, 1000));
    player_->play();
    buffered_->held = 200 * 48;
    buffered_->take(500);
    EXPECT_EQ(player_->position(), 300);
    player_->pause();
    EXPECT_EQ(last(), OutputState::Paused);
    EXPECT_EQ(player_->position(), 300);  // the held frames are heard after the resume
    player_->resume();
    EXPECT_EQ(last(), OutputState::Playing);

    buffered_->take(600);  // the last frame is handed over: the track has ended
    EXPECT_EQ(player_->position(), player_->length());
    EXPECT_EQ(player_->mode(), PlayerMode::Stopped);
    EXPECT_EQ(pump(), 2);  // the play, ended by the pause; the resume, ended by the end
    EXPECT_EQ(last(), OutputState::Draining);
}

TEST_F(DeviceOutputTest, NothingAfterTheEndDropsWhatTheOutputHolds) {
    open(tone(Format::Wav, 300));
    player_->play();
    buffered_->take(400);
    ASSERT_EQ(pump(), 1);
    // In order on the last row: stop. Repeat one: back to 0 and play. The next row: open, play.
    player_->stop();
    player_->setPosition(0);
    player_->setFileName(tone(Format::Wav, 1000));
    player_->open();
    for (const OutputState state : buffered_->states)
        EXPECT_NE(state, OutputState::Stopped) << "the end of the track was dropped";
    player_->play();
    EXPECT_EQ(last(), OutputState::Playing);

    // The old track's tail is heard first; the new one's position starts at 0.
    buffered_->held = 150 * 48;
    buffered_->take(100);
    EXPECT_EQ(player_->position(), 0);
    buffered_->take(200);
    EXPECT_EQ(player_->position(), 150);
}

TEST_F(DeviceOutputTest, StopAndSeekBeforeTheEndDropWhatTheOutputHolds) {
    open(tone(Format::Wav, 1000));
    player_->play();
    buffered_->held = 100 * 48;
    buffered_->take(300);
    player_->setPosition(700);
    EXPECT_EQ(last(), OutputState::Stopped);
    buffered_->held = 0;
    EXPECT_EQ(player_->position(), 700);
    player_->play();
    buffered_->take(100);
    player_->stop();
    EXPECT_EQ(last(), OutputState::Stopped);
    EXPECT_EQ(player_->position(), 800);
}

// --- An output that holds 200 ms, as a sound server's buffer does -----------------------------

class HeldOutputTest : public PlayerTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        auto output = std::make_unique<playback::ManualClockOutput>(playback::OutputFormat{48000, 2},
                                                                    200ms);
        clock_ = output.get();
        player_ = std::make_unique<playback::MediaPlayer>(std::move(output));
        QObject::connect(player_.get(), &playback::MediaPlayer::notified,
                         [this] { ++notifications_; });
        QObject::connect(player_.get(), &playback::MediaPlayer::endComing,
                         [this] { ++endComing_; });
    }
    // What the advance does when it plays the next row.
    void advanceTo(const std::string& file) {
        QObject::connect(player_.get(), &playback::MediaPlayer::endComing,
                         [this, file] { player_->queueNext(file); });
        QObject::connect(player_.get(), &playback::MediaPlayer::notified, [this, file] {
            if (player_->position() != player_->length()) return;
            open(file);
            player_->play();
            player_->setNotify(true);
        });
    }
    int stops() const {
        const auto& states = clock_->states();
        return int(std::count(states.begin(), states.end(), OutputState::Stopped));
    }
    int endComing_ = 0;
};

TEST_F(HeldOutputTest, ATrackEndsWhenItsLastFrameIsHeard) {
    open(tone(Format::Wav, 300));
    player_->play();
    clock_->advance(100ms);  // every frame handed over, 200 ms of them still held
    EXPECT_EQ(player_->position(), 100);
    EXPECT_EQ(player_->mode(), PlayerMode::Playing);
    EXPECT_EQ(pump(), 0);
    EXPECT_EQ(endComing_, 1);
    clock_->advance(150ms);
    EXPECT_EQ(player_->position(), 250);
    EXPECT_EQ(pump(), 0);
    clock_->advance(50ms);
    EXPECT_EQ(player_->position(), player_->length());
    EXPECT_EQ(player_->mode(), PlayerMode::Stopped);
    EXPECT_EQ(pump(), 1);
    EXPECT_EQ(endComing_, 1);
    EXPECT_EQ(clock_->states().back(), OutputState::Draining);
}

TEST_F(HeldOutputTest, AQueuedTrackOfAnotherRateFollowsWithoutAGapAndIsTakenUp) {
    const std::string second = tone(Format::Wav, 500, 22050, 1, 880.0);
    advanceTo(second);
    open(tone(Format::Wav, 300));
    player_->play();
    player_->setNotify(true);
    clock_->advance(100ms);
    pump();  // the end is coming: the second file is queued behind the first
    clock_->advance(150ms);
    pump();
    EXPECT_EQ(player_->position(), 250);  // of the first, while the second is handed over
    clock_->advance(100ms);               // the join was heard 50 ms ago
    pump();
    EXPECT_EQ(player_->fileName(), second);
    EXPECT_EQ(player_->mode(), PlayerMode::Playing);
    EXPECT_EQ(player_->position(), 50);
    EXPECT_EQ(stops(), 0);  // nothing was dropped
    EXPECT_EQ(clock_->opens(), 1);
    runToEnd();
    EXPECT_EQ(player_->position(), player_->length());

    // Every frame of both, in order, with no silence at the join.
    const auto& samples = clock_->samples();
    ASSERT_EQ(samples.size(), std::size_t(800 * 48 * 2));
    std::size_t run = 0, longest = 0;
    for (std::size_t i = 0; i < samples.size(); i += 2) {
        run = samples[i] == 0 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    EXPECT_LE(longest, 2u);
    const std::vector<std::int16_t> first(samples.begin(), samples.begin() + 250 * 96);
    const std::vector<std::int16_t> next(samples.begin() + 350 * 96, samples.end());
    EXPECT_NEAR(fixtures::zeroCrossingFrequency(first, 2, 1, 48000), 440.0, 5.0);
    EXPECT_NEAR(fixtures::zeroCrossingFrequency(next, 2, 1, 48000), 880.0, 9.0);
}

TEST_F(HeldOutputTest, APauseBeforeTheEndIsHeardKeepsTheEndAndTheQueuedTrack) {
    const std::string second = tone(Format::Wav, 500);
    advanceTo(second);
    open(tone(Format::Wav, 300));
    player_->play();
    player_->setNotify(true);
    clock_->advance(100ms);
    pump();
    clock_->advance(100ms);
    player_->pause();
    EXPECT_EQ(clock_->advance(500ms), 0);
    EXPECT_EQ(player_->position(), 200);
    EXPECT_EQ(pump(), 2);  // the play's, ended by the pause, and the pause's own; no end
    player_->pause();      // resumes
    clock_->advance(100ms);
    pump();
    EXPECT_EQ(player_->fileName(), second);
    EXPECT_EQ(player_->mode(), PlayerMode::Playing);
    EXPECT_EQ(endComing_, 1);  // the queued track stays queued across the pause
    EXPECT_EQ(stops(), 0);
}

TEST_F(HeldOutputTest, WhatNoCommandTakesUpIsDropped) {
    const std::string first = tone(Format::Wav, 300);
    open(first);
    player_->play();
    clock_->advance(100ms);
    pump();
    player_->queueNext(tone(Format::Wav, 1000));
    clock_->advance(250ms);
    // The end, and no advance (a mode changed, the list emptied): the queued track goes.
    EXPECT_EQ(pump(), 1);
    EXPECT_EQ(clock_->states().back(), OutputState::Stopped);
    EXPECT_EQ(player_->position(), player_->length());
    EXPECT_EQ(clock_->advance(100ms), 0);

    // Another file than the one queued: the queued one goes, the other plays from 0.
    player_->play();
    clock_->advance(150ms);
    pump();
    player_->queueNext(tone(Format::Wav, 1000));
    clock_->advance(200ms);
    ASSERT_EQ(player_->position(), player_->length());
    const int before = stops();
    open(tone(Format::Wav, 600));
    EXPECT_EQ(stops(), before + 1);
    EXPECT_EQ(player_->position(), 0);
    EXPECT_EQ(player_->length(), 600);
}

TEST_F(HeldOutputTest, RepeatingTheSameFileTakesUpItsQueuedStart) {
    const std::string file = tone(Format::Wav, 300);
    // Repeat one: back to 0 and play, without opening again.
    QObject::connect(player_.get(), &playback::MediaPlayer::notified, [this] {
        player_->setPosition(0);
        player_->play();
    });
    open(file);
    player_->play();
    clock_->advance(100ms);
    pump();
    player_->queueNext(file);
    clock_->advance(250ms);
    EXPECT_EQ(pump(), 1);
    EXPECT_EQ(player_->mode(), PlayerMode::Playing);
    EXPECT_EQ(player_->position(), 50);
    EXPECT_EQ(stops(), 0);
}

TEST_F(HeldOutputTest, StopKeepsThePositionHeardNotWhatWasHandedOver) {
    open(tone(Format::Wav, 1000));
    player_->play();
    clock_->advance(300ms);  // 500 ms handed over
    player_->stop();
    EXPECT_EQ(player_->position(), 300);
    player_->play();
    clock_->advance(100ms);
    EXPECT_EQ(player_->position(), 400);
    // From 300 on: the frames dropped at the stop are played again.
    const auto& samples = clock_->samples();
    const auto reference = fixtures::decodeFile(player_->fileName()).samples;
    ASSERT_GE(samples.size(), std::size_t(800 * 96));
    EXPECT_TRUE(std::equal(samples.begin() + 500 * 96, samples.begin() + 800 * 96,
                           reference.begin() + 300 * 96));
}

}  // namespace
}  // namespace playback_test
