#pragma once
// The main window `Form1`: the playlist, the transport buttons, the progress and volume bars,
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
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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
class QTimer;
class QToolButton;
class QTableView;
class QAbstractButton;

namespace lyrics {
class LyricsWindow;
}  // namespace lyrics

namespace main_window {

class TStatusBar;

// `text` right-aligned in `width` characters, padded in front with "0"; a longer text is
// returned whole.
QString ZeroPad(int width, const QString& text);
// Whole minutes, ":", the remaining seconds, each padded to two digits: 185 -> "03:05".
QString timeText(std::int64_t seconds);

inline constexpr char kMainCaption[] = "VorelaMP3播放器-Tamsir绿色软件";

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // `output` is the player's audio output; null means the system's sound server.
    explicit TForm1(std::unique_ptr<playback::AudioOutput> output = nullptr,
                    QWidget* parent = nullptr);
    ~TForm1() override;

    // The other two windows, created after this one by the application.
    void setSearchDialog(QDialog* form2) { Form2_ = form2; }
    void setLyricsWindow(lyrics::LyricsWindow* lyricsWindow) { lyricsWindow_ = lyricsWindow; }

    // Adds a playlist row with caption `name` and folder `folder` (which ends in the
    // separator) at its sorted place; returns its index.
    int addRow(std::string_view folder, std::string_view name);
    // The selected row's index (the list's item index), -1 when none; setting selects a row
    // without moving the keyboard focus or scrolling.
    int itemIndex() const;
    void setItemIndex(int index);

    // The stored caption of a menu item (its text without the access letter added at run time).
    static QString caption(const QAction* item);
    // Sets a menu item's caption and gives it a free access letter of its menu when it has none.
    static void setCaption(QAction* item, const QString& caption);

    // --- Controls, by their design names ---------------------------------------------------
    QLabel* Label1 = nullptr;
    QTableView* lv1 = nullptr;
    PlaylistModel* playlist = nullptr;  // the rows of lv1
    QCheckBox* chk1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* lbl2 = nullptr;
    QSlider* TrackBar1 = nullptr;
    QLabel* Label3 = nullptr;
    QSlider* TrackBar2 = nullptr;
    QToolButton* btn1 = nullptr;
    QToolButton* btn2 = nullptr;
    QToolButton* btn3 = nullptr;
    QToolButton* btn4 = nullptr;
    QToolButton* btn5 = nullptr;
    QToolButton* btn6 = nullptr;
    QToolButton* btn7 = nullptr;
    TStatusBar* stat1 = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    std::unique_ptr<playback::MediaPlayer> MediaPlayer1;

    platform::FileDialogSettings OpenDialog1;
    platform::FileDialogSettings OpenDialog2;
    platform::FileDialogSettings SaveDialog1;

    // Main menu mm1
    QMenu* N9 = nullptr;  // 文件(&F)
    QAction* N13 = nullptr;
    QAction* N14 = nullptr;
    QAction* N18 = nullptr;
    QAction* N19 = nullptr;
    QAction* N15 = nullptr;
    QAction* N23 = nullptr;
    QMenu* N10 = nullptr;  // 控制(&C)
    QAction* N7 = nullptr;
    QAction* N8 = nullptr;
    QAction* N20 = nullptr;
    QAction* N21 = nullptr;
    QAction* N35 = nullptr;
    QAction* N36 = nullptr;
    QAction* N24 = nullptr;
    QAction* N25 = nullptr;
    QAction* CDDVDROM1 = nullptr;
    QAction* CDDVDROM2 = nullptr;
    QMenu* N27 = nullptr;  // 音频（&A）
    QAction* N32 = nullptr;
    QAction* N28 = nullptr;
    QAction* N29 = nullptr;
    QAction* N30 = nullptr;
    QAction* N31 = nullptr;
    QAction* N33 = nullptr;
    QAction* N16 = nullptr;  // 帮助(&H), a top-level command
    // Pop-up menus
    QMenu* PopupMenu1 = nullptr;
    QAction* N1 = nullptr;
    QAction* N2 = nullptr;
    QAction* N3 = nullptr;
    QAction* N6 = nullptr;
    QAction* N11 = nullptr;
    QMenu* PopupMenu2 = nullptr;
    QAction* N4 = nullptr;
    QAction* N5 = nullptr;

