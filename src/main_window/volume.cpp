// SPDX-License-Identifier: GPL-3.0-or-later
// Volume, mute and channels: the volume bar and the audio menu write the wave-out level at
// once. The program keeps no level of its own; the state is the bar's position and the
// menu's check marks, captions and enabled states. A level or mute that a mixer sets on the
// output from outside is shown there too, without being written back.

#include <QAction>
#include <QSlider>

#include <algorithm>
#include <cstdint>

#include "main_window/main_window.h"
#include "platform/error_box.h"
#include "playback/media_player.h"

namespace main_window {
namespace {

// Packed levels: low 16 bits left, high 16 bits right. Only the high byte of each half is
// ever written, so "full" is 0xFF00.
constexpr std::uint32_t kSilent = 0;
constexpr std::uint32_t kStereo = 0xFF00FF00u;
constexpr std::uint32_t kLeftOnly = 0x0000FF00u;
constexpr std::uint32_t kRightFull = 0xFF000000u;
constexpr int kVolumeStep = 60;

}  // namespace

void MainWindow::connectVolume() {
    bind(muteAction, &MainWindow::toggleMute);
    bind(louderAction, &MainWindow::raiseVolume);
    bind(softerAction, &MainWindow::lowerVolume);
    bind(leftChannelAction, &MainWindow::selectLeftChannel);
    bind(rightChannelAction, &MainWindow::selectRightChannel);
    bind(stereoAction, &MainWindow::selectStereo);
    connect(player.get(), &playback::MediaPlayer::mixerChanged, this,
            platform::guarded(this, &MainWindow::followMixer));
    connect(volumeBar, &QSlider::valueChanged, this,
            platform::guarded(this, &MainWindow::onVolumeBarChanged));
    // A key press, a click beside the thumb or a drag is a change notification even when the
    // bar is already where it would go (louder keys at 255): the bar's level is written again.
    // When the position does move, valueChanged follows and writes it once.
    connect(volumeBar, &QSlider::actionTriggered, this, [this](int) {
        if (volumeBar->sliderPosition() == volumeBar->value()) {
            platform::runGuarded(&MainWindow::onVolumeBarChanged, this);
        }
    });
}

void MainWindow::onVolumeBarChanged() {
    if (followingMixer_) return;
    const auto p = static_cast<std::uint32_t>(volumeBar->value());
    playback::setWaveOutVolume((p << 24) | (p << 8));
}

// The bar clamps to its range; when it cannot move, nothing changes and nothing is written.
void MainWindow::raiseVolume() {
    volumeBar->setValue(volumeBar->value() + kVolumeStep);
}

void MainWindow::lowerVolume() {
    volumeBar->setValue(volumeBar->value() - kVolumeStep);
}

void MainWindow::showMuted(bool muted) {
    muteAction->setChecked(muted);
    // The un-mute's caption has no access letter, unlike the one the item starts with.
    setCaption(muteAction, muted ? QStringLiteral(u"取消静音") : QStringLiteral(u"静音"));
    for (QAction* item :
         {louderAction, softerAction, leftChannelAction, rightChannelAction, stereoAction})
        item->setEnabled(!muted);
    for (QAction* item : {leftChannelAction, rightChannelAction, stereoAction})
        item->setChecked(!muted && item == stereoAction);
    volumeBar->setEnabled(!muted);
}

void MainWindow::toggleMute() {
    mutedByMixer_ = false;
    if (!muteAction->isChecked()) {
        showMuted(true);
        playback::setWaveOutVolume(kSilent);
        return;
    }
    // Un-mute always comes back in stereo at full level, whatever the bar shows.
    showMuted(false);
    playback::setWaveOutVolume(kStereo);
}

void MainWindow::followMixer(std::uint32_t level, bool muted) {
    if (muted && !muteAction->isChecked()) {
        channelBeforeMixerMute_ = leftChannelAction->isChecked()    ? leftChannelAction
                                  : rightChannelAction->isChecked() ? rightChannelAction
                                                                    : stereoAction;
        mutedByMixer_ = true;
        showMuted(true);
    } else if (!muted && muteAction->isChecked() && (mutedByMixer_ || level != 0)) {
        // The mixer's un-mute brings back the channel item its mute took; a level raised in
        // the mixer while our own mute (level 0) holds ends it in stereo, as our un-mute does.
        showMuted(false);
        if (mutedByMixer_ && channelBeforeMixerMute_ != stereoAction) {
            stereoAction->setChecked(false);
            channelBeforeMixerMute_->setChecked(true);
        }
        mutedByMixer_ = false;
    }
    // Muted, the bar keeps the position it had, as after our own mute.
    if (muteAction->isChecked()) return;
    const std::uint32_t louder = std::max(level & 0xFFFFu, level >> 16);
    followingMixer_ = true;
    volumeBar->setValue(int(std::min<std::uint32_t>(255, (louder + 128) / 256)));
    followingMixer_ = false;
}

void MainWindow::selectLeftChannel() {
    leftChannelAction->setChecked(true);
    rightChannelAction->setChecked(false);
    stereoAction->setChecked(false);
    playback::setWaveOutVolume(kLeftOnly);
}

void MainWindow::selectRightChannel() {
    leftChannelAction->setChecked(false);
    rightChannelAction->setChecked(true);
    stereoAction->setChecked(false);
    // The left half is whatever the device reports after silencing it.
    playback::setWaveOutVolume(kSilent);
    const std::uint32_t readBack = playback::waveOutVolume();
    playback::setWaveOutVolume((readBack & 0xFFFFu) | kRightFull);
}

void MainWindow::selectStereo() {
    leftChannelAction->setChecked(false);
    rightChannelAction->setChecked(false);
    stereoAction->setChecked(true);
    playback::setWaveOutVolume(kStereo);
}

}  // namespace main_window
