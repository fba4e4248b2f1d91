// SPDX-License-Identifier: GPL-3.0-or-later
// Adding tracks: the open-file dialog, a whole folder, and files dropped on the window.

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <algorithm>
#include <array>

#include "main_window/main_window.h"
#include "platform/dir_listing.h"
#include "platform/error_box.h"
#include "platform/file_dialogs.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "platform/system.h"
#include "playback/media_player.h"

namespace main_window {
namespace {

namespace paths = platform::paths;

// Dropped files are taken by their exact extension, letter case included. Compared on the
// bytes: in a name the locale reads, a dot is never part of a character, and in one it cannot
// read (a UTF-8 name under GBK) a lead byte just before the dot must not hide the extension.
bool playableExtension(std::string_view path) {
    constexpr std::array<std::string_view, 3> kAccepted{".mp3", ".wma", ".wav"};
    return std::any_of(kAccepted.begin(), kAccepted.end(),
                       [&](std::string_view accepted) { return path.ends_with(accepted); });
}

// While held back, a view neither paints nor lays itself out. Every row a folder scan adds asks
// the playlist view for both on its next pass of the event loop, which would cost more per row
// than the scan itself; held back, the view catches up when released (every 50 ms and at the
// end). Its timers (layout, dirty regions, a delayed edit) are held, not lost: a timer held
// back fires again on the next pass. Scans run inside each other's processed events nest.
class HeldBackView final : public QObject {
public:
    explicit HeldBackView(QAbstractItemView* view) : view_(view), updates_(view->updatesEnabled()) {
        view_->installEventFilter(this);
        hold();
    }
    ~HeldBackView() override {
        view_->removeEventFilter(this);
        view_->setUpdatesEnabled(updates_);
    }
    HeldBackView(const HeldBackView&) = delete;
    HeldBackView& operator=(const HeldBackView&) = delete;

    void hold() {
        held_ = true;
        view_->setUpdatesEnabled(false);
    }
    void release() {
        held_ = false;
        view_->setUpdatesEnabled(updates_);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        return held_ && event->type() == QEvent::Timer;
    }

private:
    QAbstractItemView* view_;
    const bool updates_;
    bool held_ = false;
};

void showUnsupported() {
    // The application's own box (no owner window), on top of everything.
    platform::messageBox(nullptr, QStringLiteral(u"不支持播放此类文件！"), QStringLiteral(u"错误"),
                         platform::MB_ICONERROR | platform::MB_TOPMOST);
}

}  // namespace

void MainWindow::connectAddingTracks() {
    bind(openFileAction, &MainWindow::addFileFromDialog);
    bind(openFolderAction, &MainWindow::addFolder);
}

void MainWindow::addFileFromDialog() {
    const auto chosen = platform::fileDialogs().runFileDialog(this, openFileDialog);
    platform::trimWorkingSet();  // the dialog has closed
    if (!chosen) return;
    const int listed = playlist->findPath(*chosen);
    if (listed >= 0) {
        platform::messageBox(this, QStringLiteral(u"已存在于播放列表中！"), QStringLiteral(u"提示"),
                             platform::MB_OK | platform::MB_ICONINFORMATION);
        playlistView->setFocus();
        selectRow(listed);
        return;
    }
    const auto split = paths::split(*chosen);
    addRow(split.folder, split.name);
    playButton->setEnabled(true);
}

void MainWindow::addFolder() {
    const auto folder = platform::fileDialogs().chooseFolder(this, QStringLiteral(u"请选择目录"));
    if (!folder) return;
    platform::setCurrentDirectory(*folder);
    // The scans keep the folder they started with: a second folder command run from the
    // events a scan processes changes the current directory, not this scan's rows.
    const std::string scanned = paths::withTrailingSeparator(platform::currentDirectory());
    for (const char* mask : {"*.mp3", "*.wma", "*.wav"}) scanFolder(scanned, mask);
}

void MainWindow::addFolderFiles(const std::string& mask) {
    scanFolder(paths::withTrailingSeparator(platform::currentDirectory()), mask);
}

void MainWindow::scanFolder(const std::string& folder, const std::string& mask) {
    // Events are processed for every match, but the list catches up with its rows at most
    // every 50 ms.
    HeldBackView held(playlistView);
    QElapsedTimer sincePaint;
    sincePaint.start();

    platform::DirListing listing(folder, mask);
    while (listing.next()) {
        const bool repaint = sincePaint.elapsed() >= 50;
        if (repaint) held.release();
        QCoreApplication::processEvents();
        if (repaint) {
            held.hold();
            sincePaint.restart();
        }
        if (listing.isDirectory()) continue;
        const std::string_view name = listing.name();
        if (playlist->containsPath(folder + std::string(name))) continue;
        addRow(folder, name);
        playButton->setEnabled(true);
    }
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    std::vector<std::string> dropped;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (auto path = platform::localPathOfUrl(url)) dropped.push_back(std::move(*path));
    }
    event->acceptProposedAction();
    platform::runGuarded([&] { addDroppedFiles(dropped); });
}

void MainWindow::playDropped() {
    player->open();
    player->play();
    reloadLyrics();
    pauseButton->setEnabled(true);
    stopButton->setEnabled(true);
    clockTimer->enable();
}

// Each accepted file is added (no duplicate test) and played at once; the first file of an
// unsupported kind ends the drop.
void MainWindow::addDroppedFiles(const std::vector<std::string>& dropped) {
    for (const std::string& path : dropped) {
        if (!playableExtension(path)) {
            showUnsupported();
            return;
        }
        const auto split = paths::split(path);
        const int row = addRow(split.folder, split.name);
        try {
            player->setFileName(playlist->path(row));
            playDropped();
        } catch (const playback::DeviceError&) {
            showUnsupported();
        }
    }
}

}  // namespace main_window
