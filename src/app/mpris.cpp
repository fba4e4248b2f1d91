// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/mpris.h"
#include "app/track_metadata.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QEvent>
#include <QItemSelectionModel>
#include <QShortcut>
#include <QSlider>
#include <QTableView>
#include <QToolButton>

#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "main_window/main_window.h"
#include "main_window/status_bar.h"
#include "platform/program_name.h"
#include "platform/error_box.h"
#include "playback/media_player.h"

#ifndef VORELA_APP_ID
#error "VORELA_APP_ID names the desktop entry"
#endif

namespace app {
namespace {

using playback::PlayerMode;

constexpr char kBusName[] = "org.mpris.MediaPlayer2.vorela";
constexpr double kFullLevel = 0xFF00;  // the fullest level the window writes per channel

// A stable object path per full path (FNV-1a of its bytes).
QDBusObjectPath trackIdOf(const std::string& path) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char byte : path) {
        hash ^= byte;
        hash *= 1099511628211ull;
    }
    return QDBusObjectPath(QStringLiteral("/org/vorela/track/") + QString::number(hash, 16));
}

// A file: URL that carries the path's exact bytes, whatever their code page.
QString fileUrlOf(const std::string& path) {
    const QByteArray bytes = QByteArray::fromStdString(path).toPercentEncoding("/");
    return QStringLiteral("file://") + QString::fromLatin1(bytes);
}

// The queued run of a command: the caller's reply goes first.
template <class F>
void later(MprisService* service, F command) {
    QMetaObject::invokeMethod(
        service, [command] { platform::runGuarded(command); }, Qt::QueuedConnection);
}

// org.mpris.MediaPlayer2: the application.
class RootAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ none)
    Q_PROPERTY(QStringList SupportedMimeTypes READ none)
public:
    explicit RootAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), s_(service) {}
    bool canQuit() const { return true; }
    bool canRaise() const { return true; }
    bool hasTrackList() const { return false; }
    QString identity() const { return QString::fromUtf8(platform::kProgramName); }
    QString desktopEntry() const { return QStringLiteral(VORELA_APP_ID); }
    // The player opens nothing it is handed: it takes no file names from outside.
    QStringList none() const { return {}; }

public Q_SLOTS:
    void Raise() {
        later(s_, [s = s_] { s->raise(); });
    }
    void Quit() {
        later(s_, [s = s_] { s->quit(); });
    }

private:
    MprisService* s_;
};

// org.mpris.MediaPlayer2.Player: the transport.
class PlayerAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(QString LoopStatus READ loopStatus WRITE setLoopStatus)
    Q_PROPERTY(bool Shuffle READ shuffle WRITE setShuffle)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPause)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ always)
public:
    explicit PlayerAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), s_(service) {
        connect(service, &MprisService::seeked, this, &PlayerAdaptor::Seeked);
    }
    QString playbackStatus() const { return s_->playbackStatus(); }
    QString loopStatus() const { return s_->loopStatus(); }
    void setLoopStatus(const QString& status) {
        platform::runGuarded([&] { s_->setLoopStatus(status); });
    }
    bool shuffle() const { return s_->shuffle(); }
    void setShuffle(bool on) {
        platform::runGuarded([&] { s_->setShuffle(on); });
    }
    // One speed only.
    double rate() const { return 1.0; }
    void setRate(double rate) {
        later(s_, [s = s_, rate] { s->setRate(rate); });
    }
    QVariantMap metadata() const { return s_->metadata(); }
    double volume() const { return s_->volume(); }
    void setVolume(double v) {
        platform::runGuarded([&] { s_->setVolume(v); });
    }
    qlonglong position() const { return s_->positionUs(); }
    bool canSeek() const { return s_->canSeek(); }
    bool canPlay() const { return s_->canPlay(); }
    bool canPause() const { return s_->canPause(); }
    bool canGoNext() const { return s_->canStep(+1); }
    bool canGoPrevious() const { return s_->canStep(-1); }
    // Every command reaches its control; what a control does now the Can* properties tell.
    bool always() const { return true; }

