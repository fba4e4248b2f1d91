// Transport commands, the progress bar and the time texts.

#include <QCheckBox>
#include <QListWidget>
#include <QSignalBlocker>
#include <QSlider>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include "lyrics/lyrics_window.h"
#include "main_window/main_window.h"
#include "main_window/status_bar.h"
#include "platform/error_box.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "playback/media_player.h"

namespace main_window {
namespace {

using playback::PlayerMode;

QString fromLocal(std::string_view bytes) {
    return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// The bar's range follows the track. A smaller range pulls the bar's position down, which is
// no move of the user's: the change is kept from the seek logic, or a shorter track chosen
// late in a longer one would be sought to its end.
void setTrackMaximum(QSlider* bar, std::int64_t seconds) {
    const QSignalBlocker quiet(bar);
    bar->setMaximum(static_cast<int>(seconds));
}

}  // namespace

void TForm1::enableTimer(QTimer* timer) {
    if (!timer->isActive()) timer->start();
}

void TForm1::connectTransport() {
    bind(btn1, &TForm1::btn1Click);
    bind(btn2, &TForm1::btn2Click);
    bind(btn3, &TForm1::btn3Click);
    bind(btn4, &TForm1::btn4Click);
    bind(btn5, &TForm1::btn5Click);
    bind(btn6, &TForm1::btn6Click);
    bind(btn7, &TForm1::btn7Click);
    bind(N24, &TForm1::N24Click);
    bind(N25, &TForm1::N25Click);
    bind(N35, &TForm1::N35Click);
    bind(N36, &TForm1::N36Click);
    bind(N1, &TForm1::N1Click);
    connect(TrackBar1, &QSlider::valueChanged, this,
            platform::guarded(this, &TForm1::TrackBar1Change));
    connect(Timer1, &QTimer::timeout, this, platform::guarded(this, &TForm1::Timer1Timer));
    connect(Timer2, &QTimer::timeout, this, platform::guarded(this, &TForm1::Timer2Timer));
    connect(lv1, &QAbstractItemView::doubleClicked, this,
            platform::guarded(this, &TForm1::lv1DblClick));
}

void TForm1::reloadLyrics() {
    if (!chk1->isChecked() || lyricsWindow_ == nullptr) return;
    lyricsWindow_->lyricsList->clear();
    lyricsWindow_->loadLyrics(MediaPlayer1->fileName());
}

void TForm1::btn1Click() {
    const int selected = itemIndex();
    if (selected == -1) return;
    MediaPlayer1->setFileName(playlist->path(selected));
    if (MediaPlayer1->mode() == PlayerMode::Paused) {
        MediaPlayer1->resume();
        btn1->setEnabled(false);
        btn2->setEnabled(true);
        return;
    }
    try {
        MediaPlayer1->open();
        MediaPlayer1->play();
        MediaPlayer1->setNotify(true);
        btn1->setEnabled(false);
        btn2->setEnabled(true);
        btn3->setEnabled(true);
        enableTimer(Timer1);
        enableTimer(Timer2);
        TrackBar1->setEnabled(true);
        stat1->setPanelText(0, QStringLiteral(u"当前正在播放：") +
                                   fromLocal(platform::paths::fileName(MediaPlayer1->fileName())));
        reloadLyrics();
    } catch (const playback::DeviceError&) {
        platform::messageBox(this, QStringLiteral(u"无法播放，请检查路径或者文件名是否正确！"),
                             QStringLiteral(u"错误"), platform::MB_OK | platform::MB_ICONERROR);
    }
}

void TForm1::btn2Click() {
    if (MediaPlayer1->mode() != PlayerMode::Playing) return;
    MediaPlayer1->pause();
    btn1->setEnabled(true);
    btn2->setEnabled(false);
}

void TForm1::btn3Click() {
    MediaPlayer1->stop();
    TrackBar1->setValue(0);
    btn1->setEnabled(true);
    btn2->setEnabled(false);
    btn3->setEnabled(false);
    TrackBar1->setEnabled(false);
    stat1->setPanelText(0, QStringLiteral(u"停止播放"));
    platform::trimWorkingSet();
}

// Previous (-1) and next (+1) step from the current track's row while something plays, and
// only move the selection otherwise. There is no wrap-around.
void TForm1::stepTrack(int delta) {
    if (itemIndex() == -1) return;
    const PlayerMode mode = MediaPlayer1->mode();
    const bool active = mode == PlayerMode::Playing || mode == PlayerMode::Open;
    if (active) {
        const int current = playlist->findPath(MediaPlayer1->fileName());
        if (current >= 0) setItemIndex(current);
    }
    const int target = itemIndex() + delta;
    if (target < 0 || target >= playlist->count()) return;
    lv1->setFocus();
    setItemIndex(target);
    if (active) btn1Click();
}

void TForm1::btn4Click() {
    stepTrack(-1);
}

void TForm1::btn5Click() {
    stepTrack(+1);
}

// The skips count from the bar's whole second, not from the exact device position; the device
// refuses a target outside the track without an error and Play goes on from where it was.
void TForm1::btn7Click() {
    if (MediaPlayer1->mode() != PlayerMode::Playing) return;
    MediaPlayer1->setPosition(std::int64_t{TrackBar1->value()} * 1000 + 2000);
    MediaPlayer1->play();
}

void TForm1::btn6Click() {
    if (MediaPlayer1->mode() != PlayerMode::Playing) return;
    MediaPlayer1->setPosition(std::int64_t{TrackBar1->value()} * 1000 - 2000);
    MediaPlayer1->play();
}

void TForm1::N24Click() {
    btn7Click();
}

void TForm1::N25Click() {
    btn6Click();
}

void TForm1::N35Click() {
    btn4Click();
}

void TForm1::N36Click() {
    btn5Click();
}

void TForm1::TrackBar1Change() {
    if (MediaPlayer1->position() / 1000 != TrackBar1->value()) SeekByUser = true;
    const PlayerMode mode = MediaPlayer1->mode();
    if (SeekByUser && (mode == PlayerMode::Playing || mode == PlayerMode::Open)) {
        Timer1->stop();
        MediaPlayer1->setPosition(std::int64_t{TrackBar1->value()} * 1000);
        MediaPlayer1->play();
        Timer1->start();
    }
    SeekByUser = false;
}

void TForm1::Timer1Timer() {
    if (MediaPlayer1->mode() != PlayerMode::Playing) return;
    setTrackMaximum(TrackBar1, MediaPlayer1->length() / 1000);
    TrackBar1->setValue(static_cast<int>(MediaPlayer1->position() / 1000));
}

void TForm1::Timer2Timer() {
    if (MediaPlayer1->mode() != PlayerMode::Playing) return;
    setTrackMaximum(TrackBar1, MediaPlayer1->length() / 1000);
    stat1->setPanelText(2, timeText(TrackBar1->maximum()) + QStringLiteral("    "));
    TrackBar1->setValue(static_cast<int>(MediaPlayer1->position() / 1000));
    stat1->setPanelText(1, timeText(TrackBar1->value()));
}

void TForm1::lv1DblClick() {
    btn1Click();
}

void TForm1::N1Click() {
    if (itemIndex() != -1) btn1Click();
}

}  // namespace main_window
