// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as a user first sees it, and its menu and shortcut map.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "main_window/main_window.h"
#include "main_window/status_bar.h"

using main_window::MainWindow;

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<MainWindow>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    std::unique_ptr<MainWindow> window;
};

// Anyone holding the design finds each control by its design name.
TEST_F(MainWindowTest, EveryControlKeepsItsDesignNameAsObjectName) {
    MainWindow& w = *window;
    const std::pair<const char*, QObject*> named[] = {
        {"Form1", &w},
        {"Label1", w.playlistLabel},
        {"lv1", w.playlistView},
        {"chk1", w.lyricsCheckBox},
        {"Label2", w.progressLabel},
        {"lbl2", w.spacerLabel},
        {"TrackBar1", w.progressBar},
        {"Label3", w.volumeLabel},
        {"TrackBar2", w.volumeBar},
        {"btn1", w.playButton},
        {"btn2", w.pauseButton},
        {"btn3", w.stopButton},
        {"btn4", w.previousButton},
        {"btn5", w.nextButton},
        {"btn6", w.backButton},
        {"btn7", w.forwardButton},
        {"stat1", w.statusBar},
        {"Timer1", w.progressTimer},
        {"Timer2", w.clockTimer},
        {"N9", w.fileMenu},
        {"N13", w.openFileAction},
        {"N14", w.openFolderAction},
        {"N18", w.openPlaylistAction},
        {"N19", w.savePlaylistAction},
        {"N15", w.searchAction},
        {"N23", w.exitAction},
        {"N10", w.controlMenu},
        {"N7", w.inOrderAction},
        {"N8", w.repeatOneAction},
        {"N20", w.repeatListAction},
        {"N21", w.randomAction},
        {"N35", w.previousAction},
        {"N36", w.nextAction},
        {"N24", w.forwardAction},
        {"N25", w.backAction},
        {"CDDVDROM1", w.ejectDiscAction},
        {"CDDVDROM2", w.closeDiscAction},
        {"N27", w.audioMenu},
        {"N32", w.muteAction},
        {"N28", w.louderAction},
        {"N29", w.softerAction},
        {"N30", w.leftChannelAction},
        {"N31", w.rightChannelAction},
        {"N33", w.stereoAction},
        {"N16", w.helpAction},
        {"PopupMenu1", w.playlistMenu},
        {"N1", w.playRowAction},
        {"N2", w.removeRowAction},
        {"N3", w.deleteFileAction},
        {"N6", w.clearListAction},
        {"N11", w.fileInfoAction},
        {"PopupMenu2", w.trayMenu},
        {"N4", w.restoreAction},
        {"N5", w.trayExitAction},
    };
    for (const auto& [name, object] : named) {
        SCOPED_TRACE(name);
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(object->objectName(), QString::fromLatin1(name));
        if (object != &w) {
            EXPECT_EQ(w.findChild<QObject*>(QString::fromLatin1(name)), object);
        }
    }
}

