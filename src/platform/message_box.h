// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// System message boxes, as the Windows MessageBox call knows them: a style word chooses the
// buttons and the icon, and the answer is one of the ID* codes. The Qt implementation lives in
// ui_message_box.cpp; tests install a scripted double with setMessageBoxService().

#include <QString>

#include <memory>

class QWidget;

namespace platform {

enum MessageBoxStyle : unsigned {
    MB_OK = 0x0,
    MB_YESNO = 0x4,
    MB_ICONERROR = 0x10,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_TOPMOST = 0x40000,
};

enum MessageBoxAnswer : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    // Shows the box modally and returns the answer code. `owner` may be null (no owner).
    virtual int show(QWidget* owner, const QString& text, const QString& caption,
                     unsigned style) = 0;
};

// Shows a message box through the installed service (the Qt one unless a test replaced it).
int messageBox(QWidget* owner, const QString& text, const QString& caption, unsigned style);

// Installs `service` and returns the one it replaces. Passing null restores the Qt service.
std::unique_ptr<MessageBoxService> setMessageBoxService(std::unique_ptr<MessageBoxService> service);

// The Qt implementation: a QMessageBox with the matching icon and buttons.
std::unique_ptr<MessageBoxService> makeQtMessageBoxService();

}  // namespace platform
