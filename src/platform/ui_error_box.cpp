#include <QGuiApplication>

#include "error_box.h"
#include "message_box.h"

namespace platform {

QString standardErrorText(const QString& message) {
    if (!message.isEmpty() && message.back() > u'.') return message + u'.';
    return message;
}

QString errorMessage(const std::exception& error) { return QString::fromLocal8Bit(error.what()); }

void showStandardError(const QString& message) {
    messageBox(nullptr, standardErrorText(message), QGuiApplication::applicationDisplayName(),
               MB_OK | MB_ICONERROR);
}

}  // namespace platform
