// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/media_player.h"

#include <QMetaObject>

#include <algorithm>
#include <atomic>
#include <vector>

#include "playback/device_loader.h"

namespace playback {
namespace {

const char* const kNotOpen = "No MCI device open";

// Read by every output's thread for each buffer; written by the UI thread.
std::atomic<std::uint32_t> waveOutLevel{kUntouchedLevel};

// UI thread: every player, so that a new level reaches the outputs that mix it in.
std::vector<MediaPlayer*>& livePlayers() {
    static std::vector<MediaPlayer*> players;
    return players;
}

}  // namespace

void setWaveOutVolume(std::uint32_t packed) {
    waveOutLevel.store(packed, std::memory_order_relaxed);
    for (MediaPlayer* player : livePlayers()) player->levelChanged();
}

std::uint32_t waveOutVolume() {
    return waveOutLevel.load(std::memory_order_relaxed);
}

MediaPlayer::MediaPlayer(std::unique_ptr<AudioOutput> output, QObject* parent)
    : QObject(parent), output_(std::move(output)) {
    livePlayers().push_back(this);
}

MediaPlayer::~MediaPlayer() {
    std::erase(livePlayers(), this);
}

void MediaPlayer::levelChanged() {
    if (device_) device_->levelChanged();
}

Device& MediaPlayer::device() {
    if (!device_) {
        // The device reports on the output's thread: only posts. A queued call to a destroyed
        // player is dropped by Qt, and the device stops its output before it goes.
        DeviceEvents events;
        events.onDataEnded = [this](std::uint64_t playId) {
            QMetaObject::invokeMethod(
                this, [this, playId] { dataEnded(playId); }, Qt::QueuedConnection);
        };
        events.onEnded = [this](std::uint64_t playId) {
            QMetaObject::invokeMethod(
                this, [this, playId] { trackEnded(playId); }, Qt::QueuedConnection);
        };
        device_ = loadDeviceFactory()(std::move(output_), std::move(events), &waveOutVolume);
        device_->output().setMixerListener([this] {
            QMetaObject::invokeMethod(this, &MediaPlayer::followMixer, Qt::QueuedConnection);
        });
    }
    return *device_;
}

AudioOutput& MediaPlayer::output() {
    return device().output();
}

bool MediaPlayer::takeNotify(bool byDefault) {
    const bool value = notifySet_ ? notify_ : byDefault;
    notifySet_ = false;
    return value;
}

void MediaPlayer::requireOpen() const {
    if (!device_ || !device_->isOpen()) throw DeviceError(kNotOpen);
}

void MediaPlayer::postNotify() {
    QMetaObject::invokeMethod(this, &MediaPlayer::notified, Qt::QueuedConnection);
}

void MediaPlayer::endPendingPlay() {
    if (pendingPlay_ == 0) return;
    pendingPlay_ = 0;
    postNotify();
}

void MediaPlayer::open() {
    bool notify = takeNotify(false);
    // A device module that cannot be loaded fails as a file that cannot be opened does.
    Device& engine = device();
    if (engine.isOpen()) {
        // Closing the open file is a command of its own and takes the Notify flag with it.
        endPendingPlay();
        if (notify) postNotify();
        notify = false;
    }
    // Closes the open file first, unless FileName is the queued track, which it takes up; a
    // failure raises and notifies nothing.
    engine.open(fileName_);
    openedPath_ = fileName_;
    if (notify) postNotify();
}

void MediaPlayer::startPlay(bool notify) {
    endPendingPlay();
    if (device_->output().lost() && !reconnect()) {
        // No sound server answers: the file is closed, as a failed open leaves it, and the play
        // ends at once. Ending it at its length instead made repeat one restart it for ever.
        if (notify) postNotify();
        return;
    }
    const std::uint64_t id = device_->play();
    if (notify) pendingPlay_ = id;
}

// The output lost its server: opening the file again where it stands connects anew. False,
// with nothing open, when no server answers yet.
bool MediaPlayer::reconnect() {
    const std::int64_t at = device_->positionMs();
    try {
        device_->open(openedPath_);
        if (at > 0 && at < device_->lengthMs()) device_->seek(at);
        return true;
    } catch (const DeviceError&) {
        device_->close();
        return false;
    }
}

void MediaPlayer::play() {
    const bool notify = takeNotify(true);
    requireOpen();
    startPlay(notify);
}

void MediaPlayer::stop() {
    const bool notify = takeNotify(false);
    requireOpen();
    endPendingPlay();
    device_->halt(PlayerMode::Stopped);
    if (notify) postNotify();
}

void MediaPlayer::pause() {
    const bool wasSet = notifySet_;
    const bool value = notify_;
    const bool notify = takeNotify(false);
    requireOpen();
    switch (device_->mode()) {
        case PlayerMode::Playing:
            endPendingPlay();
            device_->halt(PlayerMode::Paused);
            if (notify) postNotify();
            break;
        case PlayerMode::Paused:
            startPlay(wasSet ? value : true);
            break;
        default:
            break;
    }
}

void MediaPlayer::resume() {
    const bool notify = takeNotify(true);
    requireOpen();
    // Continues a pause; from any other mode the device refuses to resume and plays instead,
    // which comes to the same thing here.
    startPlay(notify);
}

std::int64_t MediaPlayer::position() const {
    return device_ ? device_->positionMs() : 0;
}

void MediaPlayer::setPosition(std::int64_t ms) {
    const bool notify = takeNotify(false);
    requireOpen();
    // A target outside the track is refused without a word; nothing changes.
    if (ms < 0 || ms > device_->lengthMs()) return;
    endPendingPlay();
    device_->seek(ms);
    if (notify) postNotify();
}

std::int64_t MediaPlayer::length() const {
    requireOpen();
    return device_->lengthMs();
}

PlayerMode MediaPlayer::mode() const {
    return device_ ? device_->mode() : PlayerMode::NotReady;
}

void MediaPlayer::queueNext(const std::string& path) {
    if (device_ && device_->isOpen()) device_->queueNext(path);
}

void MediaPlayer::dataEnded(std::uint64_t playId) {
    // Only for the play whose end will be notified, while that end is still to be heard.
    if (pendingPlay_ == 0 || pendingPlay_ != playId || !device_->endComing()) return;
    Q_EMIT endComing();
}

void MediaPlayer::followMixer() {
    // What holds now, read when this runs: a level the window wrote since the mixer's change
    // was posted is what the stream has, and what the window shows already.
    const std::optional<AudioOutput::MixerLevel> mixer = device_->output().mixerLevel();
    if (!mixer) return;
    waveOutLevel.store(mixer->packed, std::memory_order_relaxed);
    Q_EMIT mixerChanged(mixer->packed, mixer->muted);
}

void MediaPlayer::trackEnded(std::uint64_t playId) {
    // Only the play still waiting for its end is notified; an older one was superseded and
    // has had its notification already.
    if (pendingPlay_ != 0 && pendingPlay_ == playId) {
        pendingPlay_ = 0;
        Q_EMIT notified();
    }
    // After what the handlers did (the advance opens and plays the queued track).
    if (device_) device_->settle();
}

}  // namespace playback
