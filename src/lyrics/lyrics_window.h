// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The lyrics window: a small tool window that stands against the main window's right
// edge, shows the lyric file of the playing track one line per row, and selects the row whose
// time stamp equals the elapsed time the main window shows.
//
// The main window's lyrics check box shows and closes it, and the play command loads it; it
// never looks for a lyric file by itself. It knows the main window only as a widget to stand
// beside and a text to follow, so this library does not depend on the main window.
//
// UI thread only. The fades hold the calling handler until they end, as a blocking animation
// would; timers and repaints go on meanwhile, user input waits.

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/code_page.h"

class QCloseEvent;
class QListWidget;
class QTimer;

namespace lyrics {

class LyricsWindow : public QWidget {
    Q_OBJECT
public:
    explicit LyricsWindow(QWidget* parent = nullptr);
    ~LyricsWindow() override;

    // The main window, read each time this window is shown (not owned).
    void setMainWindow(QWidget* mainWindow);
    // The elapsed-time text ("mm:ss") that the timer follows: the main window's status panel 1.
    void setElapsedTextSource(std::function<QString()> elapsedText);

    // How long the fade in and the fade out take, for every lyrics window: 800 ms unless
    // changed. 0 switches the opacity at once.
    static void setFadeDuration(int ms);
    static int fadeDuration();

    // --- Controls (owned; each keeps its design name as its objectName) -------------------
    QListWidget* lyricsList =
        nullptr;                    // one row per lyric line; each row keeps its bytes as UserRole
    QTimer* followTimer = nullptr;  // 500 ms, runs while lyrics are being followed

    // The lines of the last lyric file loaded, in file order. Empty after a failed load or a
    // load with no path; none at all before the first load and after a close.
    std::optional<std::vector<std::string>> lyricLines;
    // The file name of the last track given to loadLyrics, without folder and extension.
    std::string trackBaseName;

    // Loads the lyric file beside the track `path` (bytes in the system code page) and appends
    // its lines to lyricsList, or the two "not found" rows when it cannot be read. Never clears
    // lyricsList, never throws.
    void loadLyrics(const std::string& path);

    // --- Handlers ---------------------------------------------------------------------------
    // Every 500 ms while lyrics are followed: selects the first row whose time stamp equals
    // the elapsed-time text.
    void followElapsedTime();
    // Runs each time the window is shown: stands against the main window, then fades in.
    void onShow();
    // Runs when the window is asked to close: stops following and releases the lines.
    void onCloseQuery(bool& canClose);
    // Runs after the close query: fades out, then the window is hidden.
    void onClose();

    // Showing a hidden window runs onShow, which makes it visible with the fade in and
    // returns when the fade has ended.
    void setVisible(bool visible) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void fade(double from, double to);

    QPointer<QWidget> mainWindow_;
    // The character set the rows of the last lyric file are shown in.
    platform::CodePage lyricEncoding_ = platform::CodePage::active();
    std::function<QString()> elapsedText_;
};

}  // namespace lyrics
