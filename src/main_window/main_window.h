// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: the playlist, the transport buttons, the progress and volume bars,
// the status bar, the lyrics check box, two timers, three file dialogs, the main menu and two
// pop-up menus. Much of the program's state lives in these controls (the play mode is a check
// mark, the transport state is the buttons' enabled states, the playlist is the list's rows),
// so they are public: tests and the other windows read them as a user sees them.
//
// One class; its member functions live in several files by concern:
//   main_window.cpp        layout, menus, start-up and the small commands
//   transport.cpp          play, pause, stop, previous, next, skips, progress, time texts
//   play_modes.cpp         the four play modes and the advance at the end of a track
//   playlist.cpp           rows, selection and the list's pop-up commands
//   adding_tracks.cpp      open file, open folder, dropped files
//   playlist_files.cpp     M3U files
//   volume.cpp             volume, mute and channels
//   tray.cpp               close-to-tray and the tray icon
//   lyrics_hook.cpp        the lyrics check box
//
// UI thread only.

#include <QMainWindow>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "main_window/display_timer.h"
#include "main_window/playlist_model.h"
#include "main_window/tray_icon.h"
#include "platform/file_dialogs.h"
#include "playback/audio_output.h"
#include "playback/media_player.h"

class QAction;
class QCheckBox;
class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QDialog;
class QLabel;
class QMenu;
class QSlider;
class QSystemTrayIcon;
class QToolButton;
class QTableView;
class QAbstractButton;

namespace lyrics {
class LyricsWindow;
}  // namespace lyrics

namespace main_window {

class StatusBar;

// `text` right-aligned in `width` characters, padded in front with "0"; a longer text is
// returned whole.
QString zeroPad(int width, const QString& text);
// Whole minutes, ":", the remaining seconds, each padded to two digits: 185 -> "03:05".
QString timeText(std::int64_t seconds);

inline constexpr char kMainCaption[] = "VorelaMP3播放器-Tamsir绿色软件";

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // `output` is the player's audio output; null means the system's sound server.
    explicit MainWindow(std::unique_ptr<playback::AudioOutput> output = nullptr,
                        QWidget* parent = nullptr);
    ~MainWindow() override;

    // The other two windows, given by the application: the search dialog as what makes it,
    // called when the search command first needs it.
    void setSearchDialog(std::function<QDialog*()> makeSearchDialog) {
        makeSearchDialog_ = std::move(makeSearchDialog);
    }
    void setLyricsWindow(lyrics::LyricsWindow* lyricsWindow) { lyricsWindow_ = lyricsWindow; }

    // Adds a playlist row with caption `name` and folder `folder` (which ends in the
    // separator) at its sorted place; returns its index.
    int addRow(std::string_view folder, std::string_view name);
    // Adds many (folder, name) rows at once, in the order adding them one by one gives.
    void addRows(PlaylistModel::NewRows rows);
    // The selected row's index (the list's item index), -1 when none; setting selects a row
    // without moving the keyboard focus or scrolling.
    int selectedRow() const;
    void selectRow(int index);

    // The stored caption of a menu item (its text without the access letter added at run time).
    static QString caption(const QAction* item);
    // Sets a menu item's caption and gives it a free access letter of its menu when it has none.
    static void setCaption(QAction* item, const QString& caption);

    // --- Controls -----------------------------------------------------------------------------
    // Owned by the window (Qt parents). Each keeps its design name as its objectName, so
    // findChild finds it by that name; docs/design-names.md maps one to the other.
    QLabel* playlistLabel = nullptr;
    QTableView* playlistView = nullptr;
    PlaylistModel* playlist = nullptr;  // the rows of playlistView
    QCheckBox* lyricsCheckBox = nullptr;
    QLabel* progressLabel = nullptr;
    QLabel* spacerLabel = nullptr;
    QSlider* progressBar = nullptr;
    QLabel* volumeLabel = nullptr;
    QSlider* volumeBar = nullptr;
    QToolButton* playButton = nullptr;
    QToolButton* pauseButton = nullptr;
    QToolButton* stopButton = nullptr;
    QToolButton* previousButton = nullptr;
    QToolButton* nextButton = nullptr;
    QToolButton* backButton = nullptr;
    QToolButton* forwardButton = nullptr;
    StatusBar* statusBar = nullptr;
    DisplayTimer* progressTimer = nullptr;  // while playing: moves the progress bar
    DisplayTimer* clockTimer = nullptr;     // while playing: the time texts and the progress bar
    std::unique_ptr<playback::MediaPlayer> player;

