// SPDX-License-Identifier: GPL-3.0-or-later
// The four play modes and the advance at the end of a track.

#include <QAction>
#include <QSlider>
#include <QTableView>
#include <QToolButton>

#include <chrono>
#include <random>

#include "main_window/main_window.h"
#include "platform/error_box.h"
#include "playback/media_player.h"

namespace main_window {

void MainWindow::connectPlayModes() {
    bind(inOrderAction, &MainWindow::setInOrderMode);
    bind(repeatOneAction, &MainWindow::setRepeatOneMode);
    bind(repeatListAction, &MainWindow::setRepeatListMode);
    bind(randomAction, &MainWindow::setRandomMode);
    connect(player.get(), &playback::MediaPlayer::notified, this,
            platform::guarded(this, &MainWindow::onTrackFinished));
    connect(player.get(), &playback::MediaPlayer::endComing, this,
            platform::guarded(this, &MainWindow::queueFollowingTrack));
}

int MainWindow::rowAfterCurrentTrack(bool wrap) const {
    int row = playlist->findPath(player->fileName());
    if (row < 0) row = selectedRow();
    if (row == playlist->count() - 1) return wrap ? 0 : -1;
    return row + 1;
}

int MainWindow::drawRandomRow() const {
    std::mt19937_64 generator(static_cast<std::uint64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count()));
    std::uniform_int_distribution<int> draw(0, playlist->count() - 1);
    return draw(generator);
}

// What the end will play is decided as onTrackFinished will decide it; that handler plays the
// same file again (a changed mode, list or selection plays what it then decides, and the
// device drops what it queued). A file that cannot be opened is left to the advance, which
// reports it.
void MainWindow::queueFollowingTrack() {
    queuedRandomRow_ = -1;
    int row = -1;
    if (inOrderAction->isChecked()) row = rowAfterCurrentTrack(false);
    if (repeatListAction->isChecked() && playlist->count() > 0) row = rowAfterCurrentTrack(true);
    if (randomAction->isChecked() && playlist->count() > 0) {
        row = queuedRandomRow_ = drawRandomRow();
        queuedRandomPath_ = playlist->path(row);
    }
    std::string path;
    if (row >= 0 && row < playlist->count()) path = playlist->path(row);
    if (repeatOneAction->isChecked()) path = player->fileName();
    if (path.empty()) return;
    try {
        player->queueNext(path);
    } catch (const playback::DeviceError&) {
        // Nothing is queued; the advance opens the file again and shows its box.
    }
}

// The mode is the one check mark among the four items, set in this order; a new mode takes
// effect at the next end of a track.
void MainWindow::checkPlayMode(const QAction* chosen) {
    for (QAction* item : {inOrderAction, repeatOneAction, repeatListAction, randomAction})
        item->setChecked(item == chosen);
}

void MainWindow::setInOrderMode() {
    checkPlayMode(inOrderAction);
}

void MainWindow::setRepeatOneMode() {
    checkPlayMode(repeatOneAction);
}

void MainWindow::setRepeatListMode() {
    checkPlayMode(repeatListAction);
}

void MainWindow::setRandomMode() {
    checkPlayMode(randomAction);
}

void MainWindow::onTrackFinished() {
    // A notification can outlive its file (an open that failed closed the previous one, or a
    // play found no sound server and closed it); with nothing open there is no end of a track
    // to act on, but the window shows the stop.
    if (player->mode() == playback::PlayerMode::NotReady) {
        if (stopButton->isEnabled()) showStopped();
        return;
    }
    // Only the end of the track advances: a pause, a stop, a seek or a superseded command
    // notifies with the position short of the length.
    const std::int64_t position = player->position();
    if (position != player->length()) return;

    const auto focusListWhenNotNormal = [this] {
        if (isMinimized() || isMaximized()) playlistView->setFocus();
    };
    const auto selectCurrentTrack = [this] {
        const int current = playlist->findPath(player->fileName());
        if (current >= 0) selectRow(current);
    };

    if (inOrderAction->isChecked()) {
        selectCurrentTrack();
        if (selectedRow() == playlist->count() - 1) {
            player->setNotify(false);
            stop();
        } else {
            focusListWhenNotNormal();
            selectRow(selectedRow() + 1);
            progressBar->setValue(0);
            play();
        }
    }
    if (repeatOneAction->isChecked()) {
        player->setPosition(0);
        player->play();
        player->setNotify(true);
        armDisplayTimers();
        Q_EMIT positionJumped();
    }
    if (repeatListAction->isChecked() && playlist->count() > 0) {
        selectCurrentTrack();
        if (selectedRow() == playlist->count() - 1) selectRow(-1);
        focusListWhenNotNormal();
        selectRow(selectedRow() + 1);
        progressBar->setValue(0);
        play();
    }
    if (randomAction->isChecked() && playlist->count() > 0) {
        // Uniform over every row; the row drawn when the end was coming, while it still holds
        // the file queued then.
        const bool queued = queuedRandomRow_ >= 0 && queuedRandomRow_ < playlist->count() &&
                            playlist->path(queuedRandomRow_) == queuedRandomPath_;
        selectRow(queued ? queuedRandomRow_ : drawRandomRow());
        progressBar->setValue(0);
        play();
    }
    queuedRandomRow_ = -1;
}

}  // namespace main_window