public Q_SLOTS:
    void Next() {
        later(s_, [s = s_] { s->next(); });
    }
    void Previous() {
        later(s_, [s = s_] { s->previous(); });
    }
    void Pause() {
        later(s_, [s = s_] { s->pause(); });
    }
    void PlayPause() {
        later(s_, [s = s_] { s->playPause(); });
    }
    void Stop() {
        later(s_, [s = s_] { s->stop(); });
    }
    void Play() {
        later(s_, [s = s_] { s->play(); });
    }
    void Seek(qlonglong offset) {
        later(s_, [s = s_, offset] { s->seek(offset); });
    }
    void SetPosition(const QDBusObjectPath& track, qlonglong position) {
        later(s_, [s = s_, track, position] { s->setPosition(track, position); });
    }
    // Nothing from outside is opened (SupportedUriSchemes is empty).
    void OpenUri(const QString&) {}

Q_SIGNALS:
    void Seeked(qlonglong position);

private:
    MprisService* s_;
};

}  // namespace

MprisService::MprisService(main_window::MainWindow* window, QObject* parent)
    : QObject(parent), window_(window) {
    new RootAdaptor(this);
    new PlayerAdaptor(this);
    // What the window shows before anything is opened; the device is not loaded for it.
    reported_ = playerProperties();
    watchWindow();
}

MprisService::~MprisService() {
    if (busName_.isEmpty()) return;
    bus_.unregisterService(busName_);
    bus_.unregisterObject(QString::fromLatin1(kObjectPath));
}

bool MprisService::publish(const QDBusConnection& bus) {
    if (!bus.isConnected()) return false;
    bus_ = bus;
    if (!bus_.registerObject(QString::fromLatin1(kObjectPath), this,
                             QDBusConnection::ExportAdaptors)) {
        return false;
    }
    QString name = QString::fromLatin1(kBusName);
    if (!bus_.registerService(name)) {
        name += QStringLiteral(".instance") + QString::number(::getpid());
        if (!bus_.registerService(name)) {
            bus_.unregisterObject(QString::fromLatin1(kObjectPath));
            return false;
        }
    }
    busName_ = name;
    connect(this, &MprisService::propertiesChanged, this,
            [this](const QString& interfaceName, const QVariantMap& changed) {
                QDBusMessage signal =
                    QDBusMessage::createSignal(QString::fromLatin1(kObjectPath),
                                               QStringLiteral("org.freedesktop.DBus.Properties"),
                                               QStringLiteral("PropertiesChanged"));
                signal << interfaceName << changed << QStringList();
                bus_.send(signal);
            });
    return true;
}

void MprisService::watchWindow() {
    main_window::MainWindow* w = window_;
    auto update = [this] { scheduleUpdate(); };
    // Handlers of buttons, menu items and keys: play, pause, stop, track changes, channels.
    for (QAbstractButton* button : w->findChildren<QAbstractButton*>())
        connect(button, &QAbstractButton::clicked, this, update);
    for (QAction* item : w->findChildren<QAction*>())
        connect(item, &QAction::triggered, this, update);
    for (QShortcut* key : w->findChildren<QShortcut*>())
        connect(key, &QShortcut::activated, this, update);
    connect(w->playlistView, &QAbstractItemView::doubleClicked, this, update);
    // Play, previous and next depend on the selected row and the rows around it.
    connect(w->playlistView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            update);
    for (auto rowsChanged : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(w->playlist, rowsChanged, this, update);
    connect(w->playlist, &QAbstractItemModel::modelReset, this, update);
    connect(w->playlist, &QAbstractItemModel::layoutChanged, this, update);
    // The now-playing text changes with every track started and with stop, whoever did it.
    connect(w->statusBar, &main_window::StatusBar::panelTextChanged, this, [this](int panel) {
        if (panel == 0) scheduleUpdate();
    });
    connect(w->volumeBar, &QSlider::valueChanged, this, update);
    connect(w->volumeBar, &QSlider::actionTriggered, this, update);
    connect(w, &main_window::MainWindow::positionJumped, this, [this] { scheduleUpdate(true); });
    // The device's end of a command: a track ended, the list ran out.
    connect(w->player.get(), &playback::MediaPlayer::notified, this, update);
    // A mixer's level or mute, once the window shows it.
    connect(w->player.get(), &playback::MediaPlayer::mixerChanged, this, update);
    // Dropped files play at once.
    w->installEventFilter(this);
}

bool MprisService::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_ && event->type() == QEvent::Drop) scheduleUpdate();
    return QObject::eventFilter(watched, event);
}

