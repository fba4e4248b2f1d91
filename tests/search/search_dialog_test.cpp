// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/collation.h"
#include "search/folder_tree.h"
#include "search/result_list.h"
#include "search/search_dialog.h"

namespace {

using Row = std::pair<std::string, std::string>;  // folder, name

// The user's desktop is a temporary folder holding a small music tree.
class SearchDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid());
        savedHome_ = qgetenv("HOME");
        savedConfig_ = qgetenv("XDG_CONFIG_HOME");
        qputenv("HOME", home_.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", (home_.path() + QStringLiteral(u"/.config")).toLocal8Bit());
        desktop_ = home_.path().toStdString() + "/Desktop";
        music_ = desktop_ + "/music";
        for (const std::string& d : {desktop_, music_, music_ + "/sub", music_ + "/sub/deep"}) {
            ::mkdir(d.c_str(), 0755);
        }
        mp3_ = {music_ + "/b.mp3", music_ + "/sub/a.MP3", music_ + "/sub/deep/c.mp3",
                music_ + "/z.mp3"};
        wma_ = {music_ + "/y.wma", music_ + "/sub/x.WMA"};
        for (const std::string& f : mp3_) write(f);
        for (const std::string& f : wma_) write(f);
        write(music_ + "/readme.txt");

        form_ = std::make_unique<SearchDialog>();
        form_->setPlaylistSink([this](SearchDialog::Rows rows) {
            ++batches_;
            rows_.insert(rows_.end(), rows.begin(), rows.end());
        });
    }
    void TearDown() override {
        form_.reset();
        qputenv("HOME", savedHome_);
        if (savedConfig_.isEmpty()) {
            qunsetenv("XDG_CONFIG_HOME");
        } else {
            qputenv("XDG_CONFIG_HOME", savedConfig_);
        }
    }
    static void write(const std::string& path) { std::ofstream(path) << "x"; }

    void selectFolder(const std::string& path) {
        QTreeWidgetItem* item = form_->folderTree->findLoaded(path);
        ASSERT_NE(item, nullptr) << path;
        // A right click selects too.
        form_->folderTree->scrollToItem(item);
        QTest::mouseClick(form_->folderTree->viewport(), Qt::RightButton, {},
                          form_->folderTree->visualItemRect(item).center());
        ASSERT_EQ(form_->folderTree->selectedPath(), path);
    }
    bool waitIdle() {
        return QTest::qWaitFor([&] { return !form_->finder->isBusy(); }, 30000);
    }
    std::vector<std::string> search() {
        QTest::mouseClick(form_->startButton, Qt::LeftButton);
        EXPECT_TRUE(waitIdle());
        return form_->lines();
    }
    QPoint lineCentre(int row) const {
        return form_->resultList->visualRect(form_->results->index(row)).center();
    }
    void clickLine(int row, Qt::KeyboardModifiers mods = {}) {
        QTest::mouseClick(form_->resultList->viewport(), Qt::LeftButton, mods, lineCentre(row));
    }
    static std::vector<std::string> sorted(std::vector<std::string> v) {
        std::sort(v.begin(), v.end());
        return v;
    }
    static std::vector<std::string> joined(const std::vector<Row>& rows) {
        std::vector<std::string> out;
        for (const Row& r : rows) out.push_back(r.first + r.second);
        return out;
    }

    QTemporaryDir home_;
    QByteArray savedHome_, savedConfig_;
    std::string desktop_, music_;
    std::vector<std::string> mp3_, wma_;
    std::unique_ptr<SearchDialog> form_;
    std::vector<Row> rows_;
    int batches_ = 0;  // calls of the playlist sink
};