    // True only while a change of the progress bar is being turned into a seek.
    bool SeekByUser = false;

    // --- Handlers ---------------------------------------------------------------------------
    // Start-up and small commands (main_window.cpp)
    void FormCreate();
    void N15Click();
    void CDDVDROM1Click();
    void CDDVDROM2Click();
    void N16Click();
    void N23Click();

    // Transport and progress (transport.cpp)
    void btn1Click();
    void btn2Click();
    void btn3Click();
    void btn4Click();
    void btn5Click();
    void btn6Click();
    void btn7Click();
    void N24Click();
    void N25Click();
    void N35Click();
    void N36Click();
    void TrackBar1Change();
    void Timer1Timer();
    void Timer2Timer();
    void lv1DblClick();
    void N1Click();

    // Play modes (play_modes.cpp)
    void N7Click();
    void N8Click();
    void N20Click();
    void N21Click();
    void MediaPlayer1Notify();

    // Playlist rows and commands (playlist.cpp)
    void lv1SelectItem();
    void N2Click();
    void N6Click();
    void N3Click();
    void N11Click();

    // Adding tracks (adding_tracks.cpp)
    void N13Click();
    void N14Click();
    void AddFolderFiles(const std::string& mask);
    void WMDropFiles(const std::vector<std::string>& paths);
    void OpenDialog1Close();

    // M3U files (playlist_files.cpp)
    void N18Click();
    void N19Click();
    void OpenDialog2Close();
    void SaveDialog1Close();

    // Volume, mute and channels (volume.cpp)
    void TrackBar2Change();
    void N28Click();
    void N29Click();
    void N30Click();
    void N31Click();
    void N32Click();
    void N33Click();

    // Lyrics (lyrics_hook.cpp)
    void chk1Click();

    // Dropped files arrive as a drop on the window (adding_tracks.cpp).
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

    // Tray (tray.cpp)
    void N4Click();
    void N5Click();
    void FormDestroy();
    // A close from the window frame (close button, Alt+F4, the window menu's close) goes to the
    // tray; once the program is ending it is a real close.
    void closeEvent(QCloseEvent* event) override;
    // A button released on the tray icon: left shows or hides the window, right opens
    // PopupMenu2 at the pointer.
    void WMTrayCallback(Qt::MouseButton button);
    // The notification-area icon: the desktop's own unless another was installed.
    void setTrayIcon(std::unique_ptr<TrayIcon> icon);
    TrayIcon* trayIcon() const { return trayIcon_.get(); }

    // The help page the help command opens.
    static QUrl helpPageUrl();

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

    // Enabling a running timer leaves its schedule alone, as enabling an enabled timer does.
    static void enableTimer(QTimer* timer);
    // Previous (-1) or next (+1).
    void stepTrack(int delta);
    void checkPlayMode(const QAction* chosen);

    // Adds the matches of `mask` in `folder` (which ends in the separator), skipping folders
    // and paths already listed; processes pending events once per match.
    void scanFolder(const std::string& folder, const std::string& mask);
    // Opens and plays FileName for the drop handler; throws DeviceError.
    void playDropped();
    // The lyrics hook of the play command and the drop handler.
    void reloadLyrics();

    // Runs `handler` inside the error guard when the item is chosen. A checkable item's mark
    // is left as it was before the click: the handlers set every mark themselves.
    void bind(QAction* item, void (TForm1::*handler)());
    void bind(QAbstractButton* button, void (TForm1::*handler)());

    QDialog* Form2_ = nullptr;
    lyrics::LyricsWindow* lyricsWindow_ = nullptr;
    // Set by N23Click/N5Click: the next close ends the program instead of going to the tray.
    bool quitting_ = false;

    // The tray icon (tray.cpp); the destructor runs FormDestroy while it still exists.
    std::unique_ptr<TrayIcon> trayIcon_;
};

}  // namespace main_window
