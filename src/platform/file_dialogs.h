// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The open, save and folder dialogs, behind a service that tests replace with a scripted
// double. Paths come back as the exact bytes of the names listed
// (file_dialog/ui_byte_file_dialog.h), or of a typed name in the system code page.

#include <QString>

#include <memory>
#include <optional>
#include <string>

class QWidget;

namespace platform {

struct FileDialogSettings {
    enum class Kind { Open, Save };
    Kind kind = Kind::Open;
    // The stored filter: shown-text and pattern pairs separated by "|",
    // e.g. "播放列表(*.m3u)|*.m3u".
    QString filter;
    QString defaultExtension;  // e.g. "*.m3u"; applied to a name typed without extension
    bool fileMustExist = false;
    bool promptOverwrite = false;
};

class FileDialogService {
public:
    virtual ~FileDialogService() = default;
    // Returns the chosen path, or nothing when the user cancels.
    virtual std::optional<std::string> runFileDialog(QWidget* owner,
                                                     const FileDialogSettings& settings) = 0;
    // The folder chooser; folders only. Returns the chosen folder, or nothing on cancel.
    virtual std::optional<std::string> chooseFolder(QWidget* owner, const QString& title) = 0;
};

FileDialogService& fileDialogs();
// Installs `service` and returns the one it replaces; null restores the Qt dialogs.
std::unique_ptr<FileDialogService> setFileDialogService(std::unique_ptr<FileDialogService> service);

}  // namespace platform
