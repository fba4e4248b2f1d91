// SPDX-License-Identifier: GPL-3.0-or-later
// What the file dialog does with what the user typed or chose: accepting, refusing with a box
// that names the path, and making a new folder.
#include <QInputDialog>
#include <QLineEdit>
#include <QTreeView>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/code_page.h"
#include "platform/dir_listing.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "ui_byte_file_dialog.h"
#include "ui_entry_model.h"
#include "ui_name_completer.h"

namespace platform {
namespace {

// Why the folder command could not enter and scan `folder` (an errno value), or 0.
int unusableFolder(const std::string& folder) {
    if (const int error = DirListing(folder, "*").error(); error != 0) return error;
    return ::access(folder.c_str(), X_OK) == 0 ? 0 : errno;
}

}  // namespace

file_dialog::TypedPath ByteFileDialog::typedPath() const {
    const QString text = nameEdit->text();
    std::optional<file_dialog::KnownText> known = completer->taken();
    if (const QModelIndex current = entryView->currentIndex(); !known && current.isValid()) {
        const file_dialog::FolderEntry& e = model_->entry(current.row());
        known = file_dialog::KnownText{e.shown, file_dialog::childOf(folder_, e.name)};
    }
    return file_dialog::resolveTyped(text, folder_, known ? &*known : nullptr);
}

void ByteFileDialog::tryAccept() {
    const QString text = nameEdit->text();
    if (text.isEmpty()) {
        // With nothing typed: the folder chooser takes the listed folder; the file dialogs
        // enter the folder under the cursor.
        if (mode_ == Mode::Folder) {
            chooseFolder(folder_);
        } else if (const QModelIndex current = entryView->currentIndex();
                   current.isValid() && model_->entry(current.row()).folder) {
            activate(current.row());
        }
        return;
    }
    const file_dialog::TypedPath typed = typedPath();
    if (!typed.refused.isEmpty()) {
        refuse(file_dialog::unrepresentableText(QStringLiteral(u"名称"), typed.refused) +
                   QStringLiteral(u"。"),
               MB_ICONERROR);
        return;
    }
    std::string path = typed.path;
    const std::string_view name = paths::fileName(path);
    if (mode_ != Mode::Folder && name.find_first_of("*?") != std::string_view::npos) {
        // A typed wildcard lists what it matches, in the folder typed before it.
        typedMask_ = std::string(name);
        const std::string folder = file_dialog::parentOf(path);
        if (folder == folder_) {
            relist();
        } else {
            setFolder(folder);
        }
        return;
    }
    if (file_dialog::isFolder(path)) {
        if (mode_ != Mode::Folder) {
            if (setFolder(path)) nameEdit->clear();
        } else {
            chooseFolder(file_dialog::normalized(path));
        }
        return;
    }
    if (mode_ == Mode::Folder || typed.folderMeant) {
        refuse(toDisplayPath(path) + QStringLiteral(u"\n文件夹不存在。"), MB_ICONERROR);
        return;
    }
    if (acceptFile(path)) finish(std::move(path));
}

bool ByteFileDialog::acceptFile(std::string& path) {
    if (mode_ == Mode::Save) {
        QString ext = settings_.defaultExtension;
        if (ext.startsWith(u'*')) ext.remove(0, 1);
        if (ext.startsWith(u'.')) ext.remove(0, 1);
        if (!ext.isEmpty() && paths::extension(path).empty() && !file_dialog::exists(path))
            path += '.' + fromDisplay(ext).value_or(std::string());
        return !settings_.promptOverwrite || !file_dialog::exists(path) ||
               messageBox(this, toDisplayPath(path) + QStringLiteral(u" 已存在。\n要替换它吗？"),
                          QStringLiteral(u"确认另存为"), MB_YESNO | MB_ICONWARNING) == IDYES;
    }
    if (settings_.fileMustExist && !file_dialog::exists(path)) {
        refuse(toDisplayPath(path) + QStringLiteral(u"\n找不到文件。\n请检查文件名是否正确。"),
               MB_ICONWARNING);
        return false;
    }
    return true;
}

void ByteFileDialog::refuse(const QString& text, unsigned icon) {
    messageBox(this, text, windowTitle(), MB_OK | icon);
}

void ByteFileDialog::reportUnreadable(const std::string& folder, int error) {
    refuse(toDisplayPath(folder) + QStringLiteral(u"\n无法访问。\n") +
               toDisplayMessage(systemMessage(error)),
           MB_ICONERROR);
}

void ByteFileDialog::chooseFolder(const std::string& folder) {
    // The folder command enters the folder and scans it: refused here, with the folder named,
    // rather than failing there with the system's message alone.
    if (const int error = unusableFolder(folder); error != 0) {
        reportUnreadable(folder, error);
    } else {
        finish(folder);
    }
}

void ByteFileDialog::finish(std::string path) {
    chosen_ = std::move(path);
    accept();
}

void ByteFileDialog::done(int result) {
    // The next dialog of the run opens where this one ended: the chosen folder, the folder of
    // the chosen file, or the folder it was showing when cancelled.
    if (result == Accepted && chosen_) {
        file_dialog::rememberEndFolder(mode_ == Mode::Folder ? *chosen_
                                                             : file_dialog::parentOf(*chosen_));
    } else {
        file_dialog::rememberEndFolder(folder_);
    }
    QDialog::done(result);
}

void ByteFileDialog::makeFolder() {
    // The first of 新建文件夹, 新建文件夹 (2), ... that is not taken.
    QString proposed = QStringLiteral(u"新建文件夹");
    for (int n = 2; n < 1000; ++n) {
        const auto bytes = fromDisplay(proposed);
        if (!bytes || !file_dialog::exists(file_dialog::childOf(folder_, *bytes))) break;
        proposed = QStringLiteral(u"新建文件夹 (%1)").arg(n);
    }
    QInputDialog prompt(this);
    prompt.setObjectName(QStringLiteral("newFolderPrompt"));
    prompt.setWindowTitle(QStringLiteral(u"新建文件夹"));
    prompt.setLabelText(QStringLiteral(u"文件夹名称(&N)："));
    prompt.setTextValue(proposed);
    prompt.setOkButtonText(QStringLiteral(u"创建(&C)"));
    prompt.setCancelButtonText(QStringLiteral(u"取消"));
    if (prompt.exec() != QDialog::Accepted) return;
    const QString name = prompt.textValue().trimmed();
    if (name.isEmpty()) return;
    if (name == u"." || name == u".." || name.contains(u'/')) {
        refuse(QStringLiteral(u"文件夹名不能是“.”或“..”，也不能包含“/”。"), MB_ICONERROR);
        return;
    }
    const auto bytes = fromDisplay(name);
    if (!bytes) {
        refuse(file_dialog::unrepresentableText(QStringLiteral(u"文件夹名"), name) +
                   QStringLiteral(u"，文件夹未创建。"),
               MB_ICONERROR);
        return;
    }
    const std::string path = file_dialog::childOf(folder_, *bytes);
    if (::mkdir(path.c_str(), 0777) != 0) {
        const int error = errno;
        refuse(toDisplayPath(path) + QStringLiteral(u"\n无法创建文件夹。\n") +
                   toDisplayMessage(systemMessage(error)),
               MB_ICONERROR);
        return;
    }
    // Saving goes into the new folder; the folder chooser puts the cursor on it, so OK takes it.
    if (mode_ == Mode::Save) {
        setFolder(path);
        nameEdit->setFocus();
        return;
    }
    relist();
    if (const int row = model_->rowNamed(*bytes); row >= 0) {
        entryView->setCurrentIndex(model_->index(row, 0));
        entryView->scrollTo(entryView->currentIndex());
    }
}

}  // namespace platform
