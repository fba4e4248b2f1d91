// SPDX-License-Identifier: GPL-3.0-or-later
// The volume bar and the audio menu as a user drives them, and what reaches the output.
#include <QAction>
#include <QSlider>
#include <QTest>

#include <cstdint>
#include <optional>

#include "main_window/window_fixture.h"
#include "playback/audio_fixtures.h"

namespace {

using main_window::MainWindow;
using playback::PlayerMode;
using testing_support::WindowTest;

// Never written by the window: its low byte is not 0. Whatever the device holds after a
// command tells whether the command wrote, and what.
constexpr std::uint32_t kUntouched = 0x12345678u;

class VolumeTest : public WindowTest {
protected:
    void SetUp() override {
        playback::setWaveOutVolume(kUntouched);
        WindowTest::SetUp();
    }
    void TearDown() override {
        window.reset();
        playback::setWaveOutVolume(0xFFFFFFFFu);
    }

    static std::uint32_t level() { return playback::waveOutVolume(); }
    static void untouch() { playback::setWaveOutVolume(kUntouched); }

    // Which of the three channel items carry a mark, as "N30", "N31", "N33" or "".
    std::string channelMark() const {
        std::string marks;
        for (const QAction* a :
             {window->leftChannelAction, window->rightChannelAction, window->stereoAction}) {
            if (a->isChecked()) marks += a->objectName().toStdString();
        }
        return marks;
    }
    void keyOnBar(Qt::Key key) { QTest::keyClick(window->volumeBar, key); }
};

TEST_F(VolumeTest, StartsInStereoAtFullBarWithoutWritingTheLevel) {
    EXPECT_EQ(level(), kUntouched);
    EXPECT_EQ(window->volumeBar->value(), 255);
    EXPECT_TRUE(window->volumeBar->isEnabled());
    EXPECT_EQ(channelMark(), "N33");
    EXPECT_FALSE(window->muteAction->isChecked());
    EXPECT_EQ(MainWindow::caption(window->muteAction), QStringLiteral(u"静音(&S)"));
}

TEST_F(VolumeTest, EveryBarPositionIsWrittenToBothChannels) {
    const struct {
        int position;
        std::uint32_t level;
    } cases[] = {
        {255, 0xFF00FF00u}, {128, 0x80008000u}, {1, 0x01000100u}, {0, 0u}, {100, 0x64006400u}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.position);
        window->volumeBar->setValue(c.position == 0 ? 1 : 0);
        untouch();
        window->volumeBar->setValue(c.position);
        EXPECT_EQ(level(), c.level);
        // The bar never touches the marks or the mute item.
        EXPECT_EQ(channelMark(), "N33");
        EXPECT_FALSE(window->muteAction->isChecked());
    }
}

TEST_F(VolumeTest, LouderAndSofterStepBySixtyAndWriteOnlyWhenTheBarMoves) {
    const struct {
        const char* label;
        int from;
        bool louder;
        int to;
        std::optional<std::uint32_t> written;
    } cases[] = {
        {"louder at 255", 255, true, 255, std::nullopt},
        {"louder at 200", 200, true, 255, 0xFF00FF00u},
        {"louder at 100", 100, true, 160, 0xA000A000u},
        {"softer at 30", 30, false, 0, 0u},
        {"softer at 0", 0, false, 0, std::nullopt},
        {"softer at 255", 255, false, 195, 0xC300C300u},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        window->volumeBar->setValue(c.from);
        untouch();
        (c.louder ? window->louderAction : window->softerAction)->trigger();
        EXPECT_EQ(window->volumeBar->value(), c.to);
        EXPECT_EQ(level(), c.written.value_or(kUntouched));
    }
}

TEST_F(VolumeTest, FiveSofterPressesFromFullReachSilence) {
    const int positions[] = {195, 135, 75, 15, 0};
    for (int p : positions) {
        SCOPED_TRACE(p);
        untouch();
        window->softerAction->trigger();
        EXPECT_EQ(window->volumeBar->value(), p);
        const auto u = static_cast<std::uint32_t>(p);
        EXPECT_EQ(level(), (u << 24) | (u << 8));
    }
}

