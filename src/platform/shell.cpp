#include "shell.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFile>
#include <QUrl>

#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>

namespace platform {

void openUrl(const QUrl& url) {
    QDesktopServices::openUrl(url);
}

void showFileProperties(std::string_view path) {
    const QByteArray bytes(path.data(), static_cast<qsizetype>(path.size()));
    const QUrl url = QUrl::fromLocalFile(QFile::decodeName(bytes));
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItemProperties"));
    call << QStringList{url.toString()} << QString();
    // Fire and forget: the property view is not modal and nobody waits for an answer.
    QDBusConnection::sessionBus().send(call);
}

void setDiscDoorOpen(bool open) {
    for (const char* device : {"/dev/cdrom", "/dev/sr0"}) {
        const int fd = ::open(device, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        ::ioctl(fd, open ? CDROMEJECT : CDROMCLOSETRAY, 0);
        ::close(fd);
        return;
    }
}

}  // namespace platform