TEST_F(SearchDialogTest, StartsAsDesigned) {
    SearchDialog& f = *form_;
    EXPECT_EQ(f.windowTitle(), QStringLiteral(u"搜索本地音乐"));
    EXPECT_EQ(f.size(), QSize(401, 370));
    struct Text {
        QWidget* w;
        const char* name;
        QString text;
    };
    const Text texts[] = {
        {f.folderLabel, "lbl1", QStringLiteral(u"   搜索目录      ")},
        {f.resultsLabel, "lbl2", QStringLiteral(u"     搜索到的文件      ")},
        {f.mp3CheckBox, "chk1", QStringLiteral(u"MP3")},
        {f.wmaCheckBox, "chk2", QStringLiteral(u"WMA")},
        {f.startButton, "btn1", QStringLiteral(u"开始搜索")},
        {f.stopButton, "btn2", QStringLiteral(u"停止搜索")},
        {f.addSelectedButton, "btn3", QStringLiteral(u"添加选中")},
        {f.addAllButton, "btn4", QStringLiteral(u"添加所有")},
    };
    for (const Text& t : texts) {
        SCOPED_TRACE(t.name);
        EXPECT_EQ(t.w->objectName(), QString::fromLatin1(t.name));
        const auto* label = qobject_cast<QLabel*>(t.w);
        const auto* button = qobject_cast<QAbstractButton*>(t.w);
        EXPECT_EQ(label ? label->text() : button->text(), t.text);
    }
    EXPECT_EQ(f.folderTree->objectName(), QStringLiteral(u"shltrvw1"));
    EXPECT_EQ(f.resultList->objectName(), QStringLiteral(u"lst1"));
    EXPECT_EQ(f.statusBar->objectName(), QStringLiteral(u"stat1"));
    EXPECT_TRUE(f.mp3CheckBox->isChecked());
    EXPECT_FALSE(f.wmaCheckBox->isChecked());
    EXPECT_TRUE(f.startButton->isEnabled());
    EXPECT_FALSE(f.stopButton->isEnabled());
    EXPECT_EQ(f.resultList->selectionMode(), QAbstractItemView::ExtendedSelection);
    // The desktop node on top, selected and open; folders only, no hidden ones.
    ASSERT_EQ(f.folderTree->topLevelItemCount(), 1);
    QTreeWidgetItem* top = f.folderTree->topLevelItem(0);
    EXPECT_EQ(f.folderTree->selectedPath(), desktop_);
    EXPECT_TRUE(top->isExpanded());
    EXPECT_EQ(FolderTree::pathOf(top->child(0)), music_);
    EXPECT_EQ(FolderTree::pathOf(top->child(top->childCount() - 1)), "/");
}

TEST_F(SearchDialogTest, SearchesTheCheckedTypesIntoASortedList) {
    selectFolder(music_);
    struct Case {
        bool mp3;
        bool wma;
        std::vector<std::string> expected;
    };
    std::vector<std::string> both = mp3_;
    both.insert(both.end(), wma_.begin(), wma_.end());
    const Case cases[] = {{true, false, mp3_}, {false, true, wma_}, {true, true, both}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.mp3) + std::to_string(c.wma));
        form_->results->clear();
        form_->mp3CheckBox->setChecked(c.mp3);
        form_->wmaCheckBox->setChecked(c.wma);
        const auto lines = search();
        EXPECT_EQ(sorted(lines), sorted(c.expected));
        EXPECT_TRUE(std::is_sorted(lines.begin(), lines.end(),
                                   [](auto& a, auto& b) { return platform::collate(a, b) < 0; }));
        EXPECT_EQ(form_->statusBar->currentMessage(), QStringLiteral(u"完成搜索"));
        EXPECT_TRUE(form_->startButton->isEnabled());
        EXPECT_FALSE(form_->stopButton->isEnabled());
    }
    // A second search adds to the list: every file twice.
    EXPECT_EQ(search().size(), 2 * both.size());

    // No type checked: nothing happens.
    form_->mp3CheckBox->setChecked(false);
    form_->wmaCheckBox->setChecked(false);
    QTest::mouseClick(form_->startButton, Qt::LeftButton);
    EXPECT_FALSE(form_->finder->isBusy());
    EXPECT_TRUE(form_->startButton->isEnabled());
}