void MprisService::scheduleUpdate(bool positionJumped) {
    positionJumped_ = positionJumped_ || positionJumped;
    if (updatePending_) return;
    updatePending_ = true;
    QMetaObject::invokeMethod(this, &MprisService::sendChanges, Qt::QueuedConnection);
}

void MprisService::sendChanges() {
    updatePending_ = false;
    const bool jumped = std::exchange(positionJumped_, false);
    const QVariantMap now = playerProperties();
    const QString metadataKey = QStringLiteral("Metadata");
    const bool sameTrack = now.value(metadataKey) == reported_.value(metadataKey);
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (reported_.value(it.key()) != it.value()) changed.insert(it.key(), it.value());
    }
    reported_ = now;
    if (!changed.isEmpty())
        Q_EMIT propertiesChanged(QString::fromLatin1(kPlayerInterface), changed);
    // A jump within the track that goes on; a new track's position starts anew by itself.
    if (jumped && sameTrack && playbackStatus() != QStringLiteral("Stopped"))
        Q_EMIT seeked(positionUs());
}

QVariantMap MprisService::playerProperties() const {
    return {
        {QStringLiteral("PlaybackStatus"), playbackStatus()},
        {QStringLiteral("LoopStatus"), loopStatus()},
        {QStringLiteral("Shuffle"), shuffle()},
        {QStringLiteral("Metadata"), metadata()},
        {QStringLiteral("Volume"), volume()},
        {QStringLiteral("CanGoNext"), canStep(+1)},
        {QStringLiteral("CanGoPrevious"), canStep(-1)},
        {QStringLiteral("CanPlay"), canPlay()},
        {QStringLiteral("CanPause"), canPause()},
        {QStringLiteral("CanSeek"), canSeek()},
    };
}

bool MprisService::hasOpenFile() const {
    return window_->player->mode() != PlayerMode::NotReady;
}

QString MprisService::playbackStatus() const {
    switch (window_->player->mode()) {
        case PlayerMode::Playing:
            return QStringLiteral("Playing");
        case PlayerMode::Paused:
            return QStringLiteral("Paused");
        default:
            return QStringLiteral("Stopped");
    }
}

QVariantMap MprisService::metadata() const {
    QVariantMap m;
    if (!hasOpenFile()) {
        m.insert(QStringLiteral("mpris:trackid"),
                 QVariant::fromValue(QDBusObjectPath(QString::fromLatin1(kNoTrack))));
        return m;
    }
    const std::string& path = window_->player->fileName();
    m.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(trackIdOf(path)));
    m.insert(QStringLiteral("xesam:url"), fileUrlOf(path));
    m.insert(QStringLiteral("mpris:length"), qint64{window_->player->length()} * 1000);
    const main_window::PlaylistModel& rows = *window_->playlist;
    const int row = rows.findPath(path);
    if (row >= 0) {
        titledPath_ = path;
        title_ = rows.data(rows.index(row, 0), Qt::DisplayRole).toString();
    }
    m.insert(tagMetadata(path, titledPath_ == path ? title_ : QString()));
    return m;
}

double MprisService::volume() const {
    if (window_->muteAction->isChecked()) return 0.0;
    const std::uint32_t level = playback::waveOutVolume();
    const double louder = std::max(level & 0xFFFFu, level >> 16);
    return std::min(1.0, louder / kFullLevel);
}

qint64 MprisService::positionUs() const {
    // A stopped track starts again from 0, and the bar says so; the device keeps the place
    // where it stopped (the length, once the list has run out).
    const PlayerMode mode = window_->player->mode();
    if (mode != PlayerMode::Playing && mode != PlayerMode::Paused) return 0;
    return qint64{window_->player->position()} * 1000;
}

bool MprisService::canSeek() const {
    const PlayerMode mode = window_->player->mode();
    return window_->progressBar->isEnabled() &&
           (mode == PlayerMode::Playing || mode == PlayerMode::Open);
}

bool MprisService::canPlay() const {
    if (window_->player->mode() == PlayerMode::Playing) return true;
    return window_->playButton->isEnabled() && window_->selectedRow() != -1;
}

