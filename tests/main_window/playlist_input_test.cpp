// SPDX-License-Identifier: GPL-3.0-or-later
// The row commands driven as a user drives them: rows chosen by clicks and keys on the list,
// commands chosen from the real pop-up menu. The view's own reactions (moving its current row,
// and with it the selection, when a row goes) only happen this way.
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QMenu>
#include <QTableView>

#include <fstream>

#include "main_window/window_fixture.h"

namespace {

using playback::PlayerMode;
using testing_support::WindowTest;

class PlaylistInputTest : public WindowTest {
protected:
    std::vector<std::string> captions() const {
        std::vector<std::string> out;
        for (int i = 0; i < window->playlist->count(); ++i) out.push_back(rowCaption(i));
        return out;
    }
    QPoint rowCenter(int row) const {
        return window->playlistView->visualRect(window->playlist->index(row, 0)).center();
    }
    void clickRow(int row) {
        QTest::mouseClick(window->playlistView->viewport(), Qt::LeftButton, Qt::NoModifier,
                          rowCenter(row));
    }
    // A right click on a row: the press as the view sees it, then the context-menu request the
    // window system sends; chooses `item` in the pop-up menu that opens, by a click on it.
    void chooseFromRowMenu(int row, QAction* item) {
        QWidget* viewport = window->playlistView->viewport();
        const QPoint at = rowCenter(row);
        QTest::mouseClick(viewport, Qt::RightButton, Qt::NoModifier, at);
        QContextMenuEvent request(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &request);
        clickInOpenMenu(item);
    }
    void clickInOpenMenu(QAction* item) {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr) << "no pop-up menu opened";
        ASSERT_TRUE(menu->actions().contains(item));
        ASSERT_TRUE(item->isEnabled());
        QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier,
                          menu->actionGeometry(item).center());
        settle();
    }
    std::vector<std::string> addFiles(const std::vector<std::string>& names) {
        std::vector<std::string> paths;
        for (const std::string& name : names) {
            paths.push_back(folder() + name);
            std::ofstream(paths.back()) << "x";
            window->addRow(folder(), name);
        }
        return paths;
    }
    void expectNothingSelected() const {
        EXPECT_EQ(window->selectedRow(), -1);
        for (QAction* item : {window->playRowAction, window->removeRowAction,
                              window->deleteFileAction, window->fileInfoAction})
            EXPECT_FALSE(item->isEnabled()) << item->objectName().toStdString();
    }
    static bool exists(const std::string& path) {
        return QFile::exists(QString::fromStdString(path));
    }
};

TEST_F(PlaylistInputTest, RemoveTakesOnlyTheClickedRow) {
    addFiles({"a.mp3", "b.mp3", "c.mp3", "d.mp3"});
    clickRow(3);
    chooseFromRowMenu(3, window->removeRowAction);
    EXPECT_EQ(captions(), (std::vector<std::string>{"a.mp3", "b.mp3", "c.mp3"}));

    // A row reached with the arrow keys, in the middle of the list.
    clickRow(0);
    QTest::keyClick(window->playlistView, Qt::Key_Down);
    ASSERT_EQ(window->selectedRow(), 1);
    QContextMenuEvent request(QContextMenuEvent::Keyboard, rowCenter(1),
                              window->playlistView->viewport()->mapToGlobal(rowCenter(1)));
    QApplication::sendEvent(window->playlistView->viewport(), &request);
    clickInOpenMenu(window->removeRowAction);
    EXPECT_EQ(captions(), (std::vector<std::string>{"a.mp3", "c.mp3"}));
    // The removed row takes the selection with it: the neighbour the view moves to is not
    // chosen, and the row commands are disabled until the user picks a row.
    expectNothingSelected();
}

TEST_F(PlaylistInputTest, DeleteFromDiskTakesOnlyTheClickedRowAndItsFile) {
    const auto paths = addFiles({"a.mp3", "b.mp3", "c.mp3", "d.mp3"});
    clickRow(3);
    boxes.queueAnswer(platform::IDYES);
    chooseFromRowMenu(3, window->deleteFileAction);
    EXPECT_EQ(captions(), (std::vector<std::string>{"a.mp3", "b.mp3", "c.mp3"}));
    EXPECT_TRUE(exists(paths[0]) && exists(paths[1]) && exists(paths[2]));
    EXPECT_FALSE(exists(paths[3]));
    expectNothingSelected();
}

TEST_F(PlaylistInputTest, DeleteFromDiskKeepsToTheRowChosenBeforeTheBox) {
    // The track ends while the confirmation box is open and the advance selects and plays the
    // next row: the file deleted is still the one the user chose.
    const std::string first = tone("1.wav", 500);
    const std::string second = tone("2.wav", 500);
    const auto paths = addFiles({"x.mp3"});
    window->addRow(folder(), "1.wav");
    window->addRow(folder(), "2.wav");
    clickRow(0);
    window->play();  // 1.wav
    ASSERT_EQ(window->player->fileName(), first);
    clickRow(2);  // x.mp3
    boxes.onShow(
        [this](const testing_support::ShownBox&) { play(std::chrono::milliseconds(600)); });
    boxes.queueAnswer(platform::IDYES);
    chooseFromRowMenu(2, window->deleteFileAction);
    EXPECT_EQ(window->player->fileName(), second);  // the advance did happen
    EXPECT_FALSE(exists(paths[0]));
    EXPECT_TRUE(exists(first) && exists(second));
    EXPECT_EQ(captions(), (std::vector<std::string>{"1.wav", "2.wav"}));
}

}  // namespace