    platform::FileDialogSettings openFileDialog;
    platform::FileDialogSettings openPlaylistDialog;
    platform::FileDialogSettings savePlaylistDialog;

    // Main menu bar
    QMenu* fileMenu = nullptr;  // 文件(&F)
    QAction* openFileAction = nullptr;
    QAction* openFolderAction = nullptr;
    QAction* openPlaylistAction = nullptr;
    QAction* savePlaylistAction = nullptr;
    QAction* searchAction = nullptr;
    QAction* exitAction = nullptr;
    QMenu* controlMenu = nullptr;  // 控制(&C)
    QAction* inOrderAction = nullptr;
    QAction* repeatOneAction = nullptr;
    QAction* repeatListAction = nullptr;
    QAction* randomAction = nullptr;
    QAction* previousAction = nullptr;
    QAction* nextAction = nullptr;
    QAction* forwardAction = nullptr;
    QAction* backAction = nullptr;
    QAction* ejectDiscAction = nullptr;
    QAction* closeDiscAction = nullptr;
    QMenu* audioMenu = nullptr;  // 音频（&A）
    QAction* muteAction = nullptr;
    QAction* louderAction = nullptr;
    QAction* softerAction = nullptr;
    QAction* leftChannelAction = nullptr;
    QAction* rightChannelAction = nullptr;
    QAction* stereoAction = nullptr;
    QAction* helpAction = nullptr;  // 帮助(&H), a top-level command
    // Pop-up menus
    QMenu* playlistMenu = nullptr;
    QAction* playRowAction = nullptr;
    QAction* removeRowAction = nullptr;
    QAction* deleteFileAction = nullptr;
    QAction* clearListAction = nullptr;
    QAction* fileInfoAction = nullptr;
    QMenu* trayMenu = nullptr;
    QAction* restoreAction = nullptr;
    QAction* trayExitAction = nullptr;

    // True only while a change of the progress bar is being turned into a seek.
    bool seekByUser = false;

    // --- Handlers ---------------------------------------------------------------------------
    // Start-up and small commands (main_window.cpp)
    void onCreate();
    void showSearchDialog();
    void ejectDisc();
    void closeDisc();
    void openHelpPage();
    void exitProgram();

    // Transport and progress (transport.cpp)
    void play();
    void pause();
    void stop();
    void previousTrack();
    void nextTrack();
    void skipBack();
    void skipForward();
    void onProgressBarChanged();
    void updateProgressBar();
    void updateTimeTexts();

    // Play modes (play_modes.cpp)
    void setInOrderMode();
    void setRepeatOneMode();
    void setRepeatListMode();
    void setRandomMode();
    void onTrackFinished();
    // The playing track's end is coming: queues the file the play mode will advance to, so
    // that it follows without a gap.
    void queueFollowingTrack();

    // Playlist rows and commands (playlist.cpp)
    void onSelectionChanged();
    // Return on the list: selects the row under the focus mark and plays it.
    void playFocusedRow();
    void removeSelectedRows();
    void clearPlaylist();
    void deleteSelectedFile();
    void showFileInfo();

    // Adding tracks (adding_tracks.cpp)
    void addFileFromDialog();
    void addFolder();
    void addFolderFiles(const std::string& mask);
    void addDroppedFiles(const std::vector<std::string>& paths);

    // M3U files (playlist_files.cpp)
    void openPlaylist();
    void savePlaylist();

    // Volume, mute and channels (volume.cpp)
    void onVolumeBarChanged();
    void raiseVolume();
    void lowerVolume();
    void selectLeftChannel();
    void selectRightChannel();
    void toggleMute();
    void selectStereo();
    // A mixer set the output's level or mute from outside: the bar and the audio menu show it,
    // and nothing is written back.
    void followMixer(std::uint32_t level, bool muted);