TEST_F(MainWindowTest, StartsInTheDesignedState) {
    EXPECT_EQ(window->windowTitle(), QStringLiteral(u"VorelaMP3播放器-Tamsir绿色软件"));
    EXPECT_EQ(window->windowIconText(), QStringLiteral(u"VorelaMP3播放器"));  // taskbars
    EXPECT_EQ(window->centralWidget()->size(), QSize(362, 344));
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);

    // Transport: play and the skip buttons on, pause and stop off, the bar off at 0 of 100.
    EXPECT_TRUE(window->playButton->isEnabled());
    EXPECT_FALSE(window->pauseButton->isEnabled());
    EXPECT_FALSE(window->stopButton->isEnabled());
    for (QToolButton* b :
         {window->previousButton, window->nextButton, window->backButton, window->forwardButton})
        EXPECT_TRUE(b->isEnabled());
    EXPECT_FALSE(window->progressBar->isEnabled());
    EXPECT_EQ(window->progressBar->maximum(), 100);
    EXPECT_EQ(window->progressBar->value(), 0);
    EXPECT_TRUE(window->volumeBar->isEnabled());
    EXPECT_EQ(window->volumeBar->maximum(), 255);
    EXPECT_EQ(window->volumeBar->value(), 255);
    EXPECT_FALSE(window->progressTimer->isActive());
    EXPECT_FALSE(window->clockTimer->isActive());
    EXPECT_EQ(window->progressTimer->interval(), 100);
    EXPECT_EQ(window->clockTimer->interval(), 10);

    // Texts the user reads.
    EXPECT_EQ(window->statusBar->panelText(0), QString());
    EXPECT_EQ(window->statusBar->panelText(1), QStringLiteral("00:00"));
    EXPECT_EQ(window->statusBar->panelText(2), QStringLiteral("00:00"));
    EXPECT_EQ(window->progressLabel->text(), QStringLiteral(u"播放进度：     "));
    EXPECT_EQ(window->lyricsCheckBox->text(), QStringLiteral(u"显示歌词"));
    EXPECT_FALSE(window->lyricsCheckBox->isChecked());
    EXPECT_EQ(window->playlistView->model()->headerData(0, Qt::Horizontal).toString(),
              QStringLiteral(u"文件名"));
    EXPECT_EQ(window->playlistView->model()->headerData(1, Qt::Horizontal).toString(),
              QStringLiteral(u"路径"));
    EXPECT_EQ(window->playlistView->columnWidth(0), 120);
    EXPECT_EQ(window->playlistView->columnWidth(1), 220);
    EXPECT_EQ(window->playlist->count(), 0);
    EXPECT_EQ(window->selectedRow(), -1);

    // Menus: the play mode in order, stereo output, the row commands off but "clear".
    EXPECT_TRUE(window->inOrderAction->isChecked());
    for (QAction* a : {window->repeatOneAction, window->repeatListAction, window->randomAction,
                       window->muteAction, window->leftChannelAction, window->rightChannelAction}) {
        EXPECT_FALSE(a->isChecked()) << a->objectName().toStdString();
    }
    EXPECT_TRUE(window->stereoAction->isChecked());
    for (QAction* a : {window->playRowAction, window->removeRowAction, window->deleteFileAction,
                       window->fileInfoAction})
        EXPECT_FALSE(a->isEnabled());
    EXPECT_TRUE(window->clearListAction->isEnabled());
    EXPECT_EQ(MainWindow::caption(window->muteAction), QStringLiteral(u"静音(&S)"));
    EXPECT_FALSE(window->seekByUser);
    EXPECT_TRUE(window->acceptDrops());
}

// Times of 100 minutes and more have three-digit minutes; the time panels grow to hold them
// and the now-playing panel gives up the room. Short texts keep the designed widths.
TEST_F(MainWindowTest, StatusPanelsHoldTheirWholeText) {
    main_window::StatusBar* bar = window->statusBar;
    const QRect designed[] = {bar->panelRect(0), bar->panelRect(1), bar->panelRect(2)};
    EXPECT_EQ(designed[0].width(), 268);
    EXPECT_EQ(designed[1].width(), 48);
    EXPECT_EQ(designed[2].right(), 359);  // the last panel takes what is left

    for (const auto& [elapsed, total] :
         {std::pair{100 * 60, 101 * 60}, std::pair{999 * 60 + 59, 1000 * 60 + 59}}) {
        bar->setPanelText(1, main_window::timeText(elapsed));
        bar->setPanelText(2, main_window::timeText(total) + QStringLiteral("    "));
        for (int i = 1; i < 3; ++i) {
            SCOPED_TRACE(bar->panelText(i).toStdString());
            const QRect text = bar->panelRect(i).adjusted(3, 0, -2, 0);
            EXPECT_GE(text.width(),
                      bar->fontMetrics().horizontalAdvance(bar->panelText(i).trimmed()));
            EXPECT_EQ(bar->panelRect(i - 1).right() + 3, bar->panelRect(i).left());
        }
        EXPECT_EQ(bar->panelRect(2).right(), 359);
    }
    bar->setPanelText(1, QStringLiteral("00:00"));
    bar->setPanelText(2, QStringLiteral("00:00"));
    EXPECT_EQ(bar->panelRect(0), designed[0]);
    EXPECT_EQ(bar->panelRect(2), designed[2]);
}

TEST_F(MainWindowTest, NoTooltipsAndImageButtonsAreNamed) {
    for (QToolButton* b : window->centralWidget()->findChildren<QToolButton*>()) {
        EXPECT_TRUE(b->toolTip().isEmpty()) << b->objectName().toStdString();
        EXPECT_TRUE(b->text().isEmpty());
        EXPECT_FALSE(b->accessibleName().isEmpty()) << b->objectName().toStdString();
    }
    EXPECT_EQ(window->pauseButton->accessibleName(), QStringLiteral(u"暂停播放"));
}

