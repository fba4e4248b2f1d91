// SPDX-License-Identifier: GPL-3.0-or-later
#include "code_page.h"
#include "error_box.h"
#include "message_box.h"

namespace platform {

namespace {
QString& titleSlot() {
    static QString title;
    return title;
}
}  // namespace

const QString& applicationTitle() {
    return titleSlot();
}

void setApplicationTitle(const QString& title) {
    titleSlot() = title;
}

QString standardErrorText(const QString& message) {
    if (!message.isEmpty() && message.back() > u'.') return message + u'.';
    return message;
}

QString errorMessage(const std::exception& error) {
    return toDisplayMessage(error.what());
}

void showStandardError(const QString& message) {
    messageBox(nullptr, standardErrorText(message), applicationTitle(), MB_OK | MB_ICONERROR);
}

}  // namespace platform