bool MprisService::canPause() const {
    const PlayerMode mode = window_->player->mode();
    return mode == PlayerMode::Playing || mode == PlayerMode::Paused;
}

bool MprisService::canStep(int delta) const {
    // The buttons step from the playing track's row; paused or stopped they only move the
    // selection, which leaves the track as it is.
    const int selected = window_->selectedRow();
    const PlayerMode mode = window_->player->mode();
    if (selected == -1 || (mode != PlayerMode::Playing && mode != PlayerMode::Open)) return false;
    const int current = window_->playlist->findPath(window_->player->fileName());
    const int target = (current >= 0 ? current : selected) + delta;
    return target >= 0 && target < window_->playlist->count();
}

QString MprisService::loopStatus() const {
    if (window_->repeatOneAction->isChecked()) return QStringLiteral("Track");
    if (window_->repeatListAction->isChecked() || window_->randomAction->isChecked())
        return QStringLiteral("Playlist");
    return QStringLiteral("None");
}

bool MprisService::shuffle() const {
    return window_->randomAction->isChecked();
}

void MprisService::play() {
    window_->playButton->click();
}

void MprisService::pause() {
    window_->pauseButton->click();
}

void MprisService::playPause() {
    if (window_->player->mode() == PlayerMode::Playing)
        window_->pauseButton->click();
    else
        window_->playButton->click();
}

void MprisService::stop() {
    window_->stopButton->click();
}

void MprisService::next() {
    window_->nextButton->click();
}

void MprisService::previous() {
    window_->previousButton->click();
}

namespace {

// Puts the bar's thumb on `value` as a drag would: the bar's change notification runs even
// when the thumb is already there.
void moveAsUser(QSlider* bar, int value) {
    if (!bar->isEnabled()) return;
    if (bar->sliderPosition() != value)
        bar->setSliderPosition(value);
    else
        bar->triggerAction(QAbstractSlider::SliderMove);
}

}  // namespace

void MprisService::seek(qint64 offsetUs) {
    if (!canSeek()) return;
    // Compared as distances, so that no offset (the whole qint64 range) overflows.
    const qint64 position = positionUs();
    const qint64 length = qint64{window_->player->length()} * 1000;
    if (offsetUs > length - position) {
        next();
        return;
    }
    const qint64 target = offsetUs < -position ? 0 : position + offsetUs;
    moveAsUser(window_->progressBar, static_cast<int>(target / 1'000'000));
}

void MprisService::setPosition(const QDBusObjectPath& track, qint64 targetUs) {
    if (!canSeek() || track != trackIdOf(window_->player->fileName())) return;
    if (targetUs < 0 || targetUs > qint64{window_->player->length()} * 1000) return;
    moveAsUser(window_->progressBar, static_cast<int>(targetUs / 1'000'000));
}

void MprisService::setVolume(double level) {
    if (std::isnan(level)) return;
    const double clamped = std::clamp(level, 0.0, 1.0);
    moveAsUser(window_->volumeBar, static_cast<int>(std::lround(clamped * 255)));
}

void MprisService::setRate(double rate) {
    if (rate == 0.0) pause();
}

void MprisService::setLoopStatus(const QString& status) {
    if (status == loopStatus()) return;
    if (status == QStringLiteral("None"))
        window_->inOrderAction->trigger();
    else if (status == QStringLiteral("Track"))
        window_->repeatOneAction->trigger();
    else if (status == QStringLiteral("Playlist"))
        window_->repeatListAction->trigger();
}

void MprisService::setShuffle(bool on) {
    if (on == shuffle()) return;
    (on ? window_->randomAction : window_->inOrderAction)->trigger();
}

void MprisService::raise() {
    window_->restoreAction->trigger();
}

bool MprisService::raiseRunningPlayer(const QDBusConnection& bus) {
    if (!bus.isConnected()) return false;
    const QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(kBusName), QString::fromLatin1(kObjectPath),
        QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("Raise"));
    // Waits for the reply (the player answers at once and raises after it), so that the call
    // has left before this process ends.
    return bus.call(call, QDBus::Block, 2000).type() == QDBusMessage::ReplyMessage;
}

void MprisService::quit() {
    window_->exitAction->trigger();
}

}  // namespace app

#include "mpris.moc"
