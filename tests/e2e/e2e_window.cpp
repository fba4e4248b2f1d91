// SPDX-License-Identifier: GPL-3.0-or-later
// The real main window, as the program builds it (default output: the system's sound server
// through SDL2), with one file dropped on it as the desktop drops files:
//   vorela_e2e_window PATH
// Runs the event loop until the dropped track has played to its end and the window has
// stopped, then a little longer so that the sound server has played the last buffers, and
// exits 0. Exits 1 when a message box came up, when the window did not stop as expected, or
// when nothing happened for 30 s.
#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <memory>
#include <string>

#include "main_window/main_window.h"
#include "main_window/status_bar.h"
#include "platform/message_box.h"
#include "playback/media_player.h"

namespace {

constexpr int kTimeoutMs = 30'000;
// After the end of the track: the sound server still holds the last buffers SDL gave it.
constexpr int kTailMs = 400;

std::string local(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

// Any box is a failure here: it is printed and answered at once instead of waiting for a user.
class PrintedBoxes final : public platform::MessageBoxService {
public:
    int show(QWidget*, const QString& text, const QString& caption, unsigned style) override {
        std::fprintf(stderr, "message box \"%s\" \"%s\" 0x%x\n", local(caption).c_str(),
                     local(text).c_str(), style);
        ++count;
        return platform::IDOK;
    }
    int count = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vorela_e2e_window PATH\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    auto boxes = std::make_unique<PrintedBoxes>();
    PrintedBoxes* shown = boxes.get();
    platform::setMessageBoxService(std::move(boxes));

    main_window::MainWindow window;
    window.show();
    const QString stopped = QStringLiteral(u"停止播放");
    int result = 1;
    // Connected after the window's own handler, so it sees what the handler left.
    QObject::connect(window.player.get(), &playback::MediaPlayer::notified, &window, [&] {
        if (window.statusBar->panelText(0) != stopped) return;
        const bool atEnd = window.player->position() == window.player->length();
        std::fprintf(stderr, "stopped at %lld of %lld ms\n",
                     static_cast<long long>(window.player->position()),
                     static_cast<long long>(window.player->length()));
        result = atEnd && shown->count == 0 ? 0 : 1;
        // exit(), not quit(): quit() asks the windows to close first, and a close of this
        // window goes to the tray instead.
        QTimer::singleShot(kTailMs, &app, [] { QCoreApplication::exit(0); });
    });
    QTimer::singleShot(kTimeoutMs, &app, [] {
        std::fprintf(stderr, "timed out\n");
        QCoreApplication::exit(1);
    });

    // The drop, as the desktop delivers it: a local file URL.
    const QString path = QFile::decodeName(QByteArray(argv[1]));
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    QDropEvent drop(QPointF(60, 60), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    window.dropEvent(&drop);

    const auto mode = window.player->mode();
    std::fprintf(stderr, "dropped: %d row(s), playing %s, mode %d, driver %s\n",
                 window.playlist->count(), window.player->fileName().c_str(),
                 static_cast<int>(mode),
                 window.player->output().driver().c_str());
    if (window.playlist->count() != 1 || mode != playback::PlayerMode::Playing) return 1;
    if (QApplication::exec() != 0) return 1;
    return result;
}
