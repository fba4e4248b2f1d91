// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/search_dialog.h"

#include <algorithm>
#include <numeric>
#include <utility>

#include <QCheckBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QStatusBar>

#include "platform/error_box.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "search/folder_tree.h"
#include "search/result_list.h"

SearchDialog::SearchDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral(u"Form2"));
    setWindowTitle(QStringLiteral(u"搜索本地音乐"));
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(401, 370);
    move(170, 221);
    QFont f(QStringLiteral(u"MS Sans Serif"));
    f.setPixelSize(11);
    setFont(f);

    auto named = [](QWidget* w, const char16_t* name) {
        w->setObjectName(QString::fromUtf16(name));
        return w;
    };

    folderLabel = new QLabel(QStringLiteral(u"   搜索目录      "), this);
    named(folderLabel, u"lbl1")->setGeometry(0, 8, 75, 13);
    folderTree = new FolderTree(this);
    named(folderTree, u"shltrvw1")->setGeometry(8, 24, 257, 137);
    mp3CheckBox = new QCheckBox(QStringLiteral(u"MP3"), this);
    named(mp3CheckBox, u"chk1")->setGeometry(272, 24, 49, 17);
    mp3CheckBox->setChecked(true);
    wmaCheckBox = new QCheckBox(QStringLiteral(u"WMA"), this);
    named(wmaCheckBox, u"chk2")->setGeometry(344, 24, 49, 17);
    startButton = new QPushButton(QStringLiteral(u"开始搜索"), this);
    named(startButton, u"btn1")->setGeometry(272, 40, 121, 25);
    stopButton = new QPushButton(QStringLiteral(u"停止搜索"), this);
    named(stopButton, u"btn2")->setGeometry(272, 72, 121, 25);
    stopButton->setEnabled(false);
    addSelectedButton = new QPushButton(QStringLiteral(u"添加选中"), this);
    named(addSelectedButton, u"btn3")->setGeometry(272, 104, 121, 25);
    addAllButton = new QPushButton(QStringLiteral(u"添加所有"), this);
    named(addAllButton, u"btn4")->setGeometry(272, 136, 121, 25);
    resultsLabel = new QLabel(QStringLiteral(u"     搜索到的文件      "), this);
    named(resultsLabel, u"lbl2")->setGeometry(-8, 168, 105, 13);
    resultList = new QListView(this);
    named(resultList, u"lst1")->setGeometry(8, 184, 385, 161);
    results = new ResultListModel(this);
    resultList->setModel(results);
    resultList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    resultList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    resultList->setUniformItemSizes(true);
    statusBar = new QStatusBar(this);
    named(statusBar, u"stat1")->setGeometry(0, 351, 401, 19);
    statusBar->setSizeGripEnabled(false);
    for (QPushButton* b : {startButton, stopButton, addSelectedButton, addAllButton})
        b->setAutoDefault(false);
    // Names for assistive tools: the labels stand apart from what they caption. The status text
    // is painted by the bar itself, so it is also given as the bar's description.
    folderTree->setAccessibleName(QStringLiteral(u"搜索目录"));
    resultList->setAccessibleName(QStringLiteral(u"搜索到的文件"));
    statusBar->setAccessibleName(QStringLiteral(u"搜索状态"));
    connect(statusBar, &QStatusBar::messageChanged, statusBar, &QWidget::setAccessibleDescription);

    setTabOrder(folderTree, startButton);
    setTabOrder(startButton, stopButton);
    setTabOrder(stopButton, addSelectedButton);
    setTabOrder(addSelectedButton, addAllButton);
    setTabOrder(addAllButton, resultList);
    setTabOrder(resultList, mp3CheckBox);
    setTabOrder(mp3CheckBox, wmaCheckBox);

    finder = new search::FileFinder(this);
    finder->setObjectName(QStringLiteral(u"fndfl1"));
    finder->onFileMatch = [this](search::FileFinder* s, const std::string& folder,
                                 const search::SearchRecord& rec) { onFileMatch(s, folder, rec); };
    finder->onFolderChange = [this](search::FileFinder* s, const std::string& folder,
                                    search::FolderIgnore& ignore) {
        onFolderChange(s, folder, ignore);
    };
    finder->onSearchAbort = [this](search::FileFinder* s) { onSearchAbort(s); };
    finder->onSearchFinish = [this](search::FileFinder* s) { onSearchFinish(s); };

    connect(startButton, &QPushButton::clicked, this,
            platform::guarded(this, &SearchDialog::startSearch));
    connect(stopButton, &QPushButton::clicked, this,
            platform::guarded(this, &SearchDialog::stopSearch));
    connect(addSelectedButton, &QPushButton::clicked, this,
            platform::guarded(this, &SearchDialog::addSelected));
    connect(addAllButton, &QPushButton::clicked, this,
            platform::guarded(this, &SearchDialog::addAll));
    resultList->viewport()->installEventFilter(this);

    folderTree->rebuild();
}

SearchDialog::~SearchDialog() {
    // The finder goes first, while the widgets its handlers update still exist: it stops a
    // running search and waits for its worker.
    delete finder;
    finder = nullptr;
}

