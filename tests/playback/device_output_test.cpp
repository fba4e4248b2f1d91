// What the device tells its output, and the heard position: an output that still holds frames
// (a sound server's buffer) keeps the position behind what was handed over; the end of a track
// lets the output play out what it holds, and nothing after the end drops it, so that the next
// track or a restart follows without a gap.
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

}  // namespace
}  // namespace playback_test
