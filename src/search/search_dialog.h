#pragma once
// The music search dialog: pick a folder, search it and its subfolders in the background for
// MP3 and WMA files, move some or all of the results into the playlist.
//
// Threads: every widget belongs to the UI thread. The finder's file-match and folder-change
// handlers run on its worker, under the finder's lock; they hand their widget updates to the
// UI thread with a blocking queued call and wait for it. The abort and finish handlers run on
// the UI thread. No other state is shared.

#include <QDialog>

#include <functional>
#include <string>

#include "search/file_finder.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
class QStatusBar;
class FolderTree;
class BlockingCaller;

class TForm2 : public QDialog {
    Q_OBJECT
public:
    using PlaylistSink = std::function<void(const std::string& folder, const std::string& name)>;

    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    // Installed by the application: appends one playlist row (folder ends in the separator).
    void setPlaylistSink(PlaylistSink addRow) { addRow_ = std::move(addRow); }

    // The result lines as bytes, in list order.
    std::vector<std::string> lines() const;

    QLabel* lbl1;
    FolderTree* shltrvw1;
    QCheckBox* chk1;
    QCheckBox* chk2;
    QPushButton* btn1;
    QPushButton* btn2;
    QPushButton* btn3;
    QPushButton* btn4;
    QLabel* lbl2;
    QListWidget* lst1;
    QStatusBar* stat1;
    search::FileFinder* fndfl1;

    void btn1Click();
    void btn2Click();
    void btn3Click();
    void btn4Click();
    void lst1DblClick();
    void fndfl1FileMatch(search::FileFinder* Sender, const std::string& Folder,
                         const search::SearchRecord& FileInfo);
    void fndfl1FolderChange(search::FileFinder* Sender, const std::string& Folder,
                            search::FolderIgnore& IgnoreFolder);
    void fndfl1SearchAbort(search::FileFinder* Sender);
    void fndfl1SearchFinish(search::FileFinder* Sender);
    void FormCloseQuery(bool& CanClose);
    void FormClose();
    void StartSearch(const std::string& masks);

    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void addLine(const std::string& line);
    void addRows(bool selectedOnly);
    // Runs `f` on the UI thread: directly when called there, else handed to it while the
    // calling thread waits.
    void onUiThread(const std::function<void()>& f);

    PlaylistSink addRow_;
    BlockingCaller* ui_;
};