    // Lyrics (lyrics_hook.cpp)
    void toggleLyricsWindow();

    // Dropped files arrive as a drop on the window (adding_tracks.cpp).
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

    // Tray (tray.cpp)
    void restoreFromTray();
    // Shows the window, unminimised, raised and active: the tray's restore, MPRIS Raise and a
    // second start.
    void bringBack();
    void exitFromTray();
    void onDestroy();
    // A close from the window frame (close button, Alt+F4, the window menu's close) goes to the
    // tray; once the program is ending it is a real close.
    void closeEvent(QCloseEvent* event) override;
    // A button released on the tray icon: left shows or hides the window, right opens
    // trayMenu at the pointer.
    void onTrayIconReleased(Qt::MouseButton button);
    // The notification-area icon: the desktop's own unless another was installed.
    void setTrayIcon(std::unique_ptr<TrayIcon> icon);
    TrayIcon* trayIcon() const { return trayIcon_.get(); }

    // The help page the help command opens.
    static QUrl helpPageUrl();

Q_SIGNALS:
    // The playing track's position moved other than by playing on: a seek with the progress
    // bar, a skip the track holds, the restart of repeat one. Not for a track change.
    void positionJumped();

private:
    void buildControls();
    void buildMenus();
    void connectCommands();
    void connectTransport();
    void connectPlayModes();
    void connectPlaylist();
    void connectAddingTracks();
    void connectPlaylistFiles();
    void connectVolume();
    void connectTray();
    void connectLyrics();

    // Arms the enabled display timers to look at once, after a command that moved the
    // position or went on playing; their handlers then arm for the next crossing.
    void armDisplayTimers();
    // Leaves them enabled but unarmed while nothing they show can change (pause, stop).
    void disarmDisplayTimers();
    // The transport, bar and status text of a stopped track.
    void showStopped();
    // The milliseconds until the position crosses its next whole second, and a little after.
    int msToNextSecond() const;
    // The audio menu and the bar of the muted state, or of the state after it, in stereo.
    void showMuted(bool muted);
    // Previous (-1) or next (+1).
    void stepTrack(int delta);
    // The skips' seek and play on; the device refuses a target outside the track.
    void skipTo(std::int64_t ms);
    void checkPlayMode(const QAction* chosen);
    // The row after the current track's (or, when no row holds it, the selected one) in order
    // (-1 after the last) or with the list repeated; nothing is selected.
    int rowAfterCurrentTrack(bool wrap) const;
    // A random row, uniform over the list, drawn with a generator seeded from the clock.
    int drawRandomRow() const;

    // Adds the matches of `mask` in `folder` (which ends in the separator), skipping folders
    // and paths already listed; processes pending events once per match.
    void scanFolder(const std::string& folder, const std::string& mask);
    // Opens and plays the player's file for the drop handler; throws DeviceError.
    void playDropped();
    // The lyrics hook of the play command and the drop handler.
    void reloadLyrics();

    // Runs `handler` inside the error guard when the item is chosen. A checkable item's mark
    // is left as it was before the click: the handlers set every mark themselves.
    void bind(QAction* item, void (MainWindow::*handler)());
    void bind(QAbstractButton* button, void (MainWindow::*handler)());

    std::function<QDialog*()> makeSearchDialog_;
    QDialog* searchDialog_ = nullptr;
    lyrics::LyricsWindow* lyricsWindow_ = nullptr;
    // Set by exitProgram/exitFromTray: the next close ends the program instead of going to the
    // tray.
    bool quitting_ = false;
    // The random row queued for the end of the playing track, by its path, so that the advance
    // plays the row that is already heard.
    int queuedRandomRow_ = -1;
    std::string queuedRandomPath_;

    // While the bar shows a mixer's level, its move writes nothing (volume.cpp).
    bool followingMixer_ = false;
    // Muted by a mixer, and the channel item checked before: its un-mute brings it back.
    bool mutedByMixer_ = false;
    QAction* channelBeforeMixerMute_ = nullptr;

    // The tray icon (tray.cpp); the destructor runs onDestroy while it still exists.
    std::unique_ptr<TrayIcon> trayIcon_;
};

}  // namespace main_window
