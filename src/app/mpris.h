// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The player as an MPRIS 2 media player on the session bus (org.mpris.MediaPlayer2 and
// org.mpris.MediaPlayer2.Player), so that the desktop's media keys, its sound menu and tools
// such as playerctl reach it.
//
// Every command runs what the matching button or menu item runs, through that control (a click
// on a disabled button does nothing, as for the user), so the window, the tray and the lyrics
// window stay as consistent as they are for a user's click. The state reported is read from the
// window and its playback device when asked; nothing is read or loaded before that.
//
// Threads: UI thread only. QtDBus delivers calls to this object's thread; the bus adaptors queue
// each command, so a message box a handler shows never holds a caller's reply.

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <string>

namespace main_window {
class MainWindow;
}

namespace app {

class MprisService : public QObject {
    Q_OBJECT
public:
    static constexpr char kObjectPath[] = "/org/mpris/MediaPlayer2";
    static constexpr char kPlayerInterface[] = "org.mpris.MediaPlayer2.Player";
    static constexpr char kNoTrack[] = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

    // `window` must outlive this service.
    explicit MprisService(main_window::MainWindow* window, QObject* parent = nullptr);
    ~MprisService() override;

    // Registers the object and the name org.mpris.MediaPlayer2.vorela (with ".instance<pid>"
    // when another process holds it) on `bus`; false when that is not possible, in which case
    // the player simply runs without it.
    bool publish(const QDBusConnection& bus);
    QString busName() const { return busName_; }

    // --- State as the interface reports it --------------------------------------------------
    // "Playing", "Paused" or "Stopped".
    QString playbackStatus() const;
    // mpris:trackid, and with a file open xesam:url, mpris:length in microseconds and
    // xesam:title, xesam:artist and xesam:album from the file's tags (the title is the playlist
    // caption when the tags name none).
    QVariantMap metadata() const;
    // The louder channel of the output level, 0..1; 0 while muted.
    double volume() const;
    // The track's position; 0 while stopped, as the progress bar shows it then.
    qint64 positionUs() const;
    // True while moving the progress bar seeks.
    bool canSeek() const;
    // Whether Play would start or resume a track now (true while one plays).
    bool canPlay() const;
    // Whether a track is open that Pause pauses (true while paused).
    bool canPause() const;
    // Whether Previous (-1) or Next (+1) would change the playing track now.
    bool canStep(int delta) const;
    // The play mode as MPRIS sees it: "None" in order, "Track" repeat one, "Playlist" repeat
    // list and random (which never runs out of tracks); Shuffle is random.
    QString loopStatus() const;
    bool shuffle() const;
    // Every property of the player interface that PropertiesChanged reports, by its name.
    QVariantMap playerProperties() const;

    // --- Commands ---------------------------------------------------------------------------
    void play();       // the play button
    void pause();      // the pause button
    void playPause();  // pause while playing, else play
    void stop();       // the stop button
    void next();       // the next button
    void previous();   // the previous button
    // Moves the progress bar as a user would, to the whole second `offsetUs` away; past the end
    // this is next, before the start the track's beginning.
    void seek(qint64 offsetUs);
    // The same to an absolute position of the track `track`; ignored for another track or a
    // position outside it.
    void setPosition(const QDBusObjectPath& track, qint64 positionUs);
    // Moves the volume bar as a user would; ignored while it is disabled (muted) and for NaN.
    void setVolume(double volume);
    // One speed only: 0 pauses (as MPRIS asks), any other rate changes nothing.
    void setRate(double rate);
    // Chooses the play mode of the 控制 menu that gives `status` ("None", "Track",
    // "Playlist"), through its menu item; nothing when the mode already reads so.
    void setLoopStatus(const QString& status);
    // Random on; off goes to in order from random and leaves any other mode.
    void setShuffle(bool on);
    void raise();  // the tray menu's 恢复程序: shows and activates the window, if minimised too
    void quit();   // File, 退出

    // Asks the player that holds the bus name on `bus` to Raise; false when none answered.
    static bool raiseRunningPlayer(const QDBusConnection& bus);

Q_SIGNALS:
    // Properties of `interfaceName` that now read differently (PropertiesChanged).
    void propertiesChanged(const QString& interfaceName, const QVariantMap& changed);
    // The position jumped (Seeked).
    void seeked(qint64 positionUs);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Anything the user or the device does that may change what the interface reports
    // schedules one comparison after the handler that did it.
    void watchWindow();
    void scheduleUpdate(bool positionJumped = false);
    void sendChanges();
    bool hasOpenFile() const;

    main_window::MainWindow* window_;
    QDBusConnection bus_{QString()};
    QString busName_;
    // What PropertiesChanged last told (or what the window showed at the start).
    QVariantMap reported_;
    bool updatePending_ = false;
    bool positionJumped_ = false;
    // The playlist caption of the last track seen, kept for when its row is gone.
    mutable std::string titledPath_;
    mutable QString title_;
};

}  // namespace app
