#pragma once
// The open, save and folder dialogs over our own directory listing. Every name is listed and
// handed back as its exact bytes, whatever the locale; names are shown through the code page
// (GBK names as Chinese under a UTF-8 locale too), and a name the user types is taken in the
// code page. Qt's file dialogs cannot do this: their model reads every name as UTF-8, so under
// a GBK locale a GBK name is neither listed right nor found again.
//
// UI thread only. The dialog owns its widgets and its model.

#include <QDialog>

#include <optional>
#include <string>
#include <vector>

#include "file_dialogs.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QTreeView;

namespace platform {

class FolderEntryModel;

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
    QTreeView* entryView = nullptr;
    QLineEdit* nameEdit = nullptr;
    QComboBox* typeBox = nullptr;
    QPushButton* acceptButton = nullptr;
    QPushButton* cancelButton = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ByteFileDialog(QWidget* owner, Mode mode, FileDialogSettings settings);
    void buildLookIn();
    void relist();
    void goUp();
    void onCurrentChanged();
    void activate(int row);
    void tryAccept();
    // The bytes the name field stands for: a listed name shown as typed keeps its bytes,
    // anything else is converted through the code page. Nothing when it cannot be.
    std::optional<std::string> typedBytes();
    std::string pathOf(const std::string& name) const;
    void finish(std::string path);

    Mode mode_;
    FileDialogSettings settings_;
    std::vector<std::string> masks_;  // of the chosen file type
    std::string typedMask_;          // a wildcard the user typed, in place of the type's
    std::string folder_;             // the listed folder, without a final separator (but "/")
    FolderEntryModel* model_ = nullptr;
    std::optional<std::string> chosen_;
};

}  // namespace platform
