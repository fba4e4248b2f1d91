// SPDX-License-Identifier: GPL-3.0-or-later
// The playlist's order when many rows arrive at once (M3U files, the search dialog's add
// commands): exactly the order that adding them one by one gives, the selected row kept, and
// a handful of model changes however many rows arrive.
#include <QAction>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTimer>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "main_window/window_fixture.h"
#include "platform/system.h"

namespace {

using main_window::PlaylistModel;
using testing_support::WindowTest;

std::vector<std::string> pathsOf(const PlaylistModel& m) {
    std::vector<std::string> out;
    for (int i = 0; i < m.count(); ++i) out.push_back(m.path(i));
    return out;
}

PlaylistModel::NewRows rowsOf(const std::vector<std::string>& paths) {
    PlaylistModel::NewRows rows;
    for (const std::string& p : paths) {
        const auto at = p.rfind('/') + 1;
        rows.emplace_back(p.substr(0, at), p.substr(at));
    }
    return rows;
}

// The order the model gives when every row is added on its own.
std::vector<std::string> oneByOne(const std::vector<std::string>& before,
                                  const std::vector<std::string>& added) {
    PlaylistModel m;
    for (const auto& rows : {rowsOf(before), rowsOf(added)}) {
        for (const auto& [folder, caption] : rows) m.addRow(folder, caption);
    }
    return pathsOf(m);
}

class PlaylistOrderTest : public WindowTest {
protected:
    void add(const std::vector<std::string>& paths) {
        for (const auto& [folder, caption] : rowsOf(paths)) window->addRow(folder, caption);
    }
};

TEST_F(PlaylistOrderTest, LinesEndingInASeparatorSortAsWhenAddedOneByOne) {
    // A line ending in "/" names a row with an empty caption. It stays where it was created,
    // at the end, until the next row with a caption re-sorts the list and takes it to the top.
    const std::string list = folder() + "folders.m3u";
    std::ofstream(list, std::ios::binary) << "/m/b.mp3\n/m/sub/\n/m/a.mp3\n/m/c/\n";
    dialogs.choose(list);
    window->openPlaylistAction->trigger();
    const std::vector<std::string> loaded = {"/m/sub/", "/m/a.mp3", "/m/b.mp3", "/m/c/"};
    EXPECT_EQ(pathsOf(*window->playlist), loaded);
    EXPECT_EQ(oneByOne({}, {"/m/b.mp3", "/m/sub/", "/m/a.mp3", "/m/c/"}), loaded);
    EXPECT_EQ(rowCaption(0), "");
    EXPECT_EQ(rowFolder(0), "/m/sub/");

    // The next row with a caption: the waiting row joins the empty captions at the top, after
    // the one already there, and the list is in order again.
    window->addRow("/m/", "0.mp3");
    EXPECT_EQ(pathsOf(*window->playlist),
              (std::vector<std::string>{"/m/sub/", "/m/c/", "/m/0.mp3", "/m/a.mp3", "/m/b.mp3"}));
    window->addRow("/m/", "ab.mp3");
    EXPECT_EQ(window->playlist->path(4), "/m/ab.mp3");
}

TEST_F(PlaylistOrderTest, BulkAddsGiveTheOrderOfSingleAddsAndKeepTheSelection) {
    const std::vector<std::string> before = {"/x/d.mp3", "/x/b.mp3", "/x/f.mp3", "/x/tail/"};
    std::vector<std::string> interleaved;  // lands between every two old rows, and repeats them
    for (const char* c : {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l"}) {
        interleaved.push_back(std::string("/y/") + c + ".mp3");
        interleaved.push_back(std::string("/z/") + c + ".mp3");
    }
    struct Case {
        const char* what;
        std::vector<std::string> added;
    };
    const Case cases[] = {
        {"one place", {"/y/z2.mp3", "/y/z1.mp3"}},
        {"few places, with equals", {"/y/b.mp3", "/y/e.mp3", "/y/b.mp3", "/y/a.mp3"}},
        {"many places", interleaved},
        {"empty captions between and after", {"/y/e/", "/y/c.mp3", "/y/f/", "/y/g/"}},
        {"empty captions only", {"/y/e/", "/y/f/"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        window->playlist->clear();
        add(before);
        window->selectRow(1);  // d.mp3
        const std::string selected = window->playlist->path(1);
        QSignalSpy inserts(window->playlist, &QAbstractItemModel::rowsInserted);
        QSignalSpy layouts(window->playlist, &QAbstractItemModel::layoutChanged);
        window->addRows(rowsOf(c.added));
        EXPECT_EQ(pathsOf(*window->playlist), oneByOne(before, c.added));
        EXPECT_EQ(window->playlist->path(window->selectedRow()), selected);
        EXPECT_LE(inserts.count() + layouts.count(), 10);
        EXPECT_EQ(window->playlistView->model()->rowCount(), window->playlist->count());
        for (const std::string& p : c.added) EXPECT_TRUE(window->playlist->containsPath(p)) << p;
    }
}

TEST_F(PlaylistOrderTest, FolderScanAnswersEveryMatchAndTheListCatchesUp) {
    const std::string saved = platform::currentDirectory();
    for (int i = 0; i < 120; ++i) std::ofstream(folder() + std::to_string(i * 7 % 120) + ".mp3");
    // A user clicking the top row while the scan runs: the click is handled at once (events
    // are processed for every match) and the row stays chosen as rows sort in around it.
    int passes = 0;
    std::string clicked;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        if (++passes != 60) return;
        const QRect top = window->playlistView->visualRect(window->playlist->index(0, 0));
        QTest::mouseClick(window->playlistView->viewport(), Qt::LeftButton, {}, top.center());
        clicked = window->playlist->path(0);
    });
    user.start(0);
    dialogs.choose(dir.path().toStdString());
    window->openFolderAction->trigger();
    user.stop();
    platform::setCurrentDirectory(saved);

    EXPECT_GE(passes, 120);
    ASSERT_EQ(window->playlist->count(), 120);
    ASSERT_FALSE(clicked.empty());
    EXPECT_EQ(window->playlist->path(window->selectedRow()), clicked);
    // Held back during the scan, the view lays its rows out once it ends.
    settle();
    QTableView* view = window->playlistView;
    EXPECT_GT(view->verticalScrollBar()->maximum(), 0);
    view->scrollToBottom();
    settle();
    const QRect last = view->visualRect(window->playlist->index(119, 0));
    EXPECT_TRUE(view->viewport()->rect().contains(last.center()));
    EXPECT_EQ(view->indexAt(last.center()).row(), 119);
}

TEST_F(PlaylistOrderTest, EditingACaptionResortsTheWaitingRowsAndTheDuplicateTest) {
    add({"/m/b.mp3", "/m/a.mp3", "/m/sub/"});
    window->selectRow(1);
    const QModelIndex b = window->playlist->index(1, 0);
    ASSERT_TRUE(window->playlist->setData(b, QStringLiteral("0.mp3"), Qt::EditRole));
    EXPECT_EQ(pathsOf(*window->playlist),
              (std::vector<std::string>{"/m/sub/", "/m/0.mp3", "/m/a.mp3"}));
    EXPECT_EQ(window->playlist->path(window->selectedRow()), "/m/0.mp3");
    EXPECT_TRUE(window->playlist->containsPath("/m/0.mp3"));
    EXPECT_FALSE(window->playlist->containsPath("/m/b.mp3"));
    EXPECT_EQ(window->playlist->findPath("/m/a.mp3"), 2);
}

}  // namespace
