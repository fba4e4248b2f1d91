// SPDX-License-Identifier: GPL-3.0-or-later
// Every task by the keyboard alone, through the real windows: key presses go to whatever has
// the focus, and each control is reached by Tab (a control Tab cannot reach fails the walk).
// The file dialogs are scripted; the music search runs for real over a temporary desktop.
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <sys/stat.h>

#include <fstream>

#include "lyrics/lyrics_window.h"
#include "main_window/status_bar.h"
#include "main_window/window_fixture.h"
#include "search/file_finder.h"
#include "search/folder_tree.h"
#include "search/search_dialog.h"

namespace {

using playback::PlayerMode;
using namespace std::chrono_literals;

class KeyboardWalkTest : public testing_support::WindowTest {
protected:
    void SetUp() override {
        // The search dialog's folder tree starts at the desktop of HOME.
        savedHome_ = qgetenv("HOME");
        qputenv("HOME", dir.path().toLocal8Bit());
        WindowTest::SetUp();
        lyrics::LyricsWindow::setFadeDuration(0);
        lyricsWindow_.setMainWindow(window.get());
        lyricsWindow_.setElapsedTextSource(
            [w = window.get()] { return w->statusBar->panelText(1); });
        window->setLyricsWindow(&lyricsWindow_);
        window->setSearchDialog([this] {
            search_ = std::make_unique<SearchDialog>(window.get());
            search_->setPlaylistSink([w = window.get()](SearchDialog::Rows r) { w->addRows(r); });
            return search_.get();
        });
        QApplication::setActiveWindow(window.get());
    }
    void TearDown() override {
        search_.reset();  // a child of the window, as in the program, which deletes it first
        window.reset();
        qputenv("HOME", savedHome_);
    }
    static void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget();
        QTest::keyClick(target ? target : QApplication::activeWindow(), Qt::Key(key), modifiers);
        settle();
    }
    // Tab (or Shift+Tab) until `control` has the focus.
    static void tabTo(QWidget* control, bool back = false) {
        for (int i = 0; i < 20 && QApplication::focusWidget() != control; ++i)
            press(back ? Qt::Key_Backtab : Qt::Key_Tab, back ? Qt::ShiftModifier : Qt::NoModifier);
        ASSERT_EQ(QApplication::focusWidget(), control) << control->objectName().toStdString();
    }
    // Opens the menu with Alt and its letter, then chooses the item with its own letter.
    static void chooseFromMenu(char menuLetter, const QAction* item) {
        press(Qt::Key_A + (menuLetter - 'A'), Qt::AltModifier);
        QWidget* menu = QApplication::activePopupWidget();
        ASSERT_NE(menu, nullptr);
        const QString text = item->text();
        const QChar letter = text.at(text.indexOf(u'&') + 1).toUpper();
        QTest::keyClick(menu, Qt::Key(letter.unicode()));
        settle();
    }
    // The offscreen platform activates every window it shows, whatever its flags, and nothing
    // when one closes; a desktop leaves the focus with the main window when the lyrics window
    // shows (tests/desktop/accessibility_check.py) and gives it back when a dialog closes.
    void backToMainWindow() const { QApplication::setActiveWindow(window.get()); }
    QString nowPlaying() const { return window->statusBar->panelText(0); }

    lyrics::LyricsWindow lyricsWindow_;
    std::unique_ptr<SearchDialog> search_;
    QByteArray savedHome_;
};

TEST_F(KeyboardWalkTest, EveryTaskByKeysAlone) {
    ::mkdir((folder() + "album").c_str(), 0755);
    ::mkdir((folder() + "Desktop").c_str(), 0755);
    for (const char* name : {"album/a.wav", "album/b.wav", "album/c.wav"}) tone(name, 3000);
    std::ofstream(folder() + "Desktop/found.mp3") << "x";

    // Open a folder (Ctrl+O), then into the list: the first Tab marks a row without selecting
    // it, and Return plays the row marked.
    dialogs.choose(folder() + "album");
    press(Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(window->playlist->count(), 3);
    tabTo(window->playlistView);
    EXPECT_EQ(window->selectedRow(), -1);
    press(Qt::Key_Return);
    EXPECT_EQ(nowPlaying(), QStringLiteral(u"当前正在播放：a.wav"));
    press(Qt::Key_End);
    EXPECT_EQ(window->selectedRow(), 2);
    press(Qt::Key_Home);
    press(Qt::Key_Down);
    press(Qt::Key_Enter);
    EXPECT_EQ(nowPlaying(), QStringLiteral(u"当前正在播放：b.wav"));
    // Tab, Shift+Tab and Ctrl+Tab leave the list at once, not for its next cell.
    press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), window->lyricsCheckBox);
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), window->forwardButton);
    press(Qt::Key_Tab);
    press(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), window->lyricsCheckBox);

    // Pause and resume with the buttons, a seek and the volume with the arrow keys.
    tabTo(window->pauseButton);
    press(Qt::Key_Space);
    EXPECT_EQ(window->player->mode(), PlayerMode::Paused);
    tabTo(window->playButton, true);
    press(Qt::Key_Space);
    EXPECT_EQ(window->player->mode(), PlayerMode::Playing);
    tabTo(window->progressBar);
    press(Qt::Key_Right);
    EXPECT_EQ(window->player->position(), 1000);
    tabTo(window->volumeBar);
    press(Qt::Key_PageDown);
    EXPECT_EQ(window->volumeBar->value(), 253);

    // A play mode from the 控制 menu, the lyrics window, and stop.
    chooseFromMenu('C', window->repeatListAction);
    EXPECT_TRUE(window->repeatListAction->isChecked());
    tabTo(window->lyricsCheckBox);
    press(Qt::Key_Space);
    EXPECT_TRUE(lyricsWindow_.isVisible());
    backToMainWindow();
    ASSERT_EQ(QApplication::focusWidget(), window->lyricsCheckBox);
    tabTo(window->stopButton);
    press(Qt::Key_Space);
    EXPECT_EQ(nowPlaying(), QStringLiteral(u"停止播放"));

    // The music search (Ctrl+M, modal): the desktop folder, 开始 and 添加所有.
    QTimer::singleShot(0, window.get(), [this] {
        ASSERT_NE(search_, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowActive(search_.get()));
        tabTo(search_->folderTree, true);
        press(Qt::Key_Home);
        ASSERT_EQ(search_->folderTree->selectedPath(), folder() + "Desktop");
        tabTo(search_->startButton);
        press(Qt::Key_Space);
        ASSERT_TRUE(QTest::qWaitFor([this] { return !search_->finder->isBusy(); }, 30000));
        tabTo(search_->addAllButton);
        press(Qt::Key_Space);  // adds every line and closes the dialog
    });
    press(Qt::Key_M, Qt::ControlModifier);
    backToMainWindow();
    ASSERT_EQ(window->playlist->count(), 4);
    EXPECT_EQ(window->playlist->path(3), folder() + "Desktop/found.mp3");

    // Save the list (Ctrl+S), then File, 退出.
    const std::string saved = folder() + "list.m3u";
    dialogs.choose(saved);
    press(Qt::Key_S, Qt::ControlModifier);
    std::ifstream file(saved);
    const std::string text((std::istreambuf_iterator<char>(file)), {});
    EXPECT_EQ(text, window->playlist->path(0) + "\r\n" + window->playlist->path(1) + "\r\n" +
                        window->playlist->path(2) + "\r\n" + window->playlist->path(3) + "\r\n");
    chooseFromMenu('F', window->exitAction);
    EXPECT_TRUE(window->close());  // the program is ending: no close to the tray any more
}

}  // namespace
