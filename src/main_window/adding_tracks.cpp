// Adding tracks: the open-file dialog, a whole folder, and files dropped on the window.

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QMimeData>
#include <QScopeGuard>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <array>

#include "main_window/main_window.h"
#include "platform/dir_listing.h"
#include "platform/error_box.h"
#include "platform/file_dialogs.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "playback/media_player.h"

namespace main_window {
namespace {

namespace paths = platform::paths;

// Dropped files are taken by their exact extension, letter case included.
bool playableExtension(std::string_view path) {
    constexpr std::array<std::string_view, 3> kAccepted{".mp3", ".wma", ".wav"};
    const std::string_view ext = paths::extension(path);
    for (std::string_view accepted : kAccepted) {
        if (ext == accepted) return true;
    }
    return false;
}

void showUnsupported() {
    // The application's own box (no owner window), on top of everything.
    platform::messageBox(nullptr, QStringLiteral(u"不支持播放此类文件！"), QStringLiteral(u"错误"),
                         platform::MB_ICONERROR | platform::MB_TOPMOST);
}

}  // namespace

void TForm1::connectAddingTracks() {
    bind(N13, &TForm1::N13Click);
    bind(N14, &TForm1::N14Click);
}

void TForm1::N13Click() {
    const auto chosen = platform::fileDialogs().runFileDialog(this, OpenDialog1);
    OpenDialog1Close();
    if (!chosen) return;
    const int listed = playlist->findPath(*chosen);
    if (listed >= 0) {
        platform::messageBox(this, QStringLiteral(u"已存在于播放列表中！"), QStringLiteral(u"提示"),
                             platform::MB_OK | platform::MB_ICONINFORMATION);
        lv1->setFocus();
        setItemIndex(listed);
        return;
    }
    const auto split = paths::split(*chosen);
    addRow(split.folder, split.name);
    btn1->setEnabled(true);
}

void TForm1::OpenDialog1Close() {
    platform::trimWorkingSet();
}

void TForm1::N14Click() {
    const auto folder = platform::fileDialogs().chooseFolder(this, QStringLiteral(u"请选择目录"));
    if (!folder) return;
    platform::setCurrentDirectory(*folder);
    // The scans keep the folder they started with: a second folder command run from the
    // events a scan processes changes the current directory, not this scan's rows.
    const std::string scanned = paths::withTrailingSeparator(platform::currentDirectory());
    for (const char* mask : {"*.mp3", "*.wma", "*.wav"}) scanFolder(scanned, mask);
}

void TForm1::AddFolderFiles(const std::string& mask) {
    scanFolder(paths::withTrailingSeparator(platform::currentDirectory()), mask);
}

void TForm1::scanFolder(const std::string& folder, const std::string& mask) {
    // Events are processed for every match, but the list repaints at most every 50 ms: a
    // repaint per added row would cost more than the whole scan.
    const bool updates = lv1->updatesEnabled();
    const auto restore = qScopeGuard([this, updates] { lv1->setUpdatesEnabled(updates); });
    lv1->setUpdatesEnabled(false);
    QElapsedTimer sincePaint;
    sincePaint.start();

    platform::DirListing listing(folder, mask);
    while (listing.next()) {
        const bool repaint = sincePaint.elapsed() >= 50;
        if (repaint) lv1->setUpdatesEnabled(updates);
        QCoreApplication::processEvents();
        if (repaint) {
            lv1->setUpdatesEnabled(false);
            sincePaint.restart();
        }
        if (listing.isDirectory()) continue;
        const std::string_view name = listing.name();
        if (playlist->containsPath(folder + std::string(name))) continue;
        addRow(folder, name);
        btn1->setEnabled(true);
    }
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
    std::vector<std::string> dropped;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            dropped.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
    }
    event->acceptProposedAction();
    platform::runGuarded([&] { WMDropFiles(dropped); });
}

void TForm1::playDropped() {
    MediaPlayer1->open();
    MediaPlayer1->play();
    reloadLyrics();
    btn2->setEnabled(true);
    btn3->setEnabled(true);
    enableTimer(Timer2);
}

// Each accepted file is added (no duplicate test) and played at once; the first file of an
// unsupported kind ends the drop.
void TForm1::WMDropFiles(const std::vector<std::string>& dropped) {
    for (const std::string& path : dropped) {
        if (!playableExtension(path)) {
            showUnsupported();
            return;
        }
        const auto split = paths::split(path);
        const int row = addRow(split.folder, split.name);
        try {
            MediaPlayer1->setFileName(playlist->path(row));
            playDropped();
        } catch (const playback::DeviceError&) {
            showUnsupported();
        }
    }
}

}  // namespace main_window
