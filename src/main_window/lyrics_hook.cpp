// SPDX-License-Identifier: GPL-3.0-or-later
// The lyrics check box: shows the lyrics window beside this one (loading the playing track's
// lyrics) and closes it again.

#include <QCheckBox>

#include "lyrics/lyrics_window.h"
#include "main_window/main_window.h"
#include "playback/media_player.h"

namespace main_window {

void MainWindow::connectLyrics() {
    bind(lyricsCheckBox, &MainWindow::toggleLyricsWindow);
}

void MainWindow::toggleLyricsWindow() {
    if (lyricsWindow_ == nullptr) return;
    if (lyricsCheckBox->isChecked()) {
        // Returns when the fade in has ended; the device's mode is read after it.
        lyricsWindow_->show();
        if (player->mode() == playback::PlayerMode::Playing) {
            lyricsWindow_->loadLyrics(player->fileName());
        }
    }
    if (!lyricsCheckBox->isChecked()) lyricsWindow_->close();
}

}  // namespace main_window
