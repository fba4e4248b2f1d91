#include "playback/media_player.h"

#include <QMetaObject>

#include "playback/engine.h"
#include "playback/sdl_output.h"

namespace playback {
namespace {

const char* const kNotOpen = "No MCI device open";

}  // namespace

TMediaPlayer::TMediaPlayer(std::unique_ptr<AudioOutput> output, QObject* parent) : QObject(parent) {
    if (!output) output = std::make_unique<SdlOutput>();
    // Runs on the output's thread: only posts. A queued call to a destroyed player is dropped
    // by Qt, and the engine stops the output before the player goes.
    engine_ = std::make_unique<Engine>(std::move(output), [this](std::uint64_t playId) {
        QMetaObject::invokeMethod(
            this, [this, playId] { trackEnded(playId); }, Qt::QueuedConnection);
    });
}

TMediaPlayer::~TMediaPlayer() = default;

AudioOutput& TMediaPlayer::output() {
    return engine_->output();
}

bool TMediaPlayer::takeNotify(bool byDefault) {
    const bool value = notifySet_ ? notify_ : byDefault;
    notifySet_ = false;
    return value;
}

void TMediaPlayer::requireOpen() const {
    if (!engine_->isOpen()) throw EMCIDeviceError(kNotOpen);
}

void TMediaPlayer::postNotify() {
    QMetaObject::invokeMethod(this, &TMediaPlayer::OnNotify, Qt::QueuedConnection);
}

void TMediaPlayer::endPendingPlay() {
    if (pendingPlay_ == 0) return;
    pendingPlay_ = 0;
    postNotify();
}

void TMediaPlayer::Open() {
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

void TMediaPlayer::startPlay(bool notify) {
    endPendingPlay();
    const std::uint64_t id = engine_->play();
    if (notify) pendingPlay_ = id;
}

void TMediaPlayer::Play() {
    const bool notify = takeNotify(true);
    requireOpen();
    startPlay(notify);
}

void TMediaPlayer::Stop() {
    const bool notify = takeNotify(false);
    requireOpen();
    endPendingPlay();
    engine_->halt(TMPModes::mpStopped);
    if (notify) postNotify();
}

void TMediaPlayer::Pause() {
    const bool wasSet = notifySet_;
    const bool value = notify_;
    const bool notify = takeNotify(false);
    requireOpen();
    switch (engine_->mode()) {
        case TMPModes::mpPlaying:
            endPendingPlay();
            engine_->halt(TMPModes::mpPaused);
            if (notify) postNotify();
            break;
        case TMPModes::mpPaused:
            startPlay(wasSet ? value : true);
            break;
        default:
            break;
    }
}

void TMediaPlayer::Resume() {
    const bool notify = takeNotify(true);
    requireOpen();
    // Continues a pause; from any other mode the device refuses to resume and plays instead,
    // which comes to the same thing here.
    startPlay(notify);
}

std::int64_t TMediaPlayer::Position() const {
    return engine_->positionMs();
}

void TMediaPlayer::setPosition(std::int64_t ms) {
    const bool notify = takeNotify(false);
    requireOpen();
    // A target outside the track is refused without a word; nothing changes.
    if (ms < 0 || ms > engine_->lengthMs()) return;
    endPendingPlay();
    engine_->seek(ms);
    if (notify) postNotify();
}

std::int64_t TMediaPlayer::Length() const {
    requireOpen();
    return engine_->lengthMs();
}

TMPModes TMediaPlayer::Mode() const {
    return engine_->mode();
}

void TMediaPlayer::trackEnded(std::uint64_t playId) {
    engine_->settle();
    // Only the play still waiting for its end is notified; an older one was superseded and
    // has had its notification already.
    if (pendingPlay_ == 0 || pendingPlay_ != playId) return;
    pendingPlay_ = 0;
    Q_EMIT OnNotify();
}

}  // namespace playback