// Lines chosen far apart leave the list in one change: the right ones go, the rest keep their
// order, and the line the keyboard is on stays current.
TEST_F(SearchDialogTest, AddSelectedOfScatteredLinesRemovesExactlyThem) {
    for (int i = 0; i < 40; ++i) form_->results->append("/m/" + std::to_string(100 + i) + ".mp3");
    form_->results->flush();
    const std::vector<std::string> lines = form_->lines();
    std::vector<std::string> chosen, rest;
    for (int i = 0; i < 40; ++i) {
        if (i % 3 == 1) {
            form_->resultList->selectionModel()->select(form_->results->index(i),
                                                        QItemSelectionModel::Select);
            chosen.push_back(lines[std::size_t(i)]);
        } else {
            rest.push_back(lines[std::size_t(i)]);
        }
    }
    form_->resultList->selectionModel()->setCurrentIndex(form_->results->index(30),
                                                         QItemSelectionModel::NoUpdate);
    QTest::mouseClick(form_->addSelectedButton, Qt::LeftButton);
    EXPECT_EQ(joined(rows_), chosen);
    EXPECT_EQ(form_->lines(), rest);
    EXPECT_TRUE(form_->resultList->selectionModel()->selectedIndexes().isEmpty());
    EXPECT_EQ(form_->results->line(form_->resultList->currentIndex().row()), lines[30]);
}

TEST_F(SearchDialogTest, AddSelectedDoubleClickAndAddAll) {
    selectFolder(music_);
    form_->wmaCheckBox->setChecked(true);
    const auto lines = search();
    ASSERT_EQ(lines.size(), 6u);

    // Two lines chosen with Ctrl: appended in list order, and only they leave the list.
    clickLine(4);
    clickLine(1, Qt::ControlModifier);
    QTest::mouseClick(form_->addSelectedButton, Qt::LeftButton);
    ASSERT_EQ(rows_.size(), 2u);
    EXPECT_EQ(batches_, 1);
    EXPECT_EQ(joined(rows_), (std::vector<std::string>{lines[1], lines[4]}));
    for (const Row& r : rows_) {
        EXPECT_EQ(r.first.back(), '/');
        EXPECT_EQ(r.second.find('/'), std::string::npos);
    }
    std::vector<std::string> rest = lines;
    rest.erase(rest.begin() + 4);
    rest.erase(rest.begin() + 1);
    EXPECT_EQ(form_->lines(), rest);

    // Nothing selected: nothing added.
    form_->resultList->clearSelection();
    rows_.clear();
    QTest::mouseClick(form_->addSelectedButton, Qt::LeftButton);
    EXPECT_TRUE(rows_.empty());
    EXPECT_EQ(form_->lines().size(), 4u);

    // A double click adds the line under the pointer alone.
    clickLine(2);
    QTest::mouseDClick(form_->resultList->viewport(), Qt::LeftButton, {}, lineCentre(2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rows_.empty(); }, 5000));
    EXPECT_EQ(joined(rows_), std::vector<std::string>{rest[2]});
    rest.erase(rest.begin() + 2);
    EXPECT_EQ(form_->lines(), rest);

    // Add all closes the dialog; with an empty list it does nothing.
    form_->show();
    rows_.clear();
    QTest::mouseClick(form_->addAllButton, Qt::LeftButton);
    EXPECT_EQ(joined(rows_), rest);
    EXPECT_EQ(form_->results->count(), 0);
    EXPECT_FALSE(form_->isVisible());
    form_->show();
    rows_.clear();
    QTest::mouseClick(form_->addAllButton, Qt::LeftButton);
    EXPECT_TRUE(form_->isVisible());
    EXPECT_TRUE(rows_.empty());
}

TEST_F(SearchDialogTest, LinesFoundJoinTheListInBatchesAndKeepTheSelection) {
    form_->show();
    auto found = [&](const std::string& folder, const std::string& name) {
        platform::DirEntry entry;
        entry.name = name;
        form_->onFileMatch(form_->finder, folder, search::SearchRecord(entry));
    };
    found("/m/", "b.mp3");
    found("/m/", "d.mp3");
    ASSERT_TRUE(QTest::qWaitFor([&] { return form_->results->count() == 2; }, 1000));
    clickLine(1);

    // Lines that land everywhere, found one at a time: none shows at once, all of them show
    // together, in order, and the chosen line is still the chosen one.
    QSignalSpy inserts(form_->results, &QAbstractItemModel::rowsInserted);
    QSignalSpy layouts(form_->results, &QAbstractItemModel::layoutChanged);
    for (int i = 0; i < 100; ++i) {
        found("/m/", static_cast<char>('a' + i % 5) + std::to_string(i) + ".mp3");
    }
    EXPECT_EQ(form_->results->count(), 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form_->results->count() == 102; }, 1000));
    EXPECT_LT(inserts.count() + layouts.count(), 10);  // not one change per line
    const auto lines = form_->lines();
    EXPECT_TRUE(std::is_sorted(lines.begin(), lines.end(),
                               [](auto& a, auto& b) { return platform::collate(a, b) < 0; }));
    const QModelIndexList chosen = form_->resultList->selectionModel()->selectedRows();
    ASSERT_EQ(chosen.size(), 1);
    EXPECT_EQ(form_->results->line(chosen[0].row()), "/m/d.mp3");

    // The add commands see the lines found a moment ago too, and hand them over in one batch.
    found("/m/", "late.mp3");
    QTest::mouseClick(form_->addAllButton, Qt::LeftButton);
    EXPECT_EQ(batches_, 1);
    EXPECT_EQ(rows_.size(), 103u);
}

