// The four play modes and the advance at the end of a track.

#include <QAction>
#include <QSlider>
#include <QTableView>

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
    // A notification can outlive its file (an open that failed closed the previous one); with
    // nothing open there is no end of a track to act on.
    if (player->mode() == playback::PlayerMode::NotReady) return;
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
        // Uniform over every row, the generator seeded from the clock at each use.
        std::mt19937_64 generator(static_cast<std::uint64_t>(
            std::chrono::high_resolution_clock::now().time_since_epoch().count()));
        std::uniform_int_distribution<int> draw(0, playlist->count() - 1);
        selectRow(draw(generator));
        progressBar->setValue(0);
        play();
    }
}

}  // namespace main_window