TEST_F(MainWindowTest, CaptionsWithoutLetterGetAFreeOneBehindThem) {
    // Stored captions stay as designed; the shown text carries the added access letter.
    EXPECT_EQ(MainWindow::caption(window->exitAction), QStringLiteral(u"退出"));
    EXPECT_TRUE(window->exitAction->text().startsWith(QStringLiteral(u"退出(&")));
    EXPECT_EQ(window->openFileAction->text(), QStringLiteral(u"打开文件(&O)"));
    // Letters within one menu never repeat.
    for (QMenu* menu : {window->fileMenu, window->controlMenu, window->audioMenu,
                        window->playlistMenu, window->trayMenu}) {
        QStringList letters;
        for (QAction* a : menu->actions()) {
            const qsizetype at = a->text().indexOf(u'&');
            if (at < 0) continue;
            const QString letter = a->text().mid(at + 1, 1).toUpper();
            EXPECT_FALSE(letters.contains(letter)) << menu->objectName().toStdString();
            letters << letter;
        }
    }
    MainWindow::setCaption(window->muteAction, QStringLiteral(u"取消静音"));
    EXPECT_EQ(MainWindow::caption(window->muteAction), QStringLiteral(u"取消静音"));
    EXPECT_TRUE(window->muteAction->text().startsWith(QStringLiteral(u"取消静音(&")));
}

TEST_F(MainWindowTest, ShortcutsReachTheirCommands) {
    struct Case {
        QAction* item;
        Qt::Key key;
    } const cases[] = {{window->openFileAction, Qt::Key_F},
                       {window->openFolderAction, Qt::Key_O},
                       {window->openPlaylistAction, Qt::Key_P},
                       {window->savePlaylistAction, Qt::Key_S},
                       {window->searchAction, Qt::Key_M}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item->objectName().toStdString());
        // The commands themselves open dialogs; only the shortcut map is under test here.
        QObject::disconnect(c.item, &QAction::triggered, nullptr, nullptr);
        QSignalSpy spy(c.item, &QAction::triggered);
        QTest::keyClick(window->playlistView, c.key, Qt::ControlModifier);
        EXPECT_EQ(spy.count(), 1);
    }
}

TEST_F(MainWindowTest, HelpIsATopLevelCommandAndTheDiscDoorIsSilent) {
    QList<QAction*> top = window->menuBar()->actions();
    ASSERT_EQ(top.size(), 4);
    EXPECT_EQ(top[3], window->helpAction);
    EXPECT_EQ(window->helpAction->menu(), nullptr);
    EXPECT_TRUE(window->helpPageUrl().isLocalFile());
    EXPECT_TRUE(
        window->helpPageUrl().path().endsWith(QStringLiteral("/share/vorela/help/index.html")));
    // No drive on this machine: nothing is shown, nothing is thrown.
    window->ejectDisc();
    window->closeDisc();
}

TEST_F(MainWindowTest, FileExitEndsTheEventLoop) {
    bool watchdog = false;
    QTimer::singleShot(0, window.get(), [this] { window->exitAction->trigger(); });
    QTimer::singleShot(5000, [&] {
        watchdog = true;
        QCoreApplication::exit(1);
    });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(watchdog);
}

TEST_F(MainWindowTest, TheSearchCommandMakesItsDialogOnFirstUseAndShowsItModallyEachTime) {
    int made = 0;
    int shown = 0;
    QDialog dialog(window.get());
    QObject::connect(&dialog, &QDialog::finished, [&] { ++shown; });
    window->setSearchDialog([&]() -> QDialog* {
        ++made;
        return &dialog;
    });
    EXPECT_EQ(made, 0);
    for (int i = 1; i <= 2; ++i) {
        // The command returns when the modal dialog closes.
        QTimer::singleShot(0, &dialog, [&] {
            EXPECT_TRUE(dialog.isModal() && dialog.isVisible());
            dialog.reject();
        });
        window->searchAction->trigger();
        EXPECT_EQ(made, 1);
        EXPECT_EQ(shown, i);
    }
}

}  // namespace