TEST_F(SearchDialogTest, StopShowsBothMessages) {
    for (int i = 0; i < 30; ++i) {
        const std::string d = music_ + "/more" + std::to_string(i);
        ::mkdir(d.c_str(), 0755);
        write(d + "/m.mp3");
    }
    selectFolder(music_);
    // The worker waits in its first folder event until the stop is under way, so it cannot
    // finish the walk first on a busy machine.
    std::atomic<bool> first{true};
    const search::FolderChangeHandler handler = form_->finder->onFolderChange;
    form_->finder->onFolderChange = [&](search::FileFinder* sender, const std::string& folder,
                                        search::FolderIgnore& ignore) {
        if (first.exchange(false)) {
            while (!sender->abortPending() && !sender->wasAborted())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        handler(sender, folder, ignore);
    };
    QTest::mouseClick(form_->startButton, Qt::LeftButton);
    EXPECT_FALSE(form_->startButton->isEnabled());
    EXPECT_TRUE(form_->stopButton->isEnabled());
    QTest::mouseClick(form_->stopButton, Qt::LeftButton);
    EXPECT_EQ(form_->statusBar->currentMessage(), QStringLiteral(u"正在退出搜索，请稍候..."));
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(form_->statusBar->currentMessage(), QStringLiteral(u"退出搜索 - 完成搜索"));
    EXPECT_TRUE(form_->startButton->isEnabled());
    EXPECT_FALSE(form_->stopButton->isEnabled());
    EXPECT_LT(form_->results->count(), 34);
    // The next search runs to its end (the stop may have come before the first folder event).
    form_->finder->onFolderChange = handler;
    form_->results->clear();
    EXPECT_EQ(search().size(), 34u);
    EXPECT_EQ(form_->statusBar->currentMessage(), QStringLiteral(u"完成搜索"));
}

TEST_F(SearchDialogTest, ClosingDoesNotStopTheSearch) {
    selectFolder(music_);
    form_->show();
    form_->results->append("old line");
    form_->results->flush();
    // The worker waits at its first folder until the dialog has closed.
    std::mutex gate;
    gate.lock();
    const search::FolderChangeHandler handler = form_->finder->onFolderChange;
    form_->finder->onFolderChange = [&](search::FileFinder* sender, const std::string& folder,
                                        search::FolderIgnore& ignore) {
        const std::lock_guard passed(gate);
        handler(sender, folder, ignore);
    };
    QTest::mouseClick(form_->startButton, Qt::LeftButton);
    form_->close();
    EXPECT_FALSE(form_->isVisible());
    EXPECT_TRUE(form_->finder->isBusy());
    gate.unlock();
    ASSERT_TRUE(waitIdle());
    // The list was cleared on close; what the search found afterwards is there.
    EXPECT_EQ(sorted(form_->lines()), sorted(mp3_));
    EXPECT_TRUE(form_->startButton->isEnabled());
}

TEST_F(SearchDialogTest, NoFolderSelectedEndsAtOnce) {
    form_->folderTree->setCurrentItem(nullptr);
    EXPECT_EQ(form_->folderTree->selectedPath(), "");
    EXPECT_TRUE(search().empty());
    EXPECT_EQ(form_->statusBar->currentMessage(), QStringLiteral(u"完成搜索"));
}

TEST_F(SearchDialogTest, DestroyedDuringASearch) {
    selectFolder(music_);
    QTest::mouseClick(form_->startButton, Qt::LeftButton);
    form_.reset();  // waits for the worker, which may be waiting for this thread
    QCoreApplication::processEvents();
    EXPECT_TRUE(rows_.empty());
}

}  // namespace
