// The lyrics check box: shows the lyrics window beside this one (loading the playing track's
// lyrics) and closes it again.

#include <QCheckBox>

#include "lyrics/lyrics_window.h"
#include "main_window/main_window.h"
#include "playback/media_player.h"

namespace main_window {

void TForm1::connectLyrics() {
    bind(chk1, &TForm1::chk1Click);
}

void TForm1::chk1Click() {
    if (lyricsWindow_ == nullptr) return;
    if (chk1->isChecked()) {
        // Returns when the fade in has ended; the device's mode is read after it.
        lyricsWindow_->show();
        if (MediaPlayer1->mode() == playback::PlayerMode::Playing) {
            lyricsWindow_->loadLyrics(MediaPlayer1->fileName());
        }
    }
    if (!chk1->isChecked()) lyricsWindow_->close();
}

}  // namespace main_window
