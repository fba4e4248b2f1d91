// The wave-out level on a real PulseAudio server: it is the stream's own per-channel volume,
// changed while the stream plays (so that what the server holds already changes too), and what
// a mixer shows. Skipped where PulseAudio is not installed.
#include <gtest/gtest.h>

#include <QTest>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "audio_fixtures.h"
#include "playback/media_player.h"
#include "sound_server.h"

namespace {

// The volumes of the one playing stream as `pactl list sink-inputs` shows them, left and
// right, or -1 when there is none.
std::pair<long, long> streamVolume(const std::string& scratch) {
    fixtures::waitExit(fixtures::spawn({"pactl", "list", "sink-inputs"}, -1, scratch));
    std::ifstream in(scratch);
    std::string line;
    while (std::getline(in, line)) {
        const auto left = line.find("front-left:");
        const auto right = line.find("front-right:");
        if (line.find("Volume:") == std::string::npos || left == std::string::npos ||
            right == std::string::npos)
            continue;
        return {std::atol(line.c_str() + left + 11), std::atol(line.c_str() + right + 12)};
    }
    return {-1, -1};
}

TEST(StreamVolume, TheLevelIsTheStreamsVolumeAndChangesWhilePlaying) {
    if (!fixtures::pulseAudioInstalled()) GTEST_SKIP() << "PulseAudio is not installed";
    fixtures::PrivateSoundServer server;
    const std::string wav = server.dir() + "/long.wav";
    const std::string scratch = server.dir() + "/inputs.txt";
    fixtures::writeTone(wav, fixtures::Format::Wav, 440.0, 20000);

    playback::setWaveOutVolume(playback::kUntouchedLevel);
    playback::MediaPlayer player;
    player.setFileName(wav);
    player.open();
    ASSERT_EQ(player.output().driver(), "pulseaudio");
    player.play();
    // Until a level is written the server's own stands: full, for a stream it does not know.
    ASSERT_TRUE(QTest::qWaitFor([&] { return streamVolume(scratch).first == 65536; }, 5000));

    // The same loudness as a gain on the samples: 0xFF00 of 0xFFFF is 99.6 % of the amplitude,
    // which the server's cubic scale puts at 65451.
    playback::setWaveOutVolume(0x0000FF00u);  // the left channel only
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return streamVolume(scratch) == std::pair<long, long>{65451, 0}; }, 5000))
        << streamVolume(scratch).first << " " << streamVolume(scratch).second;
    playback::setWaveOutVolume(0);  // mute
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return streamVolume(scratch) == std::pair<long, long>{0, 0}; }, 5000));

    // A new stream (after a stop) starts at the level.
    playback::setWaveOutVolume(0x80008000u);
    player.stop();
    player.play();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return streamVolume(scratch) == std::pair<long, long>{52016, 52016}; }, 5000))
        << streamVolume(scratch).first << " " << streamVolume(scratch).second;
    playback::setWaveOutVolume(playback::kUntouchedLevel);
}

}  // namespace
