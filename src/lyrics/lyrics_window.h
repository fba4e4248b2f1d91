#pragma once
// The lyrics window `Form3`: a small tool window that stands against the main window's right
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

class QCloseEvent;
class QListWidget;
class QTimer;

namespace lyrics {

class TForm3 : public QWidget {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);
    ~TForm3() override;

    // The main window, read each time this window is shown (not owned).
    void setMainWindow(QWidget* form1);
    // The elapsed-time text ("mm:ss") that the timer follows: the main window's status panel 1.
    void setElapsedTextSource(std::function<QString()> panel1Text);

    // How long the fade in and the fade out take, for every lyrics window: 800 ms unless
    // changed. 0 switches the opacity at once.
    static void setFadeDuration(int ms);
    static int fadeDuration();

    // --- Controls, by their design names --------------------------------------------------
    QListWidget* lst1 = nullptr;  // one row per lyric line; each row keeps its bytes as UserRole
    QTimer* tmr1 = nullptr;       // 500 ms, runs while lyrics are being followed

    // The lines of the last lyric file loaded, in file order. Empty after a failed load or a
    // load with no path; none at all before the first load and after a close.
    std::optional<std::vector<std::string>> LyricLines;
    // The file name of the last track given to loadlrc, without folder and extension.
    std::string LrcBaseName;

    // Loads the lyric file beside the track `path` (bytes in the system code page) and appends
    // its lines to lst1, or the two "not found" rows when it cannot be read. Never clears lst1,
    // never throws.
    void loadlrc(const std::string& path);

    // --- Handlers ---------------------------------------------------------------------------
    void tmr1Timer();
    // Runs each time the window is shown: stands against the main window, then fades in.
    void FormShow();
    // Runs when the window is asked to close: stops following and releases the lines.
    void FormCloseQuery(bool& CanClose);
    // Runs after the close query: fades out, then the window is hidden.
    void FormClose();

    // Showing a hidden window runs FormShow, which makes it visible with the fade in and
    // returns when the fade has ended.
    void setVisible(bool visible) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void fade(double from, double to);

    QPointer<QWidget> form1_;
    std::function<QString()> panel1Text_;
};

}  // namespace lyrics
