#include "playback/media_player.h"

#include <QMetaObject>

#include "playback/engine.h"
#include "playback/sdl_output.h"

namespace playback {
namespace {

const char* const kNotOpen = "No MCI device open";

}  // namespace

MediaPlayer::MediaPlayer(std::unique_ptr<AudioOutput> output, QObject* parent) : QObject(parent) {
    if (!output) output = std::make_unique<SdlOutput>();
    // Runs on the output's thread: only posts. A queued call to a destroyed player is dropped
    // by Qt, and the engine stops the output before the player goes.
    engine_ = std::make_unique<Engine>(std::move(output), [this](std::uint64_t playId) {
        QMetaObject::invokeMethod(
            this, [this, playId] { trackEnded(playId); }, Qt::QueuedConnection);
    });
}

MediaPlayer::~MediaPlayer() = default;

AudioOutput& MediaPlayer::output() {
    return engine_->output();
}

bool MediaPlayer::takeNotify(bool byDefault) {
    const bool value = notifySet_ ? notify_ : byDefault;
    notifySet_ = false;
    return value;
}

void MediaPlayer::requireOpen() const {
    if (!engine_->isOpen()) throw DeviceError(kNotOpen);
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
    if (engine_->isOpen()) {
        // The close is a command of its own and takes the Notify flag with it.
        endPendingPlay();
        engine_->close();
        if (notify) postNotify();
        notify = false;
    }
    engine_->open(fileName_);  // a failure raises and notifies nothing
    if (notify) postNotify();
}

void MediaPlayer::startPlay(bool notify) {
    endPendingPlay();
    const std::uint64_t id = engine_->play();
    if (notify) pendingPlay_ = id;
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
    engine_->halt(PlayerMode::Stopped);
    if (notify) postNotify();
}

void MediaPlayer::pause() {
    const bool wasSet = notifySet_;
    const bool value = notify_;
    const bool notify = takeNotify(false);
    requireOpen();
    switch (engine_->mode()) {
        case PlayerMode::Playing:
            endPendingPlay();
            engine_->halt(PlayerMode::Paused);
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
    return engine_->positionMs();
}

void MediaPlayer::setPosition(std::int64_t ms) {
    const bool notify = takeNotify(false);
    requireOpen();
    // A target outside the track is refused without a word; nothing changes.
    if (ms < 0 || ms > engine_->lengthMs()) return;
    endPendingPlay();
    engine_->seek(ms);
    if (notify) postNotify();
}

std::int64_t MediaPlayer::length() const {
    requireOpen();
    return engine_->lengthMs();
}

PlayerMode MediaPlayer::mode() const {
    return engine_->mode();
}

void MediaPlayer::trackEnded(std::uint64_t playId) {
    engine_->settle();
    // Only the play still waiting for its end is notified; an older one was superseded and
    // has had its notification already.
    if (pendingPlay_ == 0 || pendingPlay_ != playId) return;
    pendingPlay_ = 0;
    Q_EMIT notified();
}

}  // namespace playback