std::vector<std::string> SearchDialog::lines() const {
    return results->lines();
}

void SearchDialog::addLine(std::string line) {
    results->append(std::move(line));
}

void SearchDialog::startSearch() {
    std::string masks;
    if (mp3CheckBox->isChecked()) masks = "*.mp3";
    if (wmaCheckBox->isChecked()) masks += masks.empty() ? "*.wma" : ";*.wma";
    if (masks.empty()) return;
    searchFor(masks);
}

void SearchDialog::searchFor(const std::string& masks) {
    finder->setThreaded(true);
    search::FileCriteria& files = finder->criteria().files();
    files.setFileName(masks);
    files.setLocation(folderTree->selectedPath());
    files.setSubfolders(true);
    finder->execute();
    startButton->setEnabled(false);
    stopButton->setEnabled(true);
}

void SearchDialog::stopSearch() {
    finder->abort();
}

void SearchDialog::addLinesToPlaylist(const std::vector<int>& rows) {
    if (rows.empty() || !addRows_) return;
    Rows batch;
    batch.reserve(rows.size());
    for (int row : rows) {
        const platform::paths::Split parts = platform::paths::split(results->line(row));
        batch.emplace_back(std::string(parts.folder), std::string(parts.name));
    }
    addRows_(std::move(batch));
}

void SearchDialog::addSelected() {
    takeHanded();
    results->flush();
    std::vector<int> selected;
    for (const QItemSelectionRange& range : resultList->selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row) selected.push_back(row);
    }
    std::sort(selected.begin(), selected.end());
    selected.erase(std::unique(selected.begin(), selected.end()), selected.end());
    addLinesToPlaylist(selected);
    results->removeLines(selected);
}

void SearchDialog::onResultDoubleClicked() {
    addSelected();
}

void SearchDialog::addAll() {
    takeHanded();
    results->flush();
    const bool wasEmpty = results->count() == 0;
    std::vector<int> all(static_cast<std::size_t>(results->count()));
    std::iota(all.begin(), all.end(), 0);
    addLinesToPlaylist(all);
    results->clear();
    if (!wasEmpty) close();
}

void SearchDialog::onFileMatch(search::FileFinder*, const std::string& folder,
                               const search::SearchRecord& fileInfo) {
    std::lock_guard lock(handedLock_);
    handed_.lines.push_back(folder + fileInfo.name);
    postTake();
}

void SearchDialog::onFolderChange(search::FileFinder*, const std::string& folder,
                                  search::FolderIgnore&) {
    std::lock_guard lock(handedLock_);
    handed_.folder = folder;
    postTake();
}

void SearchDialog::postTake() {
    if (std::exchange(handed_.posted, true)) return;
    QMetaObject::invokeMethod(
        this, [this] { takeHanded(); }, Qt::QueuedConnection);
}

void SearchDialog::takeHanded() {
    Handed taken;
    {
        std::lock_guard lock(handedLock_);
        std::swap(taken, handed_);
    }
    for (std::string& line : taken.lines) addLine(std::move(line));
    if (taken.folder) statusBar->showMessage(platform::toDisplayPath(*taken.folder));
}

void SearchDialog::onSearchAbort(search::FileFinder*) {
    {
        // The worker reports nothing more; a folder it was in must not replace the message.
        std::lock_guard lock(handedLock_);
        handed_.folder.reset();
    }
    statusBar->showMessage(QStringLiteral(u"正在退出搜索，请稍候..."));
    // Shown at once: the search may take a moment to wind down.
    repaint();
}

void SearchDialog::onSearchFinish(search::FileFinder* sender) {
    // The last lines found show with the end message, and no folder replaces it.
    takeHanded();
    results->flush();
    statusBar->showMessage(QStringLiteral(u"完成搜索"));
    if (sender->wasAborted()) {
        statusBar->showMessage(QStringLiteral(u"退出搜索 - ") + statusBar->currentMessage());
    }
    startButton->setEnabled(true);
    stopButton->setEnabled(false);
}

void SearchDialog::onCloseQuery(bool& canClose) {
    {
        // Lines found before the close go with the list, also those not yet taken.
        std::lock_guard lock(handedLock_);
        handed_.lines.clear();
    }
    results->clear();
    canClose = true;
}

void SearchDialog::onClose() {
    platform::trimWorkingSet();
}

void SearchDialog::done(int result) {
    bool canClose = true;
    platform::runGuarded([&] { onCloseQuery(canClose); });
    if (!canClose) return;
    QDialog::done(result);
    platform::runGuarded([this] { onClose(); });
}

bool SearchDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == resultList->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        // After the list has handled the click (and its selection), as the list's own
        // double-click event would come.
        QMetaObject::invokeMethod(
            this, [this] { platform::runGuarded([this] { onResultDoubleClicked(); }); },
            Qt::QueuedConnection);
    }
    return QDialog::eventFilter(watched, event);
}

void SearchDialog::keyPressEvent(QKeyEvent* event) {
    // Escape closes the dialog the way its close box does (close query, close, trim).
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}
