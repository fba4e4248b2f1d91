// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the whole playback device on any bytes named .mp3: the input is written under
// that name, opened, played a little, sought into and played to its end on the manual clock,
// then closed by the next open. Every input must fail with a readable DeviceError or play to
// Position == Length, and no command may take long: opening runs on the UI thread, so an open
// that waits (a playlist demuxer sleeping on a live list) freezes the window. A command over
// its wall-clock limit is a finding, and so is a hang (libFuzzer's -timeout).
#include <QCoreApplication>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "playback/device.h"
#include "playback/manual_clock_output.h"
#include "playback/media_player.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Far above what the open's own bound allows under the sanitizers on a busy machine (a run
// beside a full test suite once took 3.7 s for one step of decoding that takes milliseconds
// alone), far below the minutes a waiting demuxer took.
constexpr auto kMostPerCommand = 10s;
// Playing to the end: at most this much audio, in steps of this much.
constexpr int kMostSteps = 200;
constexpr auto kStep = 250ms;

// Runs `command` and checks that it returned within kMostPerCommand.
template <typename F>
void timed(const char* what, F command) {
    const auto start = Clock::now();
    command();
    if (Clock::now() - start > kMostPerCommand) {
        std::fprintf(stderr, "%s took %lld ms\n", what,
                     static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                Clock::now() - start)
                                                .count()));
        fuzz_support::check(false, "no device command holds the UI thread");
    }
}

struct Device {
    Device() {
        fuzz_support::ensureApplication();
        auto output = std::make_unique<playback::ManualClockOutput>();
        clock = output.get();
        player = std::make_unique<playback::MediaPlayer>(std::move(output));
    }
    const std::string path = fuzz_support::scratchFolder() + "input.mp3";
    playback::ManualClockOutput* clock = nullptr;
    std::unique_ptr<playback::MediaPlayer> player;
};

void playOn(Device& d) {
    for (int i = 0; i < kMostSteps && d.player->mode() == playback::PlayerMode::Playing; ++i)
        timed("playing", [&] { d.clock->advance(kStep); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Device d;
    fuzz_support::putFile(d.path, std::string_view(reinterpret_cast<const char*>(data), size));
    playback::MediaPlayer& player = *d.player;
    d.clock->clearSamples();  // the output keeps every sample it played, input after input
    player.setFileName(d.path);
    try {
        timed("Open", [&] { player.open(); });
    } catch (const playback::DeviceError& error) {
        fuzz_support::check(error.what()[0] != '\0', "a device error has a text");
        fuzz_support::check(player.mode() == playback::PlayerMode::NotReady,
                            "a failed open leaves nothing open");
        return 0;
    }
    const std::int64_t length = player.length();
    fuzz_support::check(length >= 0, "a length of 0 or more");
    timed("Play", [&] { player.play(); });
    timed("playing", [&] { d.clock->advance(kStep); });
    timed("Seek", [&] { player.setPosition(length / 2); });
    timed("Play", [&] { player.play(); });
    playOn(d);
    if (player.mode() != playback::PlayerMode::Playing) {
        fuzz_support::check(player.position() == player.length(), "a track ends at its length");
    }
    timed("Stop", [&] { player.stop(); });
    QCoreApplication::processEvents();
    return 0;
}
