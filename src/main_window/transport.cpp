// SPDX-License-Identifier: GPL-3.0-or-later
// Transport commands, the progress bar and the time texts.

#include <QCheckBox>
#include <QListWidget>
#include <QSignalBlocker>
#include <QSlider>
#include <QTableView>
#include <QToolButton>

#include "lyrics/lyrics_window.h"
#include "main_window/main_window.h"
#include "main_window/status_bar.h"
#include "platform/code_page.h"
#include "platform/error_box.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "playback/media_player.h"

namespace main_window {
namespace {

using playback::PlayerMode;

// The bar's range follows the track. A smaller range pulls the bar's position down, which is
// no move of the user's: the change is kept from the seek logic, or a shorter track chosen
// late in a longer one would be sought to its end.
void setTrackMaximum(QSlider* bar, std::int64_t seconds) {
    const QSignalBlocker quiet(bar);
    bar->setMaximum(static_cast<int>(seconds));
}

}  // namespace

int MainWindow::msToNextSecond() const {
    // One millisecond past the crossing, so that the tick finds the new second.
    return static_cast<int>(1000 - player->position() % 1000) + 1;
}

void MainWindow::armDisplayTimers() {
    // The shown second may have changed at once (a seek, a skip, a restart): the display looks
    // as soon as the command's handler returns, as the design's polling would within a period,
    // and the handlers then arm for the next crossing.
    progressTimer->armIn(0);
    clockTimer->armIn(0);
}

void MainWindow::disarmDisplayTimers() {
    progressTimer->stop();
    clockTimer->stop();
}

void MainWindow::connectTransport() {
    bind(playButton, &MainWindow::play);
    bind(pauseButton, &MainWindow::pause);
    bind(stopButton, &MainWindow::stop);
    bind(previousButton, &MainWindow::previousTrack);
    bind(nextButton, &MainWindow::nextTrack);
    bind(backButton, &MainWindow::skipBack);
    bind(forwardButton, &MainWindow::skipForward);
    bind(forwardAction, &MainWindow::skipForward);
    bind(backAction, &MainWindow::skipBack);
    bind(previousAction, &MainWindow::previousTrack);
    bind(nextAction, &MainWindow::nextTrack);
    bind(playRowAction, &MainWindow::play);
    connect(progressBar, &QSlider::valueChanged, this,
            platform::guarded(this, &MainWindow::onProgressBarChanged));
    connect(progressTimer, &QTimer::timeout, this,
            platform::guarded(this, &MainWindow::updateProgressBar));
    connect(clockTimer, &QTimer::timeout, this,
            platform::guarded(this, &MainWindow::updateTimeTexts));
    connect(playlistView, &QAbstractItemView::doubleClicked, this,
            platform::guarded(this, &MainWindow::play));
}

void MainWindow::reloadLyrics() {
    if (!lyricsCheckBox->isChecked() || lyricsWindow_ == nullptr) return;
    lyricsWindow_->lyricsList->clear();
    lyricsWindow_->loadLyrics(player->fileName());
}

void MainWindow::play() {
    const int selected = selectedRow();
    if (selected == -1) return;
    player->setFileName(playlist->path(selected));
    if (player->mode() == PlayerMode::Paused) {
        player->resume();
        playButton->setEnabled(false);
        pauseButton->setEnabled(true);
        armDisplayTimers();
        return;
    }
    try {
        player->open();
        player->play();
        player->setNotify(true);
        playButton->setEnabled(false);
        pauseButton->setEnabled(true);
        stopButton->setEnabled(true);
        progressTimer->enable();
        clockTimer->enable();
        progressBar->setEnabled(true);
        statusBar->setPanelText(
            0, QStringLiteral(u"当前正在播放：") +
                   platform::toDisplay(platform::paths::fileName(player->fileName())));
        reloadLyrics();
    } catch (const playback::DeviceError&) {
        // The failed open closed the track that was playing or paused: show the stop, or the
        // window would claim a track plays while play stays disabled.
        if (stopButton->isEnabled() && player->mode() == PlayerMode::NotReady) showStopped();
        platform::messageBox(this, QStringLiteral(u"无法播放，请检查路径或者文件名是否正确！"),
                             QStringLiteral(u"错误"), platform::MB_OK | platform::MB_ICONERROR);
    }
}

void MainWindow::pause() {
    if (player->mode() != PlayerMode::Playing) return;
    player->pause();
    playButton->setEnabled(true);
    pauseButton->setEnabled(false);
    disarmDisplayTimers();
}

void MainWindow::stop() {
    player->stop();
    showStopped();
    platform::trimWorkingSet();
}

void MainWindow::showStopped() {
    progressBar->setValue(0);
    playButton->setEnabled(true);
    pauseButton->setEnabled(false);
    stopButton->setEnabled(false);
    progressBar->setEnabled(false);
    statusBar->setPanelText(0, QStringLiteral(u"停止播放"));
    disarmDisplayTimers();
}

// Previous (-1) and next (+1) step from the current track's row while something plays, and
// only move the selection otherwise. There is no wrap-around.
void MainWindow::stepTrack(int delta) {
    if (selectedRow() == -1) return;
    const PlayerMode mode = player->mode();
    const bool active = mode == PlayerMode::Playing || mode == PlayerMode::Open;
    if (active) {
        const int current = playlist->findPath(player->fileName());
        if (current >= 0) selectRow(current);
    }
    const int target = selectedRow() + delta;
    if (target < 0 || target >= playlist->count()) return;
    playlistView->setFocus();
    selectRow(target);
    if (active) play();
}

void MainWindow::previousTrack() {
    stepTrack(-1);
}

void MainWindow::nextTrack() {
    stepTrack(+1);
}

// The skips count from the bar's whole second, not from the exact device position; the device
// refuses a target outside the track without an error and Play goes on from where it was.
void MainWindow::skipForward() {
    if (player->mode() != PlayerMode::Playing) return;
    skipTo(std::int64_t{progressBar->value()} * 1000 + 2000);
}

void MainWindow::skipBack() {
    if (player->mode() != PlayerMode::Playing) return;
    skipTo(std::int64_t{progressBar->value()} * 1000 - 2000);
}

void MainWindow::skipTo(std::int64_t ms) {
    player->setPosition(ms);
    player->play();
    armDisplayTimers();
    if (ms >= 0 && ms <= player->length()) Q_EMIT positionJumped();
}

void MainWindow::onProgressBarChanged() {
    if (player->position() / 1000 != progressBar->value()) seekByUser = true;
    const PlayerMode mode = player->mode();
    if (seekByUser && (mode == PlayerMode::Playing || mode == PlayerMode::Open)) {
        progressTimer->disable();
        player->setPosition(std::int64_t{progressBar->value()} * 1000);
        player->play();
        progressTimer->enable();
        armDisplayTimers();
        Q_EMIT positionJumped();
    }
    seekByUser = false;
}

// The two display handlers re-arm their own timer while a track plays; finding nothing
// playing, they leave it unarmed.
void MainWindow::updateProgressBar() {
    if (player->mode() != PlayerMode::Playing) return;
    setTrackMaximum(progressBar, player->length() / 1000);
    progressBar->setValue(static_cast<int>(player->position() / 1000));
    progressTimer->armIn(msToNextSecond());
}

void MainWindow::updateTimeTexts() {
    if (player->mode() != PlayerMode::Playing) return;
    setTrackMaximum(progressBar, player->length() / 1000);
    statusBar->setPanelText(2, timeText(progressBar->maximum()) + QStringLiteral("    "));
    progressBar->setValue(static_cast<int>(player->position() / 1000));
    statusBar->setPanelText(1, timeText(progressBar->value()));
    clockTimer->armIn(msToNextSecond());
}

}  // namespace main_window
