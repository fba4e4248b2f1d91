// SPDX-License-Identifier: GPL-3.0-or-later
// The command API through the manual clock: notifications, pause and resume, seeking,
// stopping, re-opening, the errors, damaged files and the per-channel gain.
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include <filesystem>
#include <functional>
#include <vector>

#include "player_fixture.h"

namespace playback_test {
namespace {

using fixtures::Format;

// --- Notifications -------------------------------------------------------------------------

struct NotifyCase {
    const char* name;
    std::function<void(playback::MediaPlayer&, playback::ManualClockOutput&)> run;
    int beforeEnd;  // notifications delivered right after the commands
    int total;      // after playing on to where the track would end
};

class Notifications : public PlayerTest, public ::testing::WithParamInterface<NotifyCase> {};

TEST_P(Notifications, OncePerCommandThatAskedWhateverEndedIt) {
    open(tone(Format::Wav, 600));
    const NotifyCase& c = GetParam();
    c.run(*player_, *clock_);
    EXPECT_EQ(notifications_, 0) << "notified was raised inside a call";
    EXPECT_EQ(pump(), c.beforeEnd);
    runToEnd();
    clock_->advance(1000ms);
    EXPECT_EQ(pump(), c.total);
}

using P = playback::MediaPlayer;
using C = playback::ManualClockOutput;

const NotifyCase kNotifyCases[] = {
    {"PlayNotifiesAtTheEnd", [](P& p, C&) { p.play(); }, 0, 1},
    {"NotifyFalseBeforePlay",
     [](P& p, C&) {
         p.setNotify(false);
         p.play();
     },
     0, 0},
    {"NotifyFalseAppliesToOneCommandOnly",
     [](P& p, C& c) {
         p.setNotify(false);
         p.play();
         c.advance(100ms);
         p.play();
     },
     0, 1},
    {"StopAbortsThePlay",
     [](P& p, C& c) {
         p.play();
         c.advance(100ms);
         p.stop();
     },
     1, 1},
    {"StopWithNotifyAlsoNotifiesItself",
     [](P& p, C& c) {
         p.play();
         c.advance(100ms);
         p.setNotify(true);
         p.stop();
     },
     2, 2},
    {"StopPauseSeekAskNothingByDefault",
     [](P& p, C&) {
         p.stop();
         p.setPosition(100);
         p.pause();
     },
     0, 0},
    {"NotifyTrueSetAfterPlayGoesToTheNextCommand",
     [](P& p, C& c) {
         p.play();
         p.setNotify(true);
         c.advance(100ms);
         p.pause();  // aborts the play, and asks for its own
     },
     2, 2},
    {"PlaySupersedesPlay",
     [](P& p, C& c) {
         p.play();
         c.advance(100ms);
         p.play();
     },
     1, 2},
    {"SeekAbortsThePlay",
     [](P& p, C& c) {
         p.play();
         c.advance(100ms);
         p.setPosition(300);
     },
     1, 1},
    {"RefusedSeekChangesNothing",
     [](P& p, C& c) {
         p.play();
         c.advance(100ms);
         p.setNotify(true);
         p.setPosition(100000);
     },
     0, 1},
    {"PauseThenResumeNotifiesTwice",
     [](P& p, C& c) {
         p.play();
         c.advance(100ms);
         p.pause();
         p.pause();  // resumes, and asks as a play does
     },
     1, 2},
    {"ReopenClosesAndTakesTheFlag",
     [](P& p, C&) {
         p.play();
         p.setNotify(true);
         p.open();  // the play is aborted; the close carries the flag; the open asks nothing
         p.play();
     },
     2, 3},
};

INSTANTIATE_TEST_SUITE_P(Table, Notifications, ::testing::ValuesIn(kNotifyCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(PlayerTest, OpenWithNotifyOnAFreshDeviceNotifiesOnceAndAFailedOneNever) {
    const std::string file = tone(Format::Wav, 300);
    player_->setFileName(path("missing.wav"));
    player_->setNotify(true);
    EXPECT_THROW(player_->open(), playback::DeviceError);
    EXPECT_EQ(pump(), 0);
    player_->setFileName(file);
    player_->setNotify(true);
    player_->open();
    EXPECT_EQ(notifications_, 0);
    EXPECT_EQ(pump(), 1);
}

// --- Transport -----------------------------------------------------------------------------

TEST_F(PlayerTest, PauseHoldsThePositionAndResumeGoesOn) {
    open(tone(Format::Wav, 1000));
    player_->play();
    clock_->advance(300ms);
    player_->pause();
    EXPECT_EQ(player_->mode(), PlayerMode::Paused);
    EXPECT_FALSE(clock_->running());
    EXPECT_EQ(clock_->advance(200ms), 0);
    EXPECT_EQ(player_->position(), 300);

    player_->resume();
    EXPECT_EQ(player_->mode(), PlayerMode::Playing);
    clock_->advance(200ms);
    EXPECT_EQ(player_->position(), 500);

    player_->pause();
    player_->pause();  // paused: resumes
    EXPECT_EQ(player_->mode(), PlayerMode::Playing);
    player_->stop();
    player_->pause();  // stopped: nothing
    EXPECT_EQ(player_->mode(), PlayerMode::Stopped);
    player_->resume();  // not paused: plays
    EXPECT_EQ(player_->mode(), PlayerMode::Playing);
    EXPECT_EQ(player_->position(), 500);

    // No sample was lost or repeated across the pauses: what came out is the file's start.
    const fixtures::Decoded file = fixtures::decodeFile(player_->fileName());
    clock_->advance(100ms);
    const auto& out = clock_->samples();
    ASSERT_EQ(out.size(), std::size_t(48000 * 600 / 1000 * 2));
    EXPECT_TRUE(std::equal(out.begin(), out.end(), file.samples.begin()));
}

TEST_F(PlayerTest, SeekInsideLandsExactlyAndLeavesTheDeviceStopped) {
    open(tone(Format::Wav, 2000));
    const fixtures::Decoded file = fixtures::decodeFile(player_->fileName());
    player_->play();
    clock_->advance(200ms);
    for (std::int64_t target : {1500, 0, 700}) {
        SCOPED_TRACE(target);
        player_->setPosition(target);
        EXPECT_EQ(player_->mode(), PlayerMode::Stopped);
        EXPECT_EQ(player_->position(), target);
        EXPECT_EQ(clock_->advance(100ms), 0);
        player_->play();
        clock_->clearSamples();
        clock_->advance(100ms);
        EXPECT_EQ(player_->position(), target + 100);
        const auto& out = clock_->samples();
        ASSERT_EQ(out.size(), std::size_t(4800 * 2));
        EXPECT_TRUE(std::equal(out.begin(), out.end(), file.samples.begin() + target * 96));
    }
}

TEST_F(PlayerTest, SeekOutsideTheTrackIsRefusedSilently) {
    open(tone(Format::Wav, 1000));
    player_->play();
    clock_->advance(400ms);
    for (std::int64_t target : {-2000, -1, 1001, 3000}) {
        SCOPED_TRACE(target);
        EXPECT_NO_THROW(player_->setPosition(target));
        EXPECT_EQ(player_->position(), 400);
        EXPECT_EQ(player_->mode(), PlayerMode::Playing);
    }
    player_->play();  // goes on from where playback was
    clock_->advance(100ms);
    EXPECT_EQ(player_->position(), 500);
}

TEST_F(PlayerTest, PlayAtTheEndRewindsAndStopKeepsThePosition) {
    open(tone(Format::Wav, 500));
    player_->setPosition(500);  // the end itself is inside the track
    EXPECT_EQ(player_->position(), player_->length());
    player_->play();
    EXPECT_EQ(player_->position(), 0);
    clock_->advance(200ms);
    player_->stop();
    EXPECT_EQ(player_->mode(), PlayerMode::Stopped);
    EXPECT_EQ(player_->position(), 200);
    player_->play();
    runToEnd();
    EXPECT_EQ(player_->position(), 500);
    player_->play();  // after a natural end too
    EXPECT_EQ(player_->position(), 0);
    EXPECT_EQ(player_->mode(), PlayerMode::Playing);
}

TEST_F(PlayerTest, ReopenWhilePlayingStartsTheNewFileStopped) {
    open(tone(Format::Wav, 1000));
    player_->play();
    clock_->advance(300ms);
    open(tone(Format::Mp3, 2000, 44100, 2));
    EXPECT_EQ(player_->mode(), PlayerMode::Stopped);
    EXPECT_EQ(player_->position(), 0);
    EXPECT_NEAR(double(player_->length()), 2000.0, 1.0);
    EXPECT_EQ(pump(), 1);  // the old play, aborted
    player_->play();
    runToEnd();
    EXPECT_EQ(player_->position(), player_->length());
    EXPECT_EQ(pump(), 2);
}

TEST_F(PlayerTest, WithoutAFileModeAndPositionAreZeroAndCommandsRaise) {
    EXPECT_EQ(player_->mode(), PlayerMode::NotReady);
    EXPECT_EQ(player_->position(), 0);
    const std::pair<const char*, std::function<void()>> commands[] = {
        {"Play", [&] { player_->play(); }},
        {"Stop", [&] { player_->stop(); }},
        {"Pause", [&] { player_->pause(); }},
        {"Resume", [&] { player_->resume(); }},
        {"Position", [&] { player_->setPosition(0); }},
        {"Length", [&] { (void)player_->length(); }},
    };
    for (const auto& [name, command] : commands) {
        SCOPED_TRACE(name);
        try {
            command();
            ADD_FAILURE() << "no error";
        } catch (const playback::DeviceError& error) {
            EXPECT_STREQ(error.what(), "No MCI device open");
        }
    }
    EXPECT_EQ(pump(), 0);
}

// --- Bad input -----------------------------------------------------------------------------

struct BadFile {
    const char* name;
    std::function<std::string(PlayerTest&, const std::string& dir)> make;
    const char* text;  // the expected error text; null: any non-empty text
};

class BadFiles : public PlayerTest, public ::testing::WithParamInterface<BadFile> {
public:
    std::string dirPath() const { return dir_.path().toLocal8Bit().toStdString(); }
};

TEST_P(BadFiles, OpenRaisesAReadableErrorAndLeavesNoFileOpen) {
    open(tone(Format::Wav, 300));
    player_->play();
    const std::string file = GetParam().make(*this, dirPath());
    player_->setFileName(file);
    try {
        player_->open();
        FAIL() << "opened";
    } catch (const playback::DeviceError& error) {
        if (GetParam().text) {
            EXPECT_STREQ(error.what(), GetParam().text);
        } else {
            EXPECT_STRNE(error.what(), "");
        }
    }
    // The file open before was closed by the attempt.
    EXPECT_EQ(player_->mode(), PlayerMode::NotReady);
    EXPECT_EQ(player_->position(), 0);
    EXPECT_THROW((void)player_->length(), playback::DeviceError);
}

std::string write(const std::string& dir, const char* name, const std::string& bytes) {
    const std::string file = dir + "/" + name;
    fixtures::writeBytes(file, bytes);
    return file;
}

const BadFile kBadFiles[] = {
    {"Missing", [](PlayerTest&, const std::string& d) { return d + "/nothing.mp3"; },
     "No such file or directory"},
    {"Empty", [](PlayerTest&, const std::string& d) { return write(d, "empty.mp3", ""); },
     "Invalid argument"},
    {"TextNamedMp3",
     [](PlayerTest&, const std::string& d) {
         return write(d, "text.mp3", "These are words, not music.\r\n");
     },
     "Invalid argument"},
    {"LyricsNamedMp3",  // probed as a subtitle file, a format the player does not open
     [](PlayerTest&, const std::string& d) {
         return write(d, "lyrics.mp3", "[ti:song]\r\n[00:01.00]words\r\n");
     },
     "Invalid argument"},
    {"HeaderOnlyWav",
     [](PlayerTest&, const std::string& d) {
         fixtures::writeHeaderOnlyWav(d + "/header.wav");
         return d + "/header.wav";
     },
     "Invalid data found when processing input"},
    {"NotAudio",
     [](PlayerTest&, const std::string& d) {
         std::string png("\x89PNG\r\n\x1a\n", 8);
         png += std::string(4000, '\x07');
         return write(d, "picture.wma", png);
     },
     nullptr},
    {"Directory",
     [](PlayerTest&, const std::string& d) {
         std::filesystem::create_directory(d + "/folder.mp3");
         return d + "/folder.mp3";
     },
     "Is a directory"},
    {"Pipe",  // would block the open, or never end
     [](PlayerTest&, const std::string& d) {
         const std::string fifo = d + "/pipe.mp3";
         if (::mkfifo(fifo.c_str(), 0600) != 0) throw std::runtime_error("mkfifo");
         return fifo;
     },
     "Invalid argument"},
    {"MutedDataOnly",
     [](PlayerTest&, const std::string& d) {
         return write(d, "zeros.mp3", std::string(100000, '\0'));
     },
     nullptr},
};

INSTANTIATE_TEST_SUITE_P(Table, BadFiles, ::testing::ValuesIn(kBadFiles),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(PlayerTest, UnreadableFileRaises) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads any file";
    const std::string file = tone(Format::Mp3, 300, 44100, 2);
    std::filesystem::permissions(file, std::filesystem::perms::none);
    player_->setFileName(file);
    try {
        player_->open();
        FAIL() << "opened";
    } catch (const playback::DeviceError& error) {
        EXPECT_STREQ(error.what(), "Permission denied");
    }
}

// A file cut short plays what it holds and ends like any other.
class TruncatedFiles : public PlayerTest, public ::testing::WithParamInterface<Format> {};

TEST_P(TruncatedFiles, PlayWhatTheyHoldAndEndNormally) {
    const std::string file = tone(GetParam(), 3000, 44100, 2);
    fixtures::truncateFile(file, std::filesystem::file_size(file) * 4 / 10);
    open(file);
    const std::int64_t length = player_->length();
    EXPECT_GT(length, 600);
    EXPECT_LT(length, 1800);
    player_->play();
    runToEnd();
    EXPECT_EQ(player_->mode(), PlayerMode::Stopped);
    EXPECT_EQ(player_->position(), length);
    EXPECT_EQ(pump(), 1);
}

INSTANTIATE_TEST_SUITE_P(Table, TruncatedFiles,
                         ::testing::Values(Format::Mp3, Format::Mp3Vbr, Format::Wma, Format::Wav),
                         [](const auto& param) {
                             return std::string(fixtures::formatName(param.param));
                         });

TEST_F(PlayerTest, FileDeletedOrCutWhilePlayingStillEnds) {
    for (bool cut : {false, true}) {
        SCOPED_TRACE(cut ? "cut" : "deleted");
        const std::string file = tone(Format::Mp3, 3000, 44100, 2);
        open(file);
        player_->play();
        clock_->advance(200ms);
        if (cut) {
            fixtures::truncateFile(file, 0);
        } else {
            std::filesystem::remove(file);
        }
        runToEnd();
        EXPECT_EQ(player_->mode(), PlayerMode::Stopped);
        EXPECT_EQ(player_->position(), player_->length());
        EXPECT_EQ(pump(), cut ? 2 : 1);
        ::unlink(file.c_str());
    }
}

// --- Wave-out volume -----------------------------------------------------------------------

TEST_F(PlayerTest, GainIsPerChannelAndLastsAcrossFiles) {
    const std::string file = tone(Format::Wav, 600);
    struct Case {
        std::uint32_t packed;
        double left;  // expected RMS ratio against full level
        double right;
    };
    const Case cases[] = {
        {0x0000FFFFu, 1.0, 0.0},     {0xFFFF0000u, 0.0, 1.0}, {0x80008000u, 0.5, 0.5},
        {0xFF00FF00u, 0.996, 0.996}, {0x00000000u, 0.0, 0.0},
    };
    open(file);
    player_->play();
    clock_->advance(200ms);
    const double full = fixtures::rms(clock_->samples(), 2, 0);
    ASSERT_GT(full, 0.3);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.packed);
        playback::setWaveOutVolume(c.packed);
        EXPECT_EQ(playback::waveOutVolume(), c.packed);
        open(file);  // the level outlives the file
        player_->play();
        clock_->clearSamples();
        clock_->advance(200ms);
        const auto& out = clock_->samples();
        EXPECT_NEAR(fixtures::rms(out, 2, 0) / full, c.left, 0.002);
        EXPECT_NEAR(fixtures::rms(out, 2, 1) / full, c.right, 0.002);
        if (c.right == 0.0) {
            for (std::size_t i = 1; i < out.size(); i += 2) ASSERT_EQ(out[i], 0) << i;
        }
    }
}

TEST_F(PlayerTest, DestroyingWhilePlayingJoinsAndDropsPendingNotifications) {
    open(tone(Format::Mp3Vbr, 3000, 44100, 2));
    player_->play();
    clock_->advance(100ms);
    player_->stop();  // a notification is now queued for the aborted play
    player_->play();
    player_.reset();
    EXPECT_EQ(pump(), 0);
}

}  // namespace
}  // namespace playback_test
