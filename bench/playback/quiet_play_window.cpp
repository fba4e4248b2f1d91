// SPDX-License-Identifier: GPL-3.0-or-later
// The quiet-play benchmark's child process: the real main window, offscreen unless a display
// is given, driven by one-line commands on stdin, each answered with one line on stdout.
#include <QAction>
#include <QApplication>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "command_lines.h"
#include "main_window/main_window.h"
#include "main_window/status_bar.h"
#include "quiet_play.h"
#include "sink_recording.h"

namespace bench {

int runWindow(int argc, char** argv, const std::string& folder) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    main_window::MainWindow window;
    window.show();
    // When the time text changes: at a second's crossing, how far the position is past it
    // (connected after the window's own handler, so it sees the new text), and how late the
    // tick came against the moment it was armed for (seen by a filter that runs before the
    // handler), which tells a late tick from a position that moved on faster; after a play,
    // resume or seek, how long after the command returned the text shows where playback is.
    struct TickWatch final : QObject {
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Timer) at = std::chrono::steady_clock::now();
            return false;
        }
        std::chrono::steady_clock::time_point at, due, command;
        bool commandWasPlay = false;
    } watch;
    window.clockTimer->installEventFilter(&watch);
    auto msBetween = [](auto from, auto to) {
        return std::chrono::duration<double, std::milli>(to - from).count();
    };
    auto secondsOf = [](const QString& text) {
        return text.section(u':', 0, 0).toInt() * 60 + text.section(u':', 1, 1).toInt();
    };
    std::vector<double> textLate, tickLate, afterPlay, afterMove;
    // When panel 0 changed to each text (after the window's handler wrote it), by the file name
    // it names or "stop".
    std::map<std::string, double> shownUs;
    QObject::connect(window.statusBar, &main_window::StatusBar::panelTextChanged, [&](int index) {
        if (index != 0) return;
        const QString text = window.statusBar->panelText(0);
        const std::string key = text == QStringLiteral(u"停止播放")
                                    ? std::string("stop")
                                    : text.section(QStringLiteral(u"："), 1).toStdString();
        shownUs[key] = nowUs();
    });
    // When the window last took a mixer's level (after its own handler moved the bar).
    double mixerUs = 0;
    QObject::connect(window.player.get(), &playback::MediaPlayer::mixerChanged,
                     [&] { mixerUs = nowUs(); });
    QString shown = window.statusBar->panelText(1);
    QObject::connect(window.clockTimer, &QTimer::timeout, [&] {
        const QString now = window.statusBar->panelText(1);
        const bool armedByTick = watch.due.time_since_epoch().count() != 0;
        if (now != shown && window.player->mode() == playback::PlayerMode::Playing) {
            if (secondsOf(now) == secondsOf(shown) + 1) {
                textLate.push_back(double(window.player->position() % 1000));
                if (armedByTick) tickLate.push_back(msBetween(watch.due, watch.at));
            } else if (watch.command.time_since_epoch().count() != 0) {
                (watch.commandWasPlay ? afterPlay : afterMove)
                    .push_back(msBetween(watch.command, watch.at));
            }
        }
        // Only the first tick after a command shows what the command did.
        watch.command = {};
        shown = now;
        watch.due = std::chrono::steady_clock::now() +
                    std::chrono::milliseconds(window.clockTimer->remainingTime());
    });
    auto summary = [](const std::vector<double>& values) {
        return std::to_string(values.size()) + " " + std::to_string(median(values)) + " " +
               std::to_string(values.empty() ? 0.0
                                             : *std::max_element(values.begin(), values.end()));
    };
    const auto commands = onCommandLines([&](const std::string& verb, const std::string& arg) {
        std::string reply = std::to_string(window.player->position());
        // A command re-arms the timers: the next tick is not one armed by a tick.
        watch.due = {};
        if (verb == "add") window.addRow(folder, arg);
        if (verb == "play") {
            shownUs.clear();
            window.selectRow(window.playlist->findPath(folder + arg));
            window.playButton->click();
        }
        if (verb == "resume") window.playButton->click();
        if (verb == "pause") window.pauseButton->click();
        if (verb == "stop") window.stopButton->click();
        if (verb == "seek") window.progressBar->setValue(std::atoi(arg.c_str()));
        if (verb == "mute") window.muteAction->trigger();
        if (verb == "volume") window.volumeBar->setValue(std::atoi(arg.c_str()));
        if (verb == "left") window.leftChannelAction->trigger();
        if (verb == "right") window.rightChannelAction->trigger();
        if (verb == "stereo") window.stereoAction->trigger();
        if (verb == "forward") window.forwardButton->click();
        if (verb == "back") window.backButton->click();
        if (verb == "next") window.nextButton->click();
        if (verb == "mixer")
            reply = std::to_string(mixerUs) + " " + std::to_string(window.volumeBar->value());
        // The position and the moment it was read, to tie a recording to the clock.
        if (verb == "anchor") reply.append(" ").append(std::to_string(nowUs()));
        // When panel 0 last named `arg`, or read "停止播放", since the last play command.
        if (verb == "shown") reply = std::to_string(shownUs[arg]);
        if (verb == "driver") reply = window.player->output().driver();
        if (verb == "textlate") reply = summary(textLate);
        if (verb == "ticklate") reply = summary(tickLate);
        if (verb == "afterplay") reply = summary(afterPlay);
        if (verb == "aftermove") reply = summary(afterMove);
        // Counted from the command's return, when the design's timers would run again.
        if (verb == "play" || verb == "resume" || verb == "seek") {
            watch.command = std::chrono::steady_clock::now();
            watch.commandWasPlay = verb == "play";
        }
        if (verb == "quit") QCoreApplication::exit(0);
        std::printf("%s\n", reply.c_str());
        std::fflush(stdout);
    });
    return QApplication::exec();
}

}  // namespace bench
