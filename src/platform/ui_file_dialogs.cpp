// SPDX-License-Identifier: GPL-3.0-or-later
#include "file_dialog/ui_byte_file_dialog.h"
#include "file_dialogs.h"

namespace platform {
namespace {

// Our own dialogs for every folder, not the desktop's where a folder's names all decode: which
// folders the user will pass through is not known when a dialog opens, and two dialogs would
// each need the filters, texts and behaviour kept alike.
class ByteExactFileDialogs final : public FileDialogService {
public:
    std::optional<std::string> runFileDialog(QWidget* owner,
                                             const FileDialogSettings& settings) override {
        ByteFileDialog dialog(owner, settings);
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        return dialog.chosen();
    }

    std::optional<std::string> chooseFolder(QWidget* owner, const QString& title) override {
        ByteFileDialog dialog(owner, title);
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        return dialog.chosen();
    }
};

std::unique_ptr<FileDialogService>& slot() {
    static std::unique_ptr<FileDialogService> service = std::make_unique<ByteExactFileDialogs>();
    return service;
}

}  // namespace

FileDialogService& fileDialogs() {
    return *slot();
}

std::unique_ptr<FileDialogService> setFileDialogService(
    std::unique_ptr<FileDialogService> service) {
    if (!service) service = std::make_unique<ByteExactFileDialogs>();
    std::swap(slot(), service);
    return service;
}

}  // namespace platform
