// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The open, save and folder dialogs over our own directory listing. Every name is listed and
// handed back as its exact bytes, whatever the locale; names are shown through the code page
// (GBK names as Chinese under a UTF-8 locale too), and a name the user types is taken in the
// code page. Qt's file dialogs cannot do this: their model reads every name as UTF-8, so under
// a GBK locale a GBK name is neither listed right nor found again.
//
// Beside the list: the places pane; above it the path box, 向上一级 and 新建文件夹; below it the
// name field (paths with ~, . and .., completion) and the type box. The list sorts by any
// column; Ctrl+H shows hidden entries. A dialog opens where the last one of the run ended.
//
// UI thread only. The dialog owns its widgets, its model and its places pane.

#include <QDialog>

#include <optional>
#include <string>
#include <vector>

#include "dialog_paths.h"
#include "platform/file_dialogs.h"

class QAction;
class QComboBox;
class QLineEdit;
class QPushButton;
class QToolButton;
class QTreeView;

namespace platform::file_dialog {
class EntryModel;
class NameCompleter;
class NameFilter;
class PlacesPane;
struct FolderEntry;
}  // namespace platform::file_dialog

namespace platform {

class ByteFileDialog final : public QDialog {
    Q_OBJECT
public:
    enum class Mode { Open, Save, Folder };

    // A file dialog as `settings` describe it.
    ByteFileDialog(QWidget* owner, const FileDialogSettings& settings);
    // The folder chooser, captioned `title`.
    ByteFileDialog(QWidget* owner, const QString& title);
    ~ByteFileDialog() override;

    // Lists `folder` (bytes); false, with the folder unchanged, when it cannot be read.
    bool setFolder(const std::string& folder, bool reportFailure = true);
    const std::string& folder() const { return folder_; }
    // The chosen path once the dialog was accepted.
    const std::optional<std::string>& chosen() const { return chosen_; }

    QComboBox* lookInBox = nullptr;
    QToolButton* upButton = nullptr;
    QToolButton* newFolderButton = nullptr;  // hidden in the open dialogs
    file_dialog::PlacesPane* placesPane = nullptr;
    QTreeView* entryView = nullptr;
    QLineEdit* nameEdit = nullptr;
    QComboBox* typeBox = nullptr;
    QPushButton* acceptButton = nullptr;
    QPushButton* cancelButton = nullptr;
    QAction* showHiddenAction = nullptr;
    QAction* newFolderAction = nullptr;
    file_dialog::NameCompleter* completer = nullptr;

    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    ByteFileDialog(QWidget* owner, Mode mode, FileDialogSettings settings);
    void buildControls();
    void buildList();
    void connectControls();
    void buildLookIn();
    void relist();
    std::vector<file_dialog::FolderEntry> entriesOf(const std::string& folder, bool hidden) const;
    file_dialog::NameFilter nameFilter() const;
    void goUp();
    void onCurrentChanged();
    void activate(int row);
    void showContextMenu(const QPoint& at);
    // Asks for a name and makes the folder; in the save dialog it is then entered, in the
    // folder chooser put under the cursor.
    void makeFolder();

    // Accepting (ui_dialog_accept.cpp).
    void tryAccept();
    // What the name field stands for: the completion taken or the entry under the cursor as
    // they are shown keep their bytes; anything else is resolved component by component.
    file_dialog::TypedPath typedPath() const;
    // The save and open checks; the save dialog may add the default extension to `path`.
    bool acceptFile(std::string& path);
    void refuse(const QString& text, unsigned icon);
    void reportUnreadable(const std::string& folder, int error);
    void chooseFolder(const std::string& folder);
    void finish(std::string path);

    Mode mode_;
    FileDialogSettings settings_;
    std::vector<std::string> masks_;  // of the chosen file type
    std::string typedMask_;           // a wildcard the user typed, in place of the type's
    std::string folder_;              // the listed folder, without a final separator (but "/")
    bool showHidden_ = false;
    file_dialog::EntryModel* model_ = nullptr;
    std::optional<std::string> chosen_;
};

}  // namespace platform
