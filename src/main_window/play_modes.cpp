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

void TForm1::connectPlayModes() {
    bind(N7, &TForm1::N7Click);
    bind(N8, &TForm1::N8Click);
    bind(N20, &TForm1::N20Click);
    bind(N21, &TForm1::N21Click);
    connect(MediaPlayer1.get(), &playback::MediaPlayer::notified, this,
            platform::guarded(this, &TForm1::MediaPlayer1Notify));
}

// The mode is the one check mark among the four items, set in this order; a new mode takes
// effect at the next end of a track.
void TForm1::checkPlayMode(const QAction* chosen) {
    for (QAction* item : {N7, N8, N20, N21}) item->setChecked(item == chosen);
}

void TForm1::N7Click() {
    checkPlayMode(N7);
}

void TForm1::N8Click() {
    checkPlayMode(N8);
}

void TForm1::N20Click() {
    checkPlayMode(N20);
}

void TForm1::N21Click() {
    checkPlayMode(N21);
}

void TForm1::MediaPlayer1Notify() {
    // A notification can outlive its file (an open that failed closed the previous one); with
    // nothing open there is no end of a track to act on.
    if (MediaPlayer1->mode() == playback::PlayerMode::NotReady) return;
    // Only the end of the track advances: a pause, a stop, a seek or a superseded command
    // notifies with the position short of the length.
    const std::int64_t position = MediaPlayer1->position();
    if (position != MediaPlayer1->length()) return;

    const auto focusListWhenNotNormal = [this] {
        if (isMinimized() || isMaximized()) lv1->setFocus();
    };
    const auto selectCurrentTrack = [this] {
        const int current = playlist->findPath(MediaPlayer1->fileName());
        if (current >= 0) setItemIndex(current);
    };

    if (N7->isChecked()) {
        selectCurrentTrack();
        if (itemIndex() == playlist->count() - 1) {
            MediaPlayer1->setNotify(false);
            btn3Click();
        } else {
            focusListWhenNotNormal();
            setItemIndex(itemIndex() + 1);
            TrackBar1->setValue(0);
            btn1Click();
        }
    }
    if (N8->isChecked()) {
        MediaPlayer1->setPosition(0);
        MediaPlayer1->play();
        MediaPlayer1->setNotify(true);
    }
    if (N20->isChecked() && playlist->count() > 0) {
        selectCurrentTrack();
        if (itemIndex() == playlist->count() - 1) setItemIndex(-1);
        focusListWhenNotNormal();
        setItemIndex(itemIndex() + 1);
        TrackBar1->setValue(0);
        btn1Click();
    }
    if (N21->isChecked() && playlist->count() > 0) {
        // Uniform over every row, the generator seeded from the clock at each use.
        std::mt19937_64 generator(static_cast<std::uint64_t>(
            std::chrono::high_resolution_clock::now().time_since_epoch().count()));
        std::uniform_int_distribution<int> draw(0, playlist->count() - 1);
        setItemIndex(draw(generator));
        TrackBar1->setValue(0);
        btn1Click();
    }
}

}  // namespace main_window
