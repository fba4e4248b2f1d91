// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The music search dialog: pick a folder, search it and its subfolders in the background for
// MP3 and WMA files, move some or all of the results into the playlist.
//
// Threads: every widget belongs to the UI thread. The finder's file-match and folder-change
// handlers run on its worker, under the finder's lock; they leave what they found in `handed_`
// (guarded by handedLock_) and post one event that the UI thread takes it with, and go on
// without waiting: a blocking hand-over per file cost a thread wake-up per file, seconds for a
// large collection. The lines still join the list in the order found, within the model's
// 50 ms. The abort and finish handlers run on the UI thread. No other state is shared.

#include <QDialog>

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "search/file_finder.h"

class QCheckBox;
class QLabel;
class QListView;
class QPushButton;
class QStatusBar;
class FolderTree;
class ResultListModel;

class SearchDialog : public QDialog {
    Q_OBJECT
public:
    // Playlist rows to add: (folder, name) each, the folder ending in the separator.
    using Rows = std::vector<std::pair<std::string, std::string>>;
    using PlaylistSink = std::function<void(Rows rows)>;

    explicit SearchDialog(QWidget* parent = nullptr);
    ~SearchDialog() override;

    // Installed by the application: appends playlist rows, in the order given, all at once.
    void setPlaylistSink(PlaylistSink addRows) { addRows_ = std::move(addRows); }

    // The result lines as bytes, in list order (lines found in the last 50 ms may still wait).
    std::vector<std::string> lines() const;

    // --- Controls (owned by the dialog; each keeps its design name as its objectName) ------
    QLabel* folderLabel;
    FolderTree* folderTree;  // the folder to search
    QCheckBox* mp3CheckBox;
    QCheckBox* wmaCheckBox;
    QPushButton* startButton;
    QPushButton* stopButton;
    QPushButton* addSelectedButton;
    QPushButton* addAllButton;
    QLabel* resultsLabel;
    QListView* resultList;     // one line per file found, sorted
    ResultListModel* results;  // the lines of resultList, as path bytes
    QStatusBar* statusBar;     // the folder being searched, then the end of the search
    search::FileFinder* finder;

    // --- Handlers ---------------------------------------------------------------------------
    // Searches the chosen folder for the checked kinds; nothing when neither is checked.
    void startSearch();
    void stopSearch();
    // Moves the selected result lines (or all of them, then closes) into the playlist.
    void addSelected();
    void addAll();
    void onResultDoubleClicked();
    // The finder's events: match and folder change on its worker, abort and finish on the UI
    // thread.
    void onFileMatch(search::FileFinder* sender, const std::string& folder,
                     const search::SearchRecord& fileInfo);
    void onFolderChange(search::FileFinder* sender, const std::string& folder,
                        search::FolderIgnore& ignore);
    void onSearchAbort(search::FileFinder* sender);
    void onSearchFinish(search::FileFinder* sender);
    void onCloseQuery(bool& canClose);
    void onClose();
    // Starts a threaded search of the chosen folder and its subfolders for `masks`.
    void searchFor(const std::string& masks);

    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void addLine(std::string line);
    // Hands the lines at `rows` (ascending) to the playlist as rows, in one batch.
    void addLinesToPlaylist(const std::vector<int>& rows);
    // On the UI thread: takes what the worker has handed over, lines into the list and the
    // newest folder into the status line.
    void takeHanded();
    // Worker, with handedLock_ held: posts a takeHanded unless one is on its way.
    void postTake();

    PlaylistSink addRows_;

    // What the worker found and the UI thread has not yet taken.
    struct Handed {
        std::vector<std::string> lines;
        std::optional<std::string> folder;
        bool posted = false;  // a takeHanded is on its way
    };
    std::mutex handedLock_;
    Handed handed_;  // guarded by handedLock_
};
