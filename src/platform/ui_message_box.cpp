// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QMessageBox>

#include "message_box.h"

namespace platform {
namespace {

class QtMessageBoxService final : public MessageBoxService {
public:
    int show(QWidget* owner, const QString& text, const QString& caption, unsigned style) override {
        QMessageBox box(owner);
        box.setWindowTitle(caption);
        box.setText(text);
        const unsigned icon = style & 0xF0;
        box.setIcon(icon == MB_ICONERROR         ? QMessageBox::Critical
                    : icon == MB_ICONWARNING     ? QMessageBox::Warning
                    : icon == MB_ICONINFORMATION ? QMessageBox::Information
                                                 : QMessageBox::NoIcon);
        const bool yesNo = (style & 0xF) == MB_YESNO;
        box.setStandardButtons(yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
        if (style & MB_TOPMOST) box.setWindowFlag(Qt::WindowStaysOnTopHint);
        // Without an owner the box is application-modal, as the system's are.
        box.setWindowModality(Qt::ApplicationModal);
        const int answer = box.exec();
        if (!yesNo) return IDOK;
        return answer == QMessageBox::Yes ? IDYES : IDNO;
    }
};

std::unique_ptr<MessageBoxService>& slot() {
    static std::unique_ptr<MessageBoxService> service = makeQtMessageBoxService();
    return service;
}

}  // namespace

std::unique_ptr<MessageBoxService> makeQtMessageBoxService() {
    return std::make_unique<QtMessageBoxService>();
}

int messageBox(QWidget* owner, const QString& text, const QString& caption, unsigned style) {
    return slot()->show(owner, text, caption, style);
}

std::unique_ptr<MessageBoxService> setMessageBoxService(
    std::unique_ptr<MessageBoxService> service) {
    if (!service) service = makeQtMessageBoxService();
    std::swap(slot(), service);
    return service;
}

}  // namespace platform
