// SPDX-License-Identifier: GPL-3.0-or-later
// The wave-out level on a real PulseAudio server: it is the stream's own per-channel volume,
// changed while the stream plays (so that what the server holds already changes too), and what
// a mixer shows; what a mixer sets on the stream holds and is adopted. Skipped where PulseAudio
// is not installed.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "audio_fixtures.h"
#include "playback/media_player.h"
#include "sound_server.h"

namespace {

int pactl(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"pactl"};
    argv.insert(argv.end(), args.begin(), args.end());
    return fixtures::waitExit(fixtures::spawn(argv));
}

// The one stream on the server as `pactl list sink-inputs` shows it; index -1 when there is
// none.
struct Stream {
    long index = -1, sink = -1, left = -1, right = -1;
    bool muted = false;
};

Stream theStream(const std::string& scratch) {
    fixtures::waitExit(fixtures::spawn({"pactl", "list", "sink-inputs"}, -1, scratch));
    std::ifstream in(scratch);
    std::string line;
    Stream stream;
    while (std::getline(in, line)) {
        const auto field = [&](const char* name) {
            const auto at = line.find(name);
            return at == std::string::npos ? -1 : std::atol(line.c_str() + at + std::strlen(name));
        };
        if (line.rfind("Sink Input #", 0) == 0) stream.index = field("#");
        if (line.find("\tSink:") != std::string::npos) stream.sink = field("Sink:");
        if (line.find("\tMute:") != std::string::npos) stream.muted = line.find("yes") != line.npos;
        if (line.find("\tVolume:") != std::string::npos) {
            stream.left = field("front-left:");
            stream.right = field("front-right:");
        }
    }
    return stream;
}

TEST(StreamVolume, TheLevelIsTheStreamsVolumeAndChangesWhilePlaying) {
    if (!fixtures::pulseAudioInstalled()) GTEST_SKIP() << "PulseAudio is not installed";
    fixtures::PrivateSoundServer server;
    const std::string wav = server.dir() + "/long.wav";
    const std::string scratch = server.dir() + "/inputs.txt";
    fixtures::writeTone(wav, fixtures::Format::Wav, 440.0, 20000);
    auto volumeIs = [&](long left, long right) {
        return QTest::qWaitFor(
            [&] {
                const Stream s = theStream(scratch);
                return s.left == left && s.right == right;
            },
            5000);
    };

    playback::setWaveOutVolume(playback::kUntouchedLevel);
    playback::MediaPlayer player;
    player.setFileName(wav);
    player.open();
    ASSERT_EQ(player.output().driver(), "pulseaudio");
    player.play();
    // Until a level is written the server's own stands: full, for a stream it does not know.
    ASSERT_TRUE(volumeIs(65536, 65536));

    // The same loudness as a gain on the samples: 0xFF00 of 0xFFFF is 99.6 % of the amplitude,
    // which the server's cubic scale puts at 65451.
    playback::setWaveOutVolume(0x0000FF00u);  // the left channel only
    EXPECT_TRUE(volumeIs(65451, 0));
    playback::setWaveOutVolume(0);  // mute
    EXPECT_TRUE(volumeIs(0, 0));
    playback::setWaveOutVolume(0x80008000u);
    EXPECT_TRUE(volumeIs(52016, 52016));
    playback::setWaveOutVolume(playback::kUntouchedLevel);
}

// A mixer moves our stream to another device, sets it to 25 % and mutes it: every command
// keeps the one stream with all of it, the level is adopted, and a stream that had to be made
// anew (the server went away and came back) starts with it.
TEST(StreamVolume, AMixersLevelMuteAndDeviceHoldAcrossEveryCommand) {
    if (!fixtures::pulseAudioInstalled()) GTEST_SKIP() << "PulseAudio is not installed";
    fixtures::PrivateSoundServer server;
    ASSERT_EQ(pactl({"load-module", "module-null-sink", "sink_name=other", "norewinds=1"}), 0);
    const std::string a = server.dir() + "/a.wav";
    const std::string b = server.dir() + "/b.mp3";
    const std::string scratch = server.dir() + "/inputs.txt";
    fixtures::writeTone(a, fixtures::Format::Wav, 440.0, 20000);
    fixtures::writeTone(b, fixtures::Format::Mp3, 440.0, 20000, 22050, 1);

    playback::setWaveOutVolume(0x80008000u);
    playback::MediaPlayer player;
    QSignalSpy adopted(&player, &playback::MediaPlayer::mixerChanged);
    player.setFileName(a);
    player.open();
    player.play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return theStream(scratch).left == 52016; }, 5000));
    const Stream first = theStream(scratch);
    const std::string index = std::to_string(first.index);
    ASSERT_EQ(pactl({"move-sink-input", index, "other"}), 0);
    ASSERT_EQ(pactl({"set-sink-input-volume", index, "25%"}), 0);
    // 25 % of the server's cubic scale is 0.25³ of the amplitude.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !adopted.isEmpty() && adopted.last().at(0).toUInt() == 0x04000400u; }, 5000));
    EXPECT_EQ(playback::waveOutVolume(), 0x04000400u);
    const Stream moved = theStream(scratch);
    ASSERT_NE(moved.sink, first.sink);

    auto holds = [&](const char* after, bool muted) {
        SCOPED_TRACE(after);
        QTest::qWait(300);
        const Stream now = theStream(scratch);
        EXPECT_EQ(now.index, first.index);
        EXPECT_EQ(now.sink, moved.sink);
        EXPECT_EQ(now.left, 16384);
        EXPECT_EQ(now.right, 16384);
        EXPECT_EQ(now.muted, muted);
    };
    player.setPosition(5000);
    player.play();
    holds("a seek", false);
    player.pause();
    player.pause();
    holds("a pause and resume", false);
    player.stop();
    player.play();
    holds("a stop and play", false);
    player.setFileName(b);
    player.open();
    player.play();
    holds("another file in another format", false);

    ASSERT_EQ(pactl({"set-sink-input-mute", index, "1"}), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return adopted.last().at(1).toBool(); }, 5000));
    player.stop();
    player.play();
    holds("a mute, a stop and play", true);

    // A level the program writes ends the mixer's mute, and is not taken for a mixer's.
    const qsizetype reports = adopted.size();
    playback::setWaveOutVolume(0x80008000u);
    EXPECT_TRUE(QTest::qWaitFor([&] { return theStream(scratch).left == 52016; }, 5000));
    QTest::qWait(300);
    EXPECT_FALSE(theStream(scratch).muted);
    EXPECT_EQ(adopted.size(), reports);

    ASSERT_EQ(pactl({"set-sink-input-volume", index, "25%"}), 0);
    ASSERT_EQ(pactl({"set-sink-input-mute", index, "1"}), 0);
    // The last report still says muted from before: wait for the ones these two changes make.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return adopted.size() > reports && adopted.last().at(0).toUInt() == 0x04000400u &&
                   adopted.last().at(1).toBool();
        },
        5000));
    // The server goes and comes back with both devices: the play that follows connects anew.
    server.kill();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return player.mode() != playback::PlayerMode::Playing; }, 5000));
    server.start();
    ASSERT_EQ(pactl({"load-module", "module-null-sink", "sink_name=other", "norewinds=1"}), 0);
    player.play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return theStream(scratch).index >= 0; }, 5000));
    const Stream anew = theStream(scratch);
    EXPECT_EQ(anew.sink, moved.sink);
    EXPECT_EQ(anew.left, 16384);
    EXPECT_TRUE(anew.muted);
    playback::setWaveOutVolume(playback::kUntouchedLevel);
}

}  // namespace
