// The volume bar and the audio menu as a user drives them, and what reaches the output.
#include <QAction>
#include <QSlider>
#include <QTest>

#include <cstdint>
#include <optional>

#include "main_window/window_fixture.h"
#include "playback/audio_fixtures.h"

namespace {

using main_window::TForm1;
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
        form.reset();
        playback::setWaveOutVolume(0xFFFFFFFFu);
    }

    static std::uint32_t level() { return playback::waveOutVolume(); }
    static void untouch() { playback::setWaveOutVolume(kUntouched); }

    // Which of the three channel items carry a mark, as "N30", "N31", "N33" or "".
    std::string channelMark() const {
        std::string marks;
        for (const QAction* a : {form->N30, form->N31, form->N33}) {
            if (a->isChecked()) marks += a->objectName().toStdString();
        }
        return marks;
    }
    void keyOnBar(Qt::Key key) { QTest::keyClick(form->TrackBar2, key); }
};

TEST_F(VolumeTest, StartsInStereoAtFullBarWithoutWritingTheLevel) {
    EXPECT_EQ(level(), kUntouched);
    EXPECT_EQ(form->TrackBar2->value(), 255);
    EXPECT_TRUE(form->TrackBar2->isEnabled());
    EXPECT_EQ(channelMark(), "N33");
    EXPECT_FALSE(form->N32->isChecked());
    EXPECT_EQ(TForm1::caption(form->N32), QStringLiteral(u"静音(&S)"));
}

TEST_F(VolumeTest, EveryBarPositionIsWrittenToBothChannels) {
    const struct {
        int position;
        std::uint32_t level;
    } cases[] = {
        {255, 0xFF00FF00u}, {128, 0x80008000u}, {1, 0x01000100u}, {0, 0u}, {100, 0x64006400u}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.position);
        form->TrackBar2->setValue(c.position == 0 ? 1 : 0);
        untouch();
        form->TrackBar2->setValue(c.position);
        EXPECT_EQ(level(), c.level);
        // The bar never touches the marks or the mute item.
        EXPECT_EQ(channelMark(), "N33");
        EXPECT_FALSE(form->N32->isChecked());
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
        form->TrackBar2->setValue(c.from);
        untouch();
        (c.louder ? form->N28 : form->N29)->trigger();
        EXPECT_EQ(form->TrackBar2->value(), c.to);
        EXPECT_EQ(level(), c.written.value_or(kUntouched));
    }
}

TEST_F(VolumeTest, FiveSofterPressesFromFullReachSilence) {
    const int positions[] = {195, 135, 75, 15, 0};
    for (int p : positions) {
        SCOPED_TRACE(p);
        untouch();
        form->N29->trigger();
        EXPECT_EQ(form->TrackBar2->value(), p);
        const auto u = static_cast<std::uint32_t>(p);
        EXPECT_EQ(level(), (u << 24) | (u << 8));
    }
}

TEST_F(VolumeTest, KeysOnTheBarWriteItsLevelEvenWhenItCannotMove) {
    form->N30->trigger();  // left only
    ASSERT_EQ(level(), 0x0000FF00u);

    // At 255 the End key moves nothing, yet the bar's level goes to both channels again.
    untouch();
    keyOnBar(Qt::Key_End);
    EXPECT_EQ(form->TrackBar2->value(), 255);
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
        EXPECT_EQ(form->TrackBar2->value(), s.position);
        const auto u = static_cast<std::uint32_t>(s.position);
        EXPECT_EQ(level(), (u << 24) | (u << 8));
    }
    EXPECT_EQ(channelMark(), "N30");
}

TEST_F(VolumeTest, ChannelCommandsWriteFullLevelsAndLeaveTheBarAlone) {
    form->TrackBar2->setValue(100);
    const struct {
        QAction* item;
        std::uint32_t level;
        const char* mark;
    } cases[] = {{form->N30, 0x0000FF00u, "N30"},
                 {form->N31, 0xFF000000u, "N31"},
                 {form->N33, 0xFF00FF00u, "N33"},
                 {form->N31, 0xFF000000u, "N31"},
                 {form->N30, 0x0000FF00u, "N30"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mark);
        // Chosen twice: the state's own command writes its level again and keeps its mark.
        for (int time = 0; time < 2; ++time) {
            untouch();
            c.item->trigger();
            EXPECT_EQ(level(), c.level);
            EXPECT_EQ(channelMark(), c.mark);
            EXPECT_EQ(form->TrackBar2->value(), 100);
        }
    }
}

TEST_F(VolumeTest, RightOnlyKeepsTheLeftHalfReadBackAfterSilencingIt) {
    // Had the left half been read before the 0 was written, 0x5678 would survive.
    untouch();
    form->N31->trigger();
    EXPECT_EQ(level(), 0xFF000000u);

    // One step of the bar brings both channels back at its level; the mark stays.
    keyOnBar(Qt::Key_Left);
    EXPECT_EQ(form->TrackBar2->value(), 254);
    EXPECT_EQ(level(), 0xFE00FE00u);
    EXPECT_EQ(channelMark(), "N31");
}

TEST_F(VolumeTest, MuteFromLeftOnlyComesBackInStereoAtFullLevel) {
    form->TrackBar2->setValue(100);
    form->N30->trigger();

    form->N32->trigger();  // mute
    EXPECT_EQ(level(), 0u);
    EXPECT_TRUE(form->N32->isChecked());
    EXPECT_EQ(TForm1::caption(form->N32), QStringLiteral(u"取消静音"));
    EXPECT_EQ(channelMark(), "");
    EXPECT_TRUE(form->N32->isEnabled());
    for (QAction* a : {form->N28, form->N29, form->N30, form->N31, form->N33}) {
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
    }
    EXPECT_FALSE(form->TrackBar2->isEnabled());
    EXPECT_EQ(form->TrackBar2->value(), 100);

    // Muted, the other items cannot be chosen and the bar takes no keys.
    untouch();
    form->N30->trigger();
    form->N28->trigger();
    keyOnBar(Qt::Key_Right);
    EXPECT_EQ(level(), kUntouched);
    EXPECT_EQ(channelMark(), "");

    form->N32->trigger();             // un-mute
    EXPECT_EQ(level(), 0xFF00FF00u);  // not the bar's 100: the bar is not written again
    EXPECT_FALSE(form->N32->isChecked());
    EXPECT_EQ(TForm1::caption(form->N32), QStringLiteral(u"静音"));
    EXPECT_EQ(channelMark(), "N33");
    for (QAction* a : {form->N28, form->N29, form->N30, form->N31, form->N33}) {
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
    }
    EXPECT_TRUE(form->TrackBar2->isEnabled());
    EXPECT_EQ(form->TrackBar2->value(), 100);
}

TEST_F(VolumeTest, ChannelLevelsReachWhatIsPlayed) {
    const std::string path = tone("tone.wav", 3000, 440);
    const auto at = path.rfind('/');
    form->setItemIndex(form->addRow(path.substr(0, at + 1), path.substr(at + 1)));
    form->btn1Click();
    ASSERT_EQ(form->MediaPlayer1->mode(), PlayerMode::Playing);

    // The tone's amplitude is 0.5 of full scale: a sine of RMS about 0.35.
    const struct {
        QAction* item;
        bool left;
        bool right;
    } cases[] = {{form->N30, true, false},
                 {form->N31, false, true},
                 {form->N33, true, true},
                 {form->N32, false, false}};
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
