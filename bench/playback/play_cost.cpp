// Playing cost: CPU used by the whole program while it plays a track in real time on SDL's
// dummy output, with the main window's 10 ms and 100 ms timers polling the device, in ms of
// CPU per second of audio; against `ffmpeg -re -i FILE -f null -` (decoding at real-time
// pace) on the same file in the same run. Goal: under 10 ms per second.
#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#include "audio_fixtures.h"
#include "bench_util.h"
#include "playback/media_player.h"

namespace {

constexpr int kTrackMs = 20000;

}  // namespace

int main(int argc, char** argv) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const std::string file = dir.filePath(QStringLiteral("track.mp3")).toStdString();
    fixtures::writeTone(file, fixtures::Format::Mp3, 440.0, kTrackMs, 44100, 2);

    playback::MediaPlayer player;
    // What the progress timers do each tick, in the same order, with a result that is used.
    long long sink = 0;
    QTimer timer1;
    QTimer timer2;
    QObject::connect(&timer1, &QTimer::timeout, [&] {
        if (player.mode() == playback::PlayerMode::Playing)
            sink += player.length() / 1000 + player.position() / 1000;
    });
    QObject::connect(&timer2, &QTimer::timeout, [&] {
        if (player.mode() == playback::PlayerMode::Playing) {
            const long long max = player.length() / 1000;
            const long long at = player.position() / 1000;
            char text[96];
            std::snprintf(text, sizeof text, "%02lld:%02lld %02lld:%02lld", max / 60, max % 60,
                          at / 60, at % 60);
            sink += text[0];
        }
    });
    QObject::connect(&player, &playback::MediaPlayer::notified, &app, &QCoreApplication::quit);

    // The timers alone, with nothing playing, for five seconds: the part of the cost that is
    // not the device's.
    timer1.start(100);
    timer2.start(10);
    QTimer::singleShot(5000, &app, &QCoreApplication::quit);
    const double idleCpu0 = bench::processCpu();
    QCoreApplication::exec();
    const double idle = (bench::processCpu() - idleCpu0) * 1e3 / 5.0;
    timer1.stop();
    timer2.stop();

    player.setFileName(file);
    player.open();
    const double cpu0 = bench::processCpu();
    const double wall0 = bench::wallNow();
    timer1.start(100);
    timer2.start(10);
    player.play();
    QCoreApplication::exec();
    const double cpu = bench::processCpu() - cpu0;
    const double wall = bench::wallNow() - wall0;
    // Per thread, while the process is still whole (the SDL and decoder threads end with the
    // player).
    const std::string threads = bench::threadCpu();
    const double audioSeconds = double(player.length()) / 1000.0;

    const auto ffmpeg = bench::runChild(
        {"ffmpeg", "-nostdin", "-v", "error", "-re", "-i", file, "-f", "null", "-"});

    const double ours = cpu * 1e3 / audioSeconds;
    const double theirs = ffmpeg.cpu * 1e3 / audioSeconds;
    std::printf("play cost, %.1f s MP3 in real time on the dummy output (%.1f s wall)\n",
                audioSeconds, wall);
    std::printf(
        "device with 10 ms and 100 ms timers: %.2f ms CPU per s of audio (%.2f %% of a "
        "core)\n",
        ours, ours / 10.0);
    std::printf("  the same timers, nothing playing:  %.2f ms CPU per s\n", idle);
    std::printf("  CPU by thread since start (ms): %s\n", threads.c_str());
    std::printf("ffmpeg -re -f null:                  %.2f ms CPU per s of audio\n", theirs);
    std::printf("ratio %.2fx; goal under 10 ms per s: %s\n", ours / theirs,
                ours < 10.0 ? "met" : "NOT met");
    return sink == -1 ? 1 : 0;
}