TEST_F(VolumeTest, KeysOnTheBarWriteItsLevelEvenWhenItCannotMove) {
    window->leftChannelAction->trigger();  // left only
    ASSERT_EQ(level(), 0x0000FF00u);

    // At 255 the End key moves nothing, yet the bar's level goes to both channels again.
    untouch();
    keyOnBar(Qt::Key_End);
    EXPECT_EQ(window->volumeBar->value(), 255);
    EXPECT_EQ(level(), 0xFF00FF00u);
    EXPECT_EQ(channelMark(), "N30");

    const struct {
        Qt::Key key;
        int position;
    } steps[] = {
        {Qt::Key_Left, 254}, {Qt::Key_PageDown, 252}, {Qt::Key_Home, 0}, {Qt::Key_Home, 0}};
    for (const auto& s : steps) {
        SCOPED_TRACE(s.key);
        untouch();
        keyOnBar(s.key);
        EXPECT_EQ(window->volumeBar->value(), s.position);
        const auto u = static_cast<std::uint32_t>(s.position);
        EXPECT_EQ(level(), (u << 24) | (u << 8));
    }
    EXPECT_EQ(channelMark(), "N30");
}

TEST_F(VolumeTest, ChannelCommandsWriteFullLevelsAndLeaveTheBarAlone) {
    window->volumeBar->setValue(100);
    const struct {
        QAction* item;
        std::uint32_t level;
        const char* mark;
    } cases[] = {{window->leftChannelAction, 0x0000FF00u, "N30"},
                 {window->rightChannelAction, 0xFF000000u, "N31"},
                 {window->stereoAction, 0xFF00FF00u, "N33"},
                 {window->rightChannelAction, 0xFF000000u, "N31"},
                 {window->leftChannelAction, 0x0000FF00u, "N30"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mark);
        // Chosen twice: the state's own command writes its level again and keeps its mark.
        for (int time = 0; time < 2; ++time) {
            untouch();
            c.item->trigger();
            EXPECT_EQ(level(), c.level);
            EXPECT_EQ(channelMark(), c.mark);
            EXPECT_EQ(window->volumeBar->value(), 100);
        }
    }
}

TEST_F(VolumeTest, RightOnlyKeepsTheLeftHalfReadBackAfterSilencingIt) {
    // Had the left half been read before the 0 was written, 0x5678 would survive.
    untouch();
    window->rightChannelAction->trigger();
    EXPECT_EQ(level(), 0xFF000000u);

    // One step of the bar brings both channels back at its level; the mark stays.
    keyOnBar(Qt::Key_Left);
    EXPECT_EQ(window->volumeBar->value(), 254);
    EXPECT_EQ(level(), 0xFE00FE00u);
    EXPECT_EQ(channelMark(), "N31");
}

TEST_F(VolumeTest, MuteFromLeftOnlyComesBackInStereoAtFullLevel) {
    window->volumeBar->setValue(100);
    window->leftChannelAction->trigger();

    window->muteAction->trigger();  // mute
    EXPECT_EQ(level(), 0u);
    EXPECT_TRUE(window->muteAction->isChecked());
    EXPECT_EQ(MainWindow::caption(window->muteAction), QStringLiteral(u"取消静音"));
    EXPECT_EQ(channelMark(), "");
    EXPECT_TRUE(window->muteAction->isEnabled());
    for (QAction* a : {window->louderAction, window->softerAction, window->leftChannelAction,
                       window->rightChannelAction, window->stereoAction}) {
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
    }
    EXPECT_FALSE(window->volumeBar->isEnabled());
    EXPECT_EQ(window->volumeBar->value(), 100);

    // Muted, the other items cannot be chosen and the bar takes no keys.
    untouch();
    window->leftChannelAction->trigger();
    window->louderAction->trigger();
    keyOnBar(Qt::Key_Right);
    EXPECT_EQ(level(), kUntouched);
    EXPECT_EQ(channelMark(), "");

    window->muteAction->trigger();    // un-mute
    EXPECT_EQ(level(), 0xFF00FF00u);  // not the bar's 100: the bar is not written again
    EXPECT_FALSE(window->muteAction->isChecked());
    EXPECT_EQ(MainWindow::caption(window->muteAction), QStringLiteral(u"静音"));
    EXPECT_EQ(channelMark(), "N33");
    for (QAction* a : {window->louderAction, window->softerAction, window->leftChannelAction,
                       window->rightChannelAction, window->stereoAction}) {
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
    }
    EXPECT_TRUE(window->volumeBar->isEnabled());
    EXPECT_EQ(window->volumeBar->value(), 100);
}

TEST_F(VolumeTest, AMixersLevelAndMuteAreShownWithoutBeingWrittenBack) {
    auto& mixer = static_cast<playback::ManualClockOutput&>(window->player->output());
    window->leftChannelAction->trigger();
    auto fromMixer = [&](std::uint32_t packed, bool muted) {
        mixer.setFromMixer(packed, muted);
        settle();
    };
    // A balance no bar position writes: the bar shows the louder channel, the level stays the
    // mixer's, and the channel mark stays.
    fromMixer(0x12344321u, false);
    EXPECT_EQ(window->volumeBar->value(), 67);
    EXPECT_EQ(level(), 0x12344321u);
    EXPECT_EQ(channelMark(), "N30");

    // The mixer's mute is the muted state, the bar where it was; its un-mute brings back the
    // channel item and follows the level.
    fromMixer(0x12344321u, true);
    EXPECT_TRUE(window->muteAction->isChecked());
    EXPECT_EQ(MainWindow::caption(window->muteAction), QStringLiteral(u"取消静音"));
    EXPECT_FALSE(window->volumeBar->isEnabled());
    EXPECT_FALSE(window->stereoAction->isEnabled());
    EXPECT_EQ(channelMark(), "");
    fromMixer(0x0000FFFFu, false);
    EXPECT_FALSE(window->muteAction->isChecked());
    EXPECT_TRUE(window->volumeBar->isEnabled());
    EXPECT_EQ(channelMark(), "N30");
    EXPECT_EQ(window->volumeBar->value(), 255);
    EXPECT_EQ(level(), 0x0000FFFFu);

    // Our own mute holds against a mixer that only lifts its mute flag at level 0, and ends,
    // in stereo, when the mixer raises the level.
    window->muteAction->trigger();
    fromMixer(0, false);
    EXPECT_TRUE(window->muteAction->isChecked());
    EXPECT_EQ(window->volumeBar->value(), 255);
    fromMixer(0x40004000u, false);
    EXPECT_FALSE(window->muteAction->isChecked());
    EXPECT_EQ(channelMark(), "N33");
    EXPECT_EQ(window->volumeBar->value(), 64);
    EXPECT_EQ(level(), 0x40004000u);
}

TEST_F(VolumeTest, ChannelLevelsReachWhatIsPlayed) {
    const std::string path = tone("tone.wav", 3000, 440);
    const auto at = path.rfind('/');
    window->selectRow(window->addRow(path.substr(0, at + 1), path.substr(at + 1)));
    window->play();
    ASSERT_EQ(window->player->mode(), PlayerMode::Playing);

    // The tone's amplitude is 0.5 of full scale: a sine of RMS about 0.35.
    const struct {
        QAction* item;
        bool left;
        bool right;
    } cases[] = {{window->leftChannelAction, true, false},
                 {window->rightChannelAction, false, true},
                 {window->stereoAction, true, true},
                 {window->muteAction, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item->objectName().toStdString());
        c.item->trigger();
        clock->clearSamples();
        play(std::chrono::milliseconds(200));
        const auto& samples = clock->samples();
        ASSERT_FALSE(samples.empty());
        const double left = fixtures::rms(samples, 2, 0);
        const double right = fixtures::rms(samples, 2, 1);
        if (c.left)
            EXPECT_GT(left, 0.3);
        else
            EXPECT_EQ(left, 0.0);
        if (c.right)
            EXPECT_GT(right, 0.3);
        else
            EXPECT_EQ(right, 0.0);
    }
}

}  // namespace
